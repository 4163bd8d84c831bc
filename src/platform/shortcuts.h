// Shortcuts that start the program: one at the session's start, one in the application menu
// (the quick-launch place) and one on the desktop.
#pragma once

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
};

// Creates each checked shortcut whose file does not exist yet, in the order startup (started
// with "-AUTO"), quick launch, desktop. An existing file is left as it is, whatever it points
// to; a shortcut that fails is skipped silently and the others are still tried, so pressing
// the button again makes only the missing ones.
// exePath is the running executable (QCoreApplication::applicationFilePath()); each shortcut
// starts it in its own folder.
void CreateShortcuts(IShortcutService& service, bool startup, bool desktop, bool quickLaunch,
                     const QString& exePath);

}  // namespace kestrel
