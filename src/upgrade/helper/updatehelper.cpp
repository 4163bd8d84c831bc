#include "upgrade/helper/updatehelper.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace kestrel::helper {

namespace {

const QString kSuffix = QStringLiteral(".uTMP");
constexpr unsigned long kPollMs = 200;

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
int ModeOf(const QByteArray& path) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int(st.st_mode & 07777);
}

void WaitWhileRunning(const QString& path) {
    while (ProgramRunning(path))
        QThread::msleep(kPollMs);
}

}  // namespace

HelperCommand ParseHelperCommandLine(const QStringList& args) {
    HelperCommand command;
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

ReplacementPlan PlanReplacements(QStringList downloads, const QString& programName, bool setupMode,
                                 const std::function<bool(const QString&)>& isExecutable) {
    ReplacementPlan plan;
    downloads.sort();
    for (const QString& source : downloads) {
        const QString target = source.chopped(kSuffix.size());
        if (target.isEmpty() || target == u"." || target == u"..")
            continue;
        plan.files.append({source, target});
    }
    const auto runs = [&](const QString& source) { return isExecutable && isExecutable(source); };
    const QString ownDownload = programName + kSuffix;
    if (downloads.contains(ownDownload)) {
        if (setupMode)
            return plan;
        if (runs(ownDownload)) {
            plan.programSource = ownDownload;
        } else {
            // An error page or a cut file in its place would leave no program to start again.
            plan.files.removeIf(
                [&](const Replacement& file) { return file.source == ownDownload; });
        }
        return plan;
    }
    QString special;
    for (const Replacement& file : std::as_const(plan.files)) {
        if (file.target.endsWith(u"exe")) {
            // Only when it can run here: a Windows program would leave no program at all.
            if (runs(file.source))
                special = file.source;
            break;
        }
    }
    if (special.isEmpty()) {
        for (const Replacement& file : std::as_const(plan.files)) {
            if (runs(file.source)) {
                special = file.source;
                break;
            }
        }
    }
    if (special.isEmpty())
        return plan;
    if (setupMode) {
        plan.setupSource = special;
        return plan;
    }
    plan.programSource = special;
    for (Replacement& file : plan.files) {
        if (file.source == special)
            file.target = programName;
    }
    return plan;
}

bool IsElfExecutable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(64);
    if (header.size() < 52 || !header.startsWith("\x7f"
                                                 "ELF"))
        return false;
    const bool wide = header.at(4) == 2;
    const bool bigEndian = header.at(5) == 2;
    if ((!wide && header.at(4) != 1) || (wide && header.size() < 64))
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

QStringList FindDownloads(const QString& folder) {
    QStringList names;
    const QDir dir(folder);
    const QStringList entries =
        dir.entryList({u'*' + kSuffix}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : entries) {
        if (name.endsWith(kSuffix) && ModeOf(Native(dir.filePath(name))) >= 0)
            names.append(name);
    }
    return names;
}

int ApplyReplacements(const QString& folder, const ReplacementPlan& plan,
                      const QString& programName) {
    int failed = 0;
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const Replacement& file : plan.files) {
        const QByteArray source = Native(base + file.source);
        const QByteArray target = Native(base + file.target);
        const int old = ModeOf(target);
        int mode = old >= 0 ? old : 0644;
        if (file.target == programName && file.source == plan.programSource)
            mode = old >= 0 ? old : 0755;
        else if (file.source == plan.setupSource)
            mode = (old >= 0 ? old : 0755) | 0700;
        // Opened without following a link: only a regular file of the folder moves.
        const int fd = ::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::fchmod(fd, mode_t(mode)) == 0;
        if (fd >= 0)
            ::close(fd);
        // rename() replaces the target in one step and never follows a link at the target.
        ok = ok && ::rename(source.constData(), target.constData()) == 0;
        if (!ok)
            ++failed;
    }
    return failed;
}

int RunUpdate(const HelperCommand& command) {
    if (QFile::exists(command.programPath))
        WaitWhileRunning(command.programPath);

    const ReplacementPlan plan = PlanReplacements(
        FindDownloads(command.programFolder), command.programName, command.setupMode,
        [&](const QString& name) { return IsElfExecutable(command.programFolder + name); });
    const int failed = ApplyReplacements(command.programFolder, plan, command.programName);

    const QStringList arguments =
        command.restartText.isEmpty() ? QStringList() : QStringList{command.restartText};
    if (!plan.setupSource.isEmpty()) {
        QString setup;
        for (const Replacement& file : plan.files) {
            if (file.source == plan.setupSource)
                setup = command.programFolder + file.target;
        }
        // The setup program ends before the program starts, and does not stay behind.
        if (ModeOf(Native(setup)) >= 0) {
            QProcess process;
            process.setWorkingDirectory(command.programFolder);
            process.start(setup, arguments);
            if (process.waitForStarted(-1))
                process.waitForFinished(-1);
            WaitWhileRunning(setup);
            ::unlink(Native(setup).constData());
        }
    }
    const bool started =
        QProcess::startDetached(command.programPath, arguments, command.programFolder);
    if (!started)
        return 4;
    return failed ? 3 : 0;
}

}  // namespace kestrel::helper
