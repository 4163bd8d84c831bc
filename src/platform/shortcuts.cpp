#include "platform/shortcuts.h"

#include <QFileInfo>

namespace kestrel {

void CreateShortcuts(IShortcutService& service, bool startup, bool desktop, bool quickLaunch,
                     const QString& exePath) {
    struct Shortcut {
        TShortcutFolder Folder;
        bool Wanted;
        const char* Arguments;
    };
    // The startup entry passes -AUTO, by which the program tells an automatic start.
    const Shortcut shortcuts[] = {
        {TShortcutFolder::Startup, startup, "-AUTO"},
        {TShortcutFolder::QuickLaunch, quickLaunch, ""},
        {TShortcutFolder::Desktop, desktop, ""},
    };
    const QFileInfo exe(exePath);
    const QString target = exe.absoluteFilePath();
    QString workingDirectory = exe.absolutePath();
    if (!workingDirectory.endsWith(u'/'))
        workingDirectory += u'/';

    for (const Shortcut& shortcut : shortcuts) {
        if (!shortcut.Wanted)
            continue;
        QString folder = service.GetSpecialFolderPath(shortcut.Folder).trimmed();
        if (folder.isEmpty())
            continue;
        if (!folder.endsWith(u'/'))
            folder += u'/';
        const QString linkPath = folder + QLatin1String(kShortcutFileName);
        // Never rewritten: the user may have edited the entry or pointed it elsewhere.
        if (service.FileExists(linkPath))
            continue;
        service.CreateShellLink(target, workingDirectory, linkPath,
                                QString::fromLatin1(shortcut.Arguments));
    }
}

}  // namespace kestrel
