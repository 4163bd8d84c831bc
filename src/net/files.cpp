#include "net/files.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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
