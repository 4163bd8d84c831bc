// One running Kestrel per settings file, and the commands that other processes send it over the
// session bus. The bus name is derived from the settings file's path, so a crash never leaves it
// taken and tickers on different settings run side by side.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace kestrel {

// The commands, as `kestrel --toggle` ... `--quit` and as the methods of the bus interface.
enum class InstanceCommand { Toggle, Show, Hide, Refresh, Settings, Quit };

inline constexpr char kInstanceInterface[] = "org.example.Kestrel";
inline constexpr char kInstancePath[] = "/org/example/Kestrel";

// "--toggle" -> Toggle; nothing for any other text.
std::optional<InstanceCommand> CommandFromOption(const QByteArray& option);
// The method name on the bus: "Toggle", "Show", ...
QString CommandMethod(InstanceCommand command);
// Whether the command starts a ticker when none runs (toggle, show, settings).
bool CommandStartsTicker(InstanceCommand command);

// "org.example.Kestrel.i" and a hash of the settings file's absolute, canonical path.
QString InstanceBusName(const QString& iniPath);

// Whether the session bus at DBUS_SESSION_BUS_ADDRESS completes its greeting within the time,
// asked over a socket of its own: Qt's connection, once opened, waits on a silent or stopped bus
// for half a minute. Empty when it answers or when it cannot be asked that way (another
// transport, no address); otherwise why not.
QString SessionBusSilence(int timeoutMs);
// From now on every D-Bus connection of this process fails at once, so that nothing waits on a
// bus that was found silent.
void ForgoSessionBus();

class InstanceBus {
public:
    explicit InstanceBus(const QString& iniPath);
    ~InstanceBus();
    InstanceBus(const InstanceBus&) = delete;
    InstanceBus& operator=(const InstanceBus&) = delete;

    QString Name() const { return name_; }

    enum class Sent {
        Taken,     // the owner has taken the command (it runs there after the answer)
        NoOwner,   // nobody owns the name, or there is no bus
        NoAnswer,  // the bus or the owner did not answer within the time
        Refused,   // the owner does not know what the command names
    };
    // Hands the command to the process that owns the name, over a connection of its own that
    // is closed again before this returns (it may run under a QCoreApplication that goes).
    // Waits for the answer: only for a process that has no window.
    Sent Send(InstanceCommand command, int timeoutMs) const;
    // `kestrel --chart NAME`: the owner opens the chart of the instrument it knows by that name,
    // or refuses.
    Sent SendChart(const QString& name, int timeoutMs) const;

    enum class Claim {
        Owner,       // this process is the ticker for these settings and serves the commands
        HandedOver,  // another process owns the name and has taken the command
        Unanswered,  // another process owns the name and does not take the command
        Alone,       // no bus, or it did not answer in time: this process runs on its own
    };
    // Exports the command object and asks for the name without waiting: `done` is called once,
    // at once when there is no bus, else from the event loop. When another process owns the name
    // the command is handed to it; when that owner ends meanwhile the name is asked for again. Each
    // answer may take `timeoutMs`.
    void ClaimName(InstanceCommand command, int timeoutMs, std::function<void(Claim)> done);

    // Commands that arrive for the owner, on the GUI thread and after the call has been
    // answered, so that a dialog a command opens does not hold the sender. Commands that came
    // before a handler was set are handed to it when it is set.
    void SetOnCommand(std::function<void(InstanceCommand)> handler);
    // Called by the exported object.
    void Receive(InstanceCommand command);

    // A chart asked for over the bus: `knows` answers at once whether the name is an instrument
    // (the caller learns it), `open` runs after the answer. Without them every chart is refused.
    void SetOnChart(std::function<bool(const QString&)> knows,
                    std::function<void(const QString&)> open);
    bool ReceiveChart(const QString& name);

private:
    void AskForName();
    void HandOver();
    void Settle(Claim claim);

    QString name_;
    std::unique_ptr<QObject> adaptor_;
    std::function<void(InstanceCommand)> onCommand_;
    std::function<bool(const QString&)> knowsChart_;
    std::function<void(const QString&)> openChart_;
    QList<InstanceCommand> pending_;
    InstanceCommand command_ = InstanceCommand::Show;
    int timeoutMs_ = 0;
    int attempts_ = 0;
    std::function<void(Claim)> done_;
};

}  // namespace kestrel
