// Shortcuts that start the program: one at login (the autostart entry), one in the application
// menu and one on the desktop.
#pragma once

#include <QList>
#include <QString>

namespace kestrel {

enum class TShortcutFolder { Startup, QuickLaunch, Desktop };

// The name of the shortcut file in each folder.
inline constexpr char kShortcutFileName[] = "Kestrel.desktop";

class IShortcutService {
public:
    virtual ~IShortcutService() = default;

    // The folder that holds shortcuts of that kind, ending with "/"; empty when the desktop
    // has none.
    virtual QString GetSpecialFolderPath(TShortcutFolder folder) = 0;
    virtual bool FileExists(const QString& path) = 0;
    // Writes one shortcut at linkPath that starts targetPath in workingDirectory, with the
    // arguments (empty for none). False when it could not be written.
    virtual bool CreateShellLink(const QString& targetPath, const QString& workingDirectory,
                                 const QString& linkPath, const QString& arguments) = 0;
    virtual bool RemoveFile(const QString& path) = 0;
    // The installed program, when a package or `cmake --install` put Kestrel's own menu entry
    // on the system; empty when Kestrel runs from where it was built or unpacked.
    virtual QString InstalledProgram() = 0;
    // A system-wide menu entry of Kestrel is there, so a user entry would list it twice.
    virtual bool MenuEntryInstalled() = 0;
};

enum class TShortcutOutcome { Created, Existed, NoFolder, Packaged, Failed };

struct ShortcutResult {
    TShortcutFolder Folder;
    TShortcutOutcome Outcome;
};

// Creates the menu entry and the desktop shortcut when asked for and their files do not exist
// yet, in that order. An existing file is left as it is, whatever it points to; no menu entry
// is made beside an installed one; a shortcut that fails does not stop the other, so pressing
// the button again makes only the missing one. exePath is the running executable; each
// shortcut starts it in its own folder.
QList<ShortcutResult> CreateShortcuts(IShortcutService& service, bool desktop, bool menu,
                                      const QString& exePath);

// One line that tells what each result means for the user.
QString ShortcutReport(const QList<ShortcutResult>& results);

// Whether the program starts at login: its autostart entry exists.
bool AutostartEnabled(IShortcutService& service);

// Creates the autostart entry (starting the installed program, else exePath, with "-AUTO")
// or removes it. An entry that is already there is kept as it is. False when the change failed.
bool SetAutostart(IShortcutService& service, bool enabled, const QString& exePath);

}  // namespace kestrel
