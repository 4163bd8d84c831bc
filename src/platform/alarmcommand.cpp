#include "platform/alarmcommand.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <memory>

#include "platform/logging.h"

namespace kestrel {

namespace {

// The field codes of an Exec line; the deprecated ones drop out as well.
const QString kFieldCodes = QStringLiteral("fFuUdDnNickvm");

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::optional<QStringList> SplitExecLine(const QString& line) {
    QStringList args;
    QString arg;
    bool inArg = false;  // an argument has begun (a quoted empty one counts)
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (IsBlank(c)) {
            if (inArg)
                args.append(arg);
            arg.clear();
            inArg = false;
        } else if (c == u'"') {
            inArg = true;
            for (++i;; ++i) {
                if (i >= line.size())
                    return std::nullopt;
                const QChar q = line[i];
                if (q == u'"')
                    break;
                if (q == u'\\' && i + 1 < line.size() &&
                    QStringView(u"\"`$\\").contains(line[i + 1]))
                    arg += line[++i];
                else
                    arg += q;
            }
        } else if (c == u'%') {
            if (i + 1 >= line.size())
                return std::nullopt;
            const QChar code = line[++i];
            if (code == u'%') {
                arg += u'%';
                inArg = true;
            } else if (!kFieldCodes.contains(code)) {
                return std::nullopt;
            }
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg)
        args.append(arg);
    if (args.isEmpty())
        return std::nullopt;
    return args;
}

AlarmCommandRunner::AlarmCommandRunner(std::chrono::milliseconds limit, int maxRunning,
                                       QObject* parent)
    : QObject(parent), limitMs_(static_cast<int>(limit.count())), maxRunning_(maxRunning) {}

bool AlarmCommandRunner::Run(const QString& commandLine, const AlarmCommandFacts& facts) {
    std::optional<QStringList> argv = SplitExecLine(commandLine);
    if (!argv) {
        qCWarning(lcPlatform).noquote() << "The alarm command cannot be read:" << commandLine;
        return false;
    }
    if (running_ >= maxRunning_) {
        qCWarning(lcPlatform).noquote()
            << "The alarm command is not started:" << running_ << "are still running";
        return false;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTREL_ALARM_NAME"), facts.Name);
    env.insert(QStringLiteral("KESTREL_ALARM_PRICE"), facts.Price);
    env.insert(QStringLiteral("KESTREL_ALARM_RULE"), facts.Rule);
    env.insert(QStringLiteral("KESTREL_ALARM_TIME"),
               facts.Time.toOffsetFromUtc(facts.Time.offsetFromUtc()).toString(Qt::ISODate));

    auto* process = new QProcess(this);
    process->setProcessEnvironment(env);
    process->setProgram(argv->takeFirst());
    process->setArguments(*argv);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);

    // Both a failed start and a finish may be reported; the first one ends the run.
    auto killed = std::make_shared<bool>(false);
    auto ended = std::make_shared<bool>(false);
    const QString program = process->program();
    const auto finish = [this, process, ended, program](int exitCode, const QString& why) {
        if (*ended)
            return;
        *ended = true;
        --running_;
        if (!why.isEmpty())
            qCWarning(lcPlatform).noquote() << "The alarm command" << program << why;
        process->deleteLater();
        if (OnFinished)
            OnFinished(this, exitCode);
    };
    auto* timer = new QTimer(process);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, process, [process, killed, this] {
        *killed = true;
        qCWarning(lcPlatform).noquote() << "The alarm command" << process->program()
                                        << "is killed after" << limitMs_ / 1000 << "s";
        process->kill();
    });
    // Queued, so that a start that fails at once still reports after Run has returned.
    connect(
        process, &QProcess::errorOccurred, this,
        [finish, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finish(-1, QStringLiteral("could not be started: ") + process->errorString());
        },
        Qt::QueuedConnection);
    connect(
        process, &QProcess::finished, this,
        [finish, killed](int exitCode, QProcess::ExitStatus status) {
            if (*killed)
                finish(-1, {});
            else if (status != QProcess::NormalExit)
                finish(-1, QStringLiteral("crashed"));
            else
                finish(exitCode, exitCode == 0
                                     ? QString()
                                     : QStringLiteral("ended with status %1").arg(exitCode));
        },
        Qt::QueuedConnection);

    ++running_;
    timer->start(limitMs_);
    process->start();
    return true;
}

}  // namespace kestrel
