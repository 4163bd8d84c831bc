#include "updatehelper/updatehelper.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <vector>

namespace kestrel::helper {

namespace {

const QString kSuffix = QStringLiteral(".uTMP");
const QString kOldFolder = QStringLiteral("old");
constexpr unsigned long kPollMs = 200;
constexpr int kWatchMs = 2000;
// The descriptor on which the program hands its upgrade lock over to the helper.
constexpr int kInheritedLockFd = 3;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

quint64 ReadUnsigned(const QByteArray& bytes, qsizetype at, int size, bool bigEndian) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i) {
        const quint8 byte = quint8(bytes.at(at + (bigEndian ? i : size - 1 - i)));
        value = (value << 8) | byte;
    }
    return value;
}

// Permission bits of an existing regular file (links not followed); -1 when there is none.
int ModeOf(const QString& path) {
    struct stat st;
    if (::lstat(Native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int(st.st_mode & 07777);
}

bool SyncFolder(const QString& path) {
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Writes a mark file with its text and makes it durable with its folder.
bool WriteMark(const QString& folder, const char* name, const QByteArray& text = {}) {
    const QString path = folder + u'/' + QLatin1String(name);
    const int fd = ::open(Native(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, text.constData(), size_t(text.size())) == text.size() && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok && SyncFolder(folder);
}

bool HasMark(const QString& folder, const char* name) {
    return ModeOf(folder + u'/' + QLatin1String(name)) >= 0;
}

// The first bytes of the running program: the machine this is, as ELF headers name it.
const QByteArray& OwnElfHeader() {
    static const QByteArray header = [] {
        QFile self(QStringLiteral("/proc/self/exe"));
        return self.open(QIODevice::ReadOnly) ? self.read(20) : QByteArray();
    }();
    return header;
}

bool IsElfProgramHere(QFile& file, const QByteArray& header) {
    const QByteArray& own = OwnElfHeader();
    if (header.size() < 52 || own.size() < 20 || header.left(6) != own.left(6))
        return false;  // not ELF, or another word size or byte order
    const bool wide = header.at(4) == 2;
    const bool bigEndian = header.at(5) == 2;
    if (ReadUnsigned(header, 18, 2, bigEndian) != ReadUnsigned(own, 18, 2, bigEndian))
        return false;  // another machine
    if (wide && header.size() < 64)
        return false;
    const quint64 type = ReadUnsigned(header, 16, 2, bigEndian);
    if (type == 2)  // ET_EXEC
        return true;
    if (type != 3)  // ET_DYN: a position-independent program, or a shared library
        return false;
    const quint64 phoff = ReadUnsigned(header, wide ? 32 : 28, wide ? 8 : 4, bigEndian);
    const quint64 phentsize = ReadUnsigned(header, wide ? 54 : 42, 2, bigEndian);
    const quint64 phnum = ReadUnsigned(header, wide ? 56 : 44, 2, bigEndian);
    if (phentsize < 4 || phnum > 4096 || !file.seek(qint64(phoff)))
        return false;
    const QByteArray table = file.read(qint64(phentsize * phnum));
    if (quint64(table.size()) < phentsize * phnum)
        return false;
    for (quint64 i = 0; i < phnum; ++i) {
        if (ReadUnsigned(table, qsizetype(i * phentsize), 4, bigEndian) == 3)  // PT_INTERP
            return true;
    }
    return false;
}

bool IsScriptHere(QFile& file) {
    file.seek(0);
    const QByteArray line = file.readLine(256).trimmed();
    const QByteArray interpreter = line.mid(2).trimmed().split(' ').value(0);
    struct stat st;
    return line.startsWith("#!") && interpreter.startsWith('/') &&
           ::stat(interpreter.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(interpreter.constData(), X_OK) == 0;
}

// The downloads of a staging folder (regular files "name.uTMP"), sorted, the program last so
// that it changes only once everything else is in place.
QStringList StagedFiles(const QString& staging, const QString& programName) {
    QStringList names;
    const QStringList entries = QDir(staging).entryList(
        {u'*' + kSuffix}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : entries) {
        if (name.size() > kSuffix.size() && ModeOf(staging + u'/' + name) >= 0)
            names.append(name);
    }
    const QString program = programName + kSuffix;
    if (names.removeAll(program) > 0)
        names.append(program);
    return names;
}

QString OldProgram(const QString& folder, const QString& programName) {
    return folder + programName + QStringLiteral(".old");
}

// Keeps what the moves will replace: the program as "<name>.old" beside it, the other files
// as links in the staging folder's "old". Answers the targets that do not exist yet.
bool KeepOldFiles(const QString& folder, const QString& staging, const QString& programName,
                  const QStringList& sources, QStringList& fresh) {
    const QString old = staging + u'/' + kOldFolder;
    if (::mkdir(Native(old).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    for (const QString& source : sources) {
        const QString target = source.chopped(kSuffix.size());
        if (ModeOf(folder + target) < 0) {
            fresh.append(target);
            continue;
        }
        const QString keep =
            target == programName ? OldProgram(folder, programName) : old + u'/' + target;
        ::unlink(Native(keep).constData());
        if (::link(Native(folder + target).constData(), Native(keep).constData()) != 0)
            return false;
    }
    return SyncFolder(old) && SyncFolder(folder);
}

bool MoveInPlace(const QString& folder, const QString& staging, const QString& programName,
                 const QString& source) {
    const QString target = source.chopped(kSuffix.size());
    const int old = ModeOf(folder + target);
    const bool program = target == programName || target == QLatin1String(kCompanionName);
    const int mode = old >= 0 ? old : (program ? 0755 : 0644);
    // Opened without following a link: only a regular file of the staging folder moves.
    const int fd =
        ::open(Native(staging + u'/' + source).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              ::fchmod(fd, mode_t(mode)) == 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    // rename() replaces the target in one step and never follows a link at the target.
    return ok && ::rename(Native(staging + u'/' + source).constData(),
                          Native(folder + target).constData()) == 0;
}

// Puts back what KeepOldFiles kept and removes what the upgrade added. A mark that the moves
// were over goes first: a roll-back cut short is then taken up again, never finished as an
// upgrade over files half put back.
void RollBack(const QString& folder, const QString& staging, const QString& programName) {
    ::unlink(Native(staging + u'/' + QLatin1String(kMovedMark)).constData());
    SyncFolder(staging);
    QFile moving(staging + u'/' + QLatin1String(kMovingMark));
    if (moving.open(QIODevice::ReadOnly)) {
        for (const QByteArray& name : moving.readAll().split('\n')) {
            if (!name.isEmpty() && !name.contains('/'))
                ::unlink(Native(folder + QFile::decodeName(name)).constData());
        }
    }
    const QString old = staging + u'/' + kOldFolder;
    const QStringList kept =
        QDir(old).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : kept)
        ::rename(Native(old + u'/' + name).constData(), Native(folder + name).constData());
    const QByteArray oldProgram = Native(OldProgram(folder, programName));
    ::rename(oldProgram.constData(), Native(folder + programName).constData());
    // Renaming a file onto another name of itself changes nothing: the kept name goes then.
    ::unlink(oldProgram.constData());
    SyncFolder(folder);
    RemoveStaging(staging);
}

// The moves are over and the new program runs: what was kept goes. The mark of the moves goes
// before the rest of the staging folder, whose removal runs in no set order: cut short, it must
// not look like moves cut short, which would put back the kept files but not the program.
void Finish(const QString& folder, const QString& staging, const QString& programName) {
    ::unlink(Native(OldProgram(folder, programName)).constData());
    SyncFolder(folder);
    ::unlink(Native(staging + u'/' + QLatin1String(kMovingMark)).constData());
    SyncFolder(staging);
    RemoveStaging(staging);
}

// The inherited upgrade lock, when the program handed it over, else the lock taken anew.
int TakeLock(const QString& folder) {
    struct stat inherited, lock;
    if (::fstat(kInheritedLockFd, &inherited) == 0 &&
        ::stat(Native(folder + QLatin1String(kLockName)).constData(), &lock) == 0 &&
        inherited.st_dev == lock.st_dev && inherited.st_ino == lock.st_ino &&
        ::flock(kInheritedLockFd, LOCK_EX) == 0) {
        ::fcntl(kInheritedLockFd, F_SETFD, FD_CLOEXEC);
        return kInheritedLockFd;
    }
    return LockFolder(folder, true);
}

void WaitWhileRunning(const QString& path) {
    while (ProgramRunning(path))
        QThread::msleep(kPollMs);
}

}  // namespace

HelperCommand ParseHelperCommandLine(QStringList args) {
    HelperCommand command;
    if (args.size() > 2 && args.last().startsWith(QLatin1String(kStagingPrefix)) &&
        !args.last().contains(u'/'))
        command.stagingName = args.takeLast();
    qsizetype parameters = -1;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i).startsWith(u'+')) {
            parameters = i;
            break;
        }
    }
    if (parameters < 1)
        return command;
    const QString path = args.mid(0, parameters).join(u' ');
    const QString text = args.mid(parameters).join(u' ');
    // "+", the restart text, the method digit.
    if (text.size() < 2 || !text.back().isDigit())
        return command;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (!path.startsWith(u'/') || slash == path.size() - 1)
        return command;
    command.programPath = path;
    command.programFolder = path.left(slash + 1);
    command.programName = path.mid(slash + 1);
    command.restartText = text.mid(1, text.size() - 2);
    command.setupMode = text.back() == u'1';
    command.valid = true;
    return command;
}

bool IsRunnableHere(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(64);
    if (header.startsWith("#!"))
        return IsScriptHere(file);
    return IsElfProgramHere(file, header);
}

bool ProgramRunning(const QString& path) {
    const QByteArray native = Native(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    if (errno == ETXTBSY)
        return true;
    struct stat program;
    if (errno == ENOENT || ::stat(native.constData(), &program) != 0)
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool running = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const QByteArray exe = QByteArray("/proc/") + entry->d_name + "/exe";
        struct stat st;
        if (::stat(exe.constData(), &st) == 0 && st.st_dev == program.st_dev &&
            st.st_ino == program.st_ino) {
            running = true;
            break;
        }
    }
    ::closedir(proc);
    return running;
}

int LockFolder(const QString& folder, bool wait) {
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    const int fd = ::open(Native(base + QLatin1String(kLockName)).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsStagingFolder(const QString& path) {
    struct stat st;
    return ::lstat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

bool SyncFile(const QString& path) {
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

void RemoveStaging(const QString& path) {
    if (IsStagingFolder(path))
        QDir(path).removeRecursively();
}

QString CheckStaged(const QString& stagingPath, const QString& programName, bool setupMode) {
    const QStringList sources = StagedFiles(stagingPath, programName);
    if (setupMode) {
        if (sources.size() != 1 || !IsRunnableHere(stagingPath + u'/' + sources.first()))
            return QStringLiteral("a setup upgrade needs exactly one program that runs here");
        return {};
    }
    for (const QString& source : sources) {
        const QString target = source.chopped(kSuffix.size());
        if (target != programName && target != QLatin1String(kCompanionName))
            return QStringLiteral("%1 is not a file of the program").arg(target);
        if (!IsRunnableHere(stagingPath + u'/' + source))
            return QStringLiteral("%1 is not a program for this machine").arg(target);
    }
    return {};
}

void RecoverUpgrades(const QString& folder, const QString& programName) {
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    const QStringList entries = QDir(base).entryList(
        {QLatin1String(kStagingPrefix) + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        const QString staging = base + name;
        if (!IsStagingFolder(staging))
            continue;
        if (HasMark(staging, kMovedMark)) {
            Finish(base, staging, programName);
        } else if (HasMark(staging, kMovingMark)) {
            RollBack(base, staging, programName);
        } else {
            // Nothing was moved yet; a kept program is only a second name of the current one.
            if (QFileInfo::exists(staging + u'/' + kOldFolder))
                ::unlink(Native(OldProgram(base, programName)).constData());
            RemoveStaging(staging);
        }
    }
}

bool StartProgram(const QString& path, const QStringList& arguments, const QString& folder,
                  int watchMs) {
    std::vector<QByteArray> bytes{Native(path)};
    for (const QString& argument : arguments)
        bytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray where = Native(folder);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        ::setsid();
        if (::chdir(where.constData()) == 0)
            ::execv(argv[0], argv.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return false;
    }
    // Nothing comes through the pipe when the program replaced the child: it closed on exec.
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    int status = 0;
    if (n > 0) {
        ::waitpid(pid, &status, 0);
        return false;
    }
    const QDeadlineTimer watch(watchMs);
    while (!watch.hasExpired()) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0)
            return false;
        QThread::msleep(20);
    }
    return true;
}

int RunUpdate(const HelperCommand& command) {
    if (QFile::exists(command.programPath))
        WaitWhileRunning(command.programPath);
    const int lock = TakeLock(command.programFolder);
    const QString staging = command.programFolder + command.stagingName;
    const QStringList restart =
        command.restartText.isEmpty() ? QStringList() : QStringList{command.restartText};
    const auto startOld = [&](int code) {
        QStringList arguments = restart;
        arguments << QLatin1String(kUpgradeFailedFlag);
        StartProgram(command.programPath, arguments, command.programFolder, 0);
        return code;
    };
    const bool usable = lock >= 0 && !command.stagingName.isEmpty() && IsStagingFolder(staging) &&
                        HasMark(staging, kReadyMark) &&
                        CheckStaged(staging, command.programName, command.setupMode).isEmpty();
    if (!usable) {
        RemoveStaging(staging);
        return startOld(3);
    }
    const QStringList sources = StagedFiles(staging, command.programName);
    if (command.setupMode) {
        // The setup program runs from the staging folder and goes with it.
        const QString setup = staging + u'/' + sources.first();
        ::chmod(Native(setup).constData(), 0700);
        QProcess process;
        process.setWorkingDirectory(command.programFolder);
        process.start(setup, restart);
        if (process.waitForStarted(-1))
            process.waitForFinished(-1);
        RemoveStaging(staging);
        return StartProgram(command.programPath, restart, command.programFolder, 0) ? 0 : 4;
    }
    QStringList fresh;
    bool moved =
        KeepOldFiles(command.programFolder, staging, command.programName, sources, fresh) &&
        WriteMark(staging, kMovingMark, Native(fresh.join(u'\n')));
    for (const QString& source : sources) {
        moved = moved && MoveInPlace(command.programFolder, staging, command.programName, source);
    }
    moved = moved && SyncFolder(command.programFolder) && WriteMark(staging, kMovedMark);
    if (moved && StartProgram(command.programPath, restart, command.programFolder, kWatchMs)) {
        Finish(command.programFolder, staging, command.programName);
        return 0;
    }
    if (HasMark(staging, kMovingMark))
        RollBack(command.programFolder, staging, command.programName);
    else
        RecoverUpgrades(command.programFolder, command.programName);
    return startOld(moved ? 5 : 3);
}

}  // namespace kestrel::helper
