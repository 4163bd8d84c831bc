#include "net/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <optional>

#include "net/daynumbers.h"

namespace kestrel {

namespace {

// A date-time truncated to the DOS format's 2-second steps, or nullopt outside its range.
std::optional<QDateTime> DosDateTime(double value) {
    const QDateTime local = DateTimeToQDateTime(value);
    if (!local.isValid() || local.date().year() < 1980 || local.date().year() > 2107) {
        return std::nullopt;
    }
    const QTime t = local.time();
    return QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second() & ~1));
}

}  // namespace

std::unique_ptr<QFile> CreatePrivateFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return nullptr;
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(name.constData());
        return nullptr;
    }
    return file;
}

bool ReplaceFileBytes(const QString& path, QByteArrayView bytes, QString* reason) {
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : path;
    if (QFileInfo(target).isDir())
        return fail(QStringLiteral("Filename refers to a directory"));
    const QByteArray finalName = QFile::encodeName(target);
    struct stat old {};
    const bool exists = ::stat(finalName.constData(), &old) == 0;

    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        tempName =
            finalName + '.' +
            QByteArray::number(QRandomGenerator::global()->generate(), 36).rightJustified(7, '0');
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(qt_error_string(errno));
    }
    if (fd < 0)
        return fail(qt_error_string(EEXIST));
    const auto discard = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tempName.constData());
        return fail(qt_error_string(error));
    };

    if (exists && ::fchmod(fd, old.st_mode & 07777) != 0)
        return discard(errno);
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return discard(errno);
        }
        data += written;
        left -= written;
    }
    // A file system that keeps its blocks back until later reports a full disk here. EINVAL
    // only says that this file cannot be synchronised at all.
    if (::fsync(fd) != 0 && errno != EINVAL)
        return discard(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return discard(errno);
    if (::rename(tempName.constData(), finalName.constData()) != 0)
        return discard(errno);
    return true;
}

QString TempDirectory() {
    const QString temp = QDir::tempPath();
    if (QFileInfo(temp).isDir())
        return temp + u'/';
    return QCoreApplication::applicationDirPath() + u'/';
}

bool SetFileDates(const QString& fileName, double /*creation*/, double lastWrite,
                  double lastAccess) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
        return false;
    }
    bool ok = true;
    for (const auto& [value, kind] : {std::pair{lastWrite, QFileDevice::FileModificationTime},
                                      std::pair{lastAccess, QFileDevice::FileAccessTime}}) {
        if (value == -1)
            continue;
        if (const std::optional<QDateTime> dos = DosDateTime(value)) {
            ok = file.setFileTime(*dos, kind) && ok;
        }
    }
    return ok;
}

qint64 FileSize64(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && !info.isDir() ? info.size() : -1;
}

bool ResourceToStream(const QString& resourcePath, QIODevice* stream) {
    if (!stream)
        return false;
    QFile resource(resourcePath);
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = resource.readAll();
    if (bytes.isEmpty())
        return false;
    return stream->write(bytes) == bytes.size();
}

}  // namespace kestrel
