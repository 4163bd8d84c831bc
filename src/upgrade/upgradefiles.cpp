#include "upgrade/upgradefiles.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cstdlib>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include "net/files.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/upgradesession.h"

namespace kestrel {

namespace {

// A download with more would not be a fair stop for a full disk.
constexpr qint64 kFullDiskBytes = 64 * 1024;

}  // namespace

QString ProgramFolder(const QString& programPath) {
    const QString folder = QFileInfo(programPath).absolutePath();
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool SaveDownload(const QString& path, QIODevice& body) {
    const std::unique_ptr<QFile> file = CreatePrivateFile(path);
    if (!file)
        return false;
    body.seek(0);
    const QByteArray bytes = body.readAll();
    if (file->write(bytes) == bytes.size())
        return true;
    file->remove();
    return false;
}

bool DiskRefusedWrite(const QString& path) {
    struct stat st;
    struct rlimit limit;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 &&
        ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        rlim_t(st.st_size) >= limit.rlim_cur)
        return true;
    struct statvfs fs;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::statvfs(folder.constData(), &fs) == 0 &&
           qint64(fs.f_bavail) * qint64(fs.f_frsize) < kFullDiskBytes;
}

bool DigestMatches(const QString& fileName, const QByteArray& expected) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return hash.addData(&file) && hash.result() == expected;
}

bool TUpgradeSession::PrepareStaging() {
    const QString folder = ProgramFolder(options_.ProgramPath);
    lockFd_ = helper::LockFolder(folder, false);
    if (lockFd_ < 0)
        return false;
    // Holding the lock, whatever an earlier upgrade left is either taken back or gone.
    helper::RecoverUpgrades(folder, QFileInfo(options_.ProgramPath).fileName());
    QByteArray pattern =
        QFile::encodeName(folder + QLatin1String(helper::kStagingPrefix)) + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        DropStaging();
        return false;
    }
    staging_ = QFile::decodeName(pattern) + u'/';
    return true;
}

void TUpgradeSession::DropStaging() {
    if (!staging_.isEmpty())
        helper::RemoveStaging(staging_.chopped(1));
    staging_.clear();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

bool TUpgradeSession::ProgramFolderWritable() const {
    const QByteArray folder = QFile::encodeName(ProgramFolder(options_.ProgramPath));
    return ::access(folder.constData(), W_OK | X_OK) == 0;
}

}  // namespace kestrel
