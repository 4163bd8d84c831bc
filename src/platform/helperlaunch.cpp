#include "platform/helperlaunch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <vector>

extern char** environ;

namespace kestrel {

namespace {

// Above the descriptors that the child rearranges.
constexpr int kHighFd = 10;
constexpr int kLockFd = 3;

// A descriptor moved to kHighFd or above (close-on-exec), the old one closed; -1 on failure.
int MoveHigh(int fd) {
    if (fd < 0)
        return -1;
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kHighFd);
    ::close(fd);
    return high;
}

int SealedCopy(const QByteArray& bytes) {
    const int fd =
        MoveHigh(::memfd_create("kestrel-update-helper", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd < 0)
        return -1;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += n;
    }
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool LaunchHelperFrom(const QByteArray& helperBytes, const QString& programPath,
                      const QString& parameterText, const QString& stagingName, int lockFd) {
    if (helperBytes.isEmpty())
        return false;
    const int helper = SealedCopy(helperBytes);
    if (helper < 0)
        return false;
    const int lock = lockFd >= 0 ? ::fcntl(lockFd, F_DUPFD_CLOEXEC, kHighFd) : -1;
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(helper);
        if (lock >= 0)
            ::close(lock);
        return false;
    }
    report[0] = MoveHigh(report[0]);
    report[1] = MoveHigh(report[1]);
    // Everything the children use is made before the fork: after it, only system calls.
    std::vector<QByteArray> bytes{QByteArrayLiteral("kestrel-update-helper"),
                                  QFile::encodeName(programPath), parameterText.toLocal8Bit(),
                                  stagingName.toLocal8Bit()};
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray folder = QFile::encodeName(QFileInfo(programPath).absolutePath());
    const pid_t child = report[0] >= 0 && report[1] >= 0 ? ::fork() : -1;
    if (child == 0) {
        // A grandchild in a session of its own: the helper outlives the program that
        // started it and is never its child to wait for.
        ::setsid();
        if (::fork() == 0) {
            if ((lock < 0 || ::dup2(lock, kLockFd) == kLockFd) && ::chdir(folder.constData()) == 0)
                ::fexecve(helper, argv.data(), environ);
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(helper);
    if (lock >= 0)
        ::close(lock);
    if (report[1] >= 0)
        ::close(report[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // The pipe closes without a word when the helper replaced the grandchild.
        int error = 0;
        ssize_t n;
        do {
            n = ::read(report[0], &error, sizeof error);
        } while (n < 0 && errno == EINTR);
        started = n == 0;
    }
    if (report[0] >= 0)
        ::close(report[0]);
    return started;
}

bool LaunchHelper(const QString& parameterText, const QString& stagingName, int lockFd) {
    QFile resource(QStringLiteral(":/upgrade/kestrel-update-helper"));
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    return LaunchHelperFrom(resource.readAll(), QCoreApplication::applicationFilePath(),
                            parameterText, stagingName, lockFd);
}

}  // namespace kestrel
