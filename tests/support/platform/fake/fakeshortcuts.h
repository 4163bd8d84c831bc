// A shortcut service for tests: folders and files are names in memory, and each created link
// is remembered.
#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include "platform/shortcuts.h"

namespace kestrel {

class FakeShortcutService : public IShortcutService {
public:
    struct Link {
        QString TargetPath;
        QString WorkingDirectory;
        QString LinkPath;
        QString Arguments;
    };

    QString GetSpecialFolderPath(TShortcutFolder folder) override;
    bool FileExists(const QString& path) override;
    bool CreateShellLink(const QString& targetPath, const QString& workingDirectory,
                         const QString& linkPath, const QString& arguments) override;
    bool RemoveFile(const QString& path) override;
    QString InstalledProgram() override { return Installed; }
    bool MenuEntryInstalled() override { return !Installed.isEmpty(); }

    // Folders the desktop has; one that is missing here has none.
    QMap<TShortcutFolder, QString> Folders;
    // Files that exist; a created link joins them.
    QSet<QString> Files;
    // Link paths whose creation fails.
    QSet<QString> Refused;
    // The installed program; empty when Kestrel is not installed.
    QString Installed;
    // Every link created, in order.
    QList<Link> Created;
};

}  // namespace kestrel
