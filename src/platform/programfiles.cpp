#include "platform/programfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrel {

ProgramFiles ProgramFilesIn(const QString& folder, const QString& baseName) {
    const QString stem = QDir(folder).filePath(baseName);
    return {stem + QStringLiteral(".ini"), stem + QStringLiteral(".ccy"),
            stem + QStringLiteral(".wav"), stem + QStringLiteral(".bmp"),
            QDir(folder).filePath(QStringLiteral("history.sqlite"))};
}

ProgramFiles ResolveProgramFiles(const QString& executablePath) {
    const QFileInfo exe(executablePath);
    // "kestrel" has no extension, so ".ini" is appended; "abc.exe" gives "abc.ini".
    const QString baseName =
        exe.completeBaseName().isEmpty() ? exe.fileName() : exe.completeBaseName();
    const QString home = qEnvironmentVariable("KESTREL_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return ProgramFilesIn(home, baseName);
    }
    ProgramFiles files;
    const QString folder = exe.absolutePath();
    if (QFileInfo(folder).isWritable()) {
        files = ProgramFilesIn(folder, baseName);
    } else {
        const QString config =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                .filePath(QStringLiteral("kestrel"));
        QDir().mkpath(config);
        files = ProgramFilesIn(config, baseName);
    }
    files.HistoryPath = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .filePath(QStringLiteral("kestrel/history.sqlite"));
    return files;
}

}  // namespace kestrel
