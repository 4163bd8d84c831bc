#include "platform/shortcuts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace kestrel {

namespace {

QString LinkPath(IShortcutService& service, TShortcutFolder folder) {
    QString path = service.GetSpecialFolderPath(folder).trimmed();
    if (path.isEmpty())
        return {};
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + QLatin1String(kShortcutFileName);
}

bool CreateLink(IShortcutService& service, const QString& linkPath, const QString& exePath,
                const QString& arguments) {
    const QFileInfo exe(exePath);
    QString workingDirectory = exe.absolutePath();
    if (!workingDirectory.endsWith(u'/'))
        workingDirectory += u'/';
    return service.CreateShellLink(exe.absoluteFilePath(), workingDirectory, linkPath, arguments);
}

}  // namespace

QList<ShortcutResult> CreateShortcuts(IShortcutService& service, bool desktop, bool menu,
                                      const QString& exePath) {
    QList<ShortcutResult> results;
    const auto make = [&](TShortcutFolder folder) {
        if (folder == TShortcutFolder::QuickLaunch && service.MenuEntryInstalled())
            return TShortcutOutcome::Packaged;
        const QString linkPath = LinkPath(service, folder);
        if (linkPath.isEmpty())
            return TShortcutOutcome::NoFolder;
        // Never rewritten: the user may have edited the entry or pointed it elsewhere.
        if (service.FileExists(linkPath))
            return TShortcutOutcome::Existed;
        return CreateLink(service, linkPath, exePath, {}) ? TShortcutOutcome::Created
                                                          : TShortcutOutcome::Failed;
    };
    if (menu)
        results.append({TShortcutFolder::QuickLaunch, make(TShortcutFolder::QuickLaunch)});
    if (desktop)
        results.append({TShortcutFolder::Desktop, make(TShortcutFolder::Desktop)});
    return results;
}

QString ShortcutReport(const QList<ShortcutResult>& results) {
    QStringList parts;
    for (const ShortcutResult& result : results) {
        QString part = result.Folder == TShortcutFolder::Desktop
                           ? QCoreApplication::translate("kestrel::Shortcuts", "桌面快捷方式：")
                       : result.Folder == TShortcutFolder::QuickLaunch
                           ? QCoreApplication::translate("kestrel::Shortcuts", "应用程序菜单：")
                           : QCoreApplication::translate("kestrel::Shortcuts", "登录时自动启动：");
        switch (result.Outcome) {
            case TShortcutOutcome::Created:
                part += QCoreApplication::translate("kestrel::Shortcuts", "已创建");
                break;
            case TShortcutOutcome::Existed:
                part += QCoreApplication::translate("kestrel::Shortcuts", "未创建（已经存在）");
                break;
            case TShortcutOutcome::NoFolder:
                part +=
                    QCoreApplication::translate("kestrel::Shortcuts", "未创建（没有桌面文件夹）");
                break;
            case TShortcutOutcome::Packaged:
                part += QCoreApplication::translate("kestrel::Shortcuts",
                                                    "未创建（安装包已提供菜单项）");
                break;
            case TShortcutOutcome::Failed:
                part += QCoreApplication::translate("kestrel::Shortcuts", "未创建（无法写入文件）");
                break;
        }
        parts += part;
    }
    return parts.join(QStringLiteral("；"));
}

bool AutostartEnabled(IShortcutService& service) {
    const QString linkPath = LinkPath(service, TShortcutFolder::Startup);
    return !linkPath.isEmpty() && service.FileExists(linkPath);
}

bool SetAutostart(IShortcutService& service, bool enabled, const QString& exePath) {
    const QString linkPath = LinkPath(service, TShortcutFolder::Startup);
    if (linkPath.isEmpty())
        return false;
    const bool exists = service.FileExists(linkPath);
    if (!enabled)
        return !exists || service.RemoveFile(linkPath);
    if (exists)
        return true;
    // The installed program keeps its path across upgrades; a build folder may not.
    const QString installed = service.InstalledProgram();
    return CreateLink(service, linkPath, installed.isEmpty() ? exePath : installed,
                      QStringLiteral("-AUTO"));
}

}  // namespace kestrel
