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

class InstanceBus {
public:
    enum class Claim {
        Owner,  // this process is the ticker for these settings and serves the commands
        Taken,  // another process is
        NoBus,  // no session bus: every start runs on its own, as without this class
    };

    explicit InstanceBus(const QString& iniPath);
    ~InstanceBus();
    InstanceBus(const InstanceBus&) = delete;
    InstanceBus& operator=(const InstanceBus&) = delete;

    QString Name() const { return name_; }

    // Exports the command object and asks for the name, never waiting in a queue for it.
    Claim ClaimName();
    // Hands the command to the process that owns the name; true once it has taken it (the
    // command itself runs there after the answer). False when nobody owns the name or the
    // owner does not answer within a few seconds.
    bool Send(InstanceCommand command) const;

    // Commands that arrive for the owner, on the GUI thread and after the call has been
    // answered, so that a dialog a command opens does not hold the sender. Commands that came
    // before a handler was set are handed to it when it is set.
    void SetOnCommand(std::function<void(InstanceCommand)> handler);
    // Called by the exported object.
    void Receive(InstanceCommand command);

private:
    QString name_;
    std::unique_ptr<QObject> adaptor_;
    std::function<void(InstanceCommand)> onCommand_;
    QList<InstanceCommand> pending_;
};

}  // namespace kestrel
