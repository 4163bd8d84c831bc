// The user's own program run when an alarm fires (Param/AlarmCommand): to send a message, log
// the price, light a lamp. It is started directly, never through a shell, with what fired in its
// environment.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

namespace kestrel {

// The argument vector of a command line, split as a desktop entry's Exec value is: blanks
// separate arguments; an argument in double quotes keeps its blanks, and \" \` \$ \\ in it stand
// for the character; "%%" is a percent sign and the field codes (%f, %u, ...) drop out, since
// there is no file to give. Nothing when the line is blank, a quote is left open, or a "%" is
// followed by no field code.
std::optional<QStringList> SplitExecLine(const QString& line);

// What fired, for KESTREL_ALARM_NAME, KESTREL_ALARM_PRICE, KESTREL_ALARM_RULE and
// KESTREL_ALARM_TIME (ISO 8601 with the offset from UTC).
struct AlarmCommandFacts {
    QString Name;
    QString Price;  // as the alarm shows it
    QString Rule;   // the rule's description
    QDateTime Time;
};

// Starts a command per alarm and never waits on one: a command still running at the limit is
// killed; failures to start, exit codes other than 0 and kills are logged. At most maxRunning
// commands run at once, so that alarms firing over and over with a command that hangs cannot
// pile up processes. Lives on the GUI thread; commands still running when it goes are killed.
class AlarmCommandRunner : public QObject {
    Q_OBJECT
public:
    explicit AlarmCommandRunner(std::chrono::milliseconds limit = std::chrono::seconds(30),
                                int maxRunning = 4, QObject* parent = nullptr);

    // False (and logged) when the line cannot be split or too many commands run already;
    // otherwise OnFinished follows from the event loop.
    bool Run(const QString& commandLine, const AlarmCommandFacts& facts);

    int Running() const { return running_; }

    // After each command that Run started: its exit code, or -1 when it could not be started,
    // crashed or was killed at the limit.
    std::function<void(AlarmCommandRunner* sender, int exitCode)> OnFinished;

private:
    int limitMs_;
    int maxRunning_;
    int running_ = 0;
};

}  // namespace kestrel
