// Shortcuts as freedesktop.org desktop entries: the autostart folder, the user's application
// folder (what menus and docks list) and the desktop folder, found through the environment
// (XDG_CONFIG_HOME, XDG_DATA_HOME, HOME and user-dirs.dirs). Every entry written carries
// X-Kestrel-Created=true, so that an uninstall can find what the program left in the home folder.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/shortcuts.h"

namespace kestrel {

class XdgShortcutService : public IShortcutService {
public:
    // iconSvg: the program's icon (":/icons/kestrel.svg" of the program's resources). A Linux
    // executable carries no icon, so it is written once into the user's icon theme folder and
    // each entry names it; empty bytes give entries without an icon.
    explicit XdgShortcutService(QByteArray iconSvg = {});

    QString GetSpecialFolderPath(TShortcutFolder folder) override;
    bool FileExists(const QString& path) override;
    // The autostart and application folders are made when missing, as the XDG rules expect
    // of user folders; the desktop folder is not. A link in the desktop folder is made
    // executable, which desktops require before they launch it.
    bool CreateShellLink(const QString& targetPath, const QString& workingDirectory,
                         const QString& linkPath, const QString& arguments) override;

    bool RemoveFile(const QString& path) override;
    // Found through the installed entry's Exec line and PATH.
    QString InstalledProgram() override;
    // applications/org.example.kestrel.desktop in one of XDG_DATA_DIRS.
    bool MenuEntryInstalled() override;

    // Where the icon goes: $XDG_DATA_HOME/icons/hicolor/scalable/apps/kestrel.svg.
    QString IconPath() const;

private:
    QByteArray iconSvg_;
};

// One argument of an Exec line: quoted and escaped when it holds characters that the desktop
// would otherwise split or expand (blanks, quotes, "$", "%", ...), with the string escapes of
// the entry file applied on top.
QString DesktopExecArgument(const QString& arg);

}  // namespace kestrel
