#include "platform/fake/fakeshortcuts.h"

namespace kestrel {

QString FakeShortcutService::GetSpecialFolderPath(TShortcutFolder folder) {
    return Folders.value(folder);
}

bool FakeShortcutService::FileExists(const QString& path) {
    return Files.contains(path);
}

bool FakeShortcutService::CreateShellLink(const QString& targetPath,
                                          const QString& workingDirectory, const QString& linkPath,
                                          const QString& arguments) {
    if (Refused.contains(linkPath))
        return false;
    Created.append({targetPath, workingDirectory, linkPath, arguments});
    Files.insert(linkPath);
    return true;
}

bool FakeShortcutService::RemoveFile(const QString& path) {
    if (Refused.contains(path))
        return false;
    return Files.remove(path);
}

}  // namespace kestrel
