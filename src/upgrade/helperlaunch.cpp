#include "upgrade/helperlaunch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>

namespace kestrel {

namespace {

const char kHelperName[] = "kestrel-update-helper";

bool AllowsExecution(const QByteArray& dir) {
    struct statvfs fs;
    return ::statvfs(dir.constData(), &fs) == 0 && !(fs.f_flag & ST_NOEXEC);
}

// A real folder (not a link to one) of this user that nobody else can write, where a program
// may run: nobody can swap the helper between writing and starting it.
bool IsPrivateFolder(const QByteArray& dir) {
    struct stat st;
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return false;
    return ::access(dir.constData(), W_OK | X_OK) == 0 && AllowsExecution(dir);
}

}  // namespace

QString HelperFolderFrom(const QString& runtimeDir, const QString& tempDir,
                         const QString& programDir) {
    const QByteArray runtime = QFile::encodeName(runtimeDir);
    if (runtime.startsWith('/') && IsPrivateFolder(runtime))
        return runtimeDir;

    if (tempDir.startsWith(u'/')) {
        const QString mine = tempDir + QStringLiteral("/kestrel-%1").arg(::geteuid());
        const QByteArray temp = QFile::encodeName(mine);
        if ((::mkdir(temp.constData(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(temp))
            return mine;
    }

    // The last resort: whoever can write the program's folder can replace the program anyway.
    const QByteArray own = QFile::encodeName(programDir);
    if (own.startsWith('/') && ::access(own.constData(), W_OK | X_OK) == 0 && AllowsExecution(own))
        return programDir;
    return {};
}

QString HelperPath() {
    static const QString path = [] {
        const QString folder =
            HelperFolderFrom(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(),
                             QCoreApplication::applicationDirPath());
        return folder.isEmpty() ? QString() : folder + u'/' + QLatin1String(kHelperName);
    }();
    return path;
}

void DeleteHelper() {
    const QString path = HelperPath();
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
}

bool LaunchHelperFrom(const QByteArray& helperBytes, const QString& helperPath,
                      const QString& programPath, const QString& parameterText) {
    if (helperBytes.isEmpty() || helperPath.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(helperPath);
    // Always a new file of our own: an old one (or anything planted under the name) goes first,
    // and O_EXCL with O_NOFOLLOW refuses whatever appears in between.
    ::unlink(path.constData());
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0)
        return false;
    bool written = ::fchmod(fd, 0700) == 0;
    for (qsizetype done = 0; written && done < helperBytes.size();) {
        const ssize_t n = ::write(fd, helperBytes.constData() + done, helperBytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += n > 0 ? n : 0;
    }
    // Closed before the start: Linux refuses to run a file that is open for writing.
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(path.constData());
        return false;
    }
    return QProcess::startDetached(helperPath, {programPath, parameterText},
                                   QFileInfo(programPath).absolutePath());
}

bool LaunchHelper(const QString& parameterText) {
    QFile resource(QStringLiteral(":/upgrade/kestrel-update-helper"));
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    return LaunchHelperFrom(resource.readAll(), HelperPath(),
                            QCoreApplication::applicationFilePath(), parameterText);
}

}  // namespace kestrel
