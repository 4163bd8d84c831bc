#include "platform/instancebus.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QObject>
#include <QTimer>
#include <array>

namespace kestrel {

namespace {

struct CommandName {
    InstanceCommand Command;
    const char* Option;
    const char* Method;
};

constexpr std::array kCommands{
    CommandName{InstanceCommand::Toggle, "--toggle", "Toggle"},
    CommandName{InstanceCommand::Show, "--show", "Show"},
    CommandName{InstanceCommand::Hide, "--hide", "Hide"},
    CommandName{InstanceCommand::Refresh, "--refresh", "Refresh"},
    CommandName{InstanceCommand::Settings, "--settings", "Settings"},
    CommandName{InstanceCommand::Quit, "--quit", "Quit"},
};

// Long enough for a ticker busy drawing or loading its settings, short enough that a key
// binding on a hung ticker gives up.
constexpr int kCallTimeoutMs = 5000;

}  // namespace

// The object on the bus. Each method only queues the command: the caller gets its answer at
// once, even when the command opens a modal dialog.
class InstanceAdaptor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.Kestrel")
public:
    explicit InstanceAdaptor(InstanceBus* bus) : bus_(bus) {}

public Q_SLOTS:
    void Toggle() { Queue(InstanceCommand::Toggle); }
    void Show() { Queue(InstanceCommand::Show); }
    void Hide() { Queue(InstanceCommand::Hide); }
    void Refresh() { Queue(InstanceCommand::Refresh); }
    void Settings() { Queue(InstanceCommand::Settings); }
    void Quit() { Queue(InstanceCommand::Quit); }

private:
    void Queue(InstanceCommand command) {
        QTimer::singleShot(0, this, [this, command] { bus_->Receive(command); });
    }

    InstanceBus* const bus_;
};

std::optional<InstanceCommand> CommandFromOption(const QByteArray& option) {
    for (const CommandName& c : kCommands) {
        if (option == c.Option)
            return c.Command;
    }
    return std::nullopt;
}

QString CommandMethod(InstanceCommand command) {
    for (const CommandName& c : kCommands) {
        if (c.Command == command)
            return QString::fromLatin1(c.Method);
    }
    return {};
}

bool CommandStartsTicker(InstanceCommand command) {
    return command == InstanceCommand::Toggle || command == InstanceCommand::Show ||
           command == InstanceCommand::Settings;
}

QString InstanceBusName(const QString& iniPath) {
    // The folder may be reached through a link; the file itself may not exist yet.
    const QFileInfo file(iniPath);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    const QString path =
        (folder.isEmpty() ? file.absolutePath() : folder) + QLatin1Char('/') + file.fileName();
    const QByteArray hash =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QString::fromLatin1(kInstanceInterface) + QStringLiteral(".i") +
           QString::fromLatin1(hash);
}

InstanceBus::InstanceBus(const QString& iniPath) : name_(InstanceBusName(iniPath)) {}

InstanceBus::~InstanceBus() {
    if (adaptor_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kInstancePath));
        bus.unregisterService(name_);
    }
}

InstanceBus::Claim InstanceBus::ClaimName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Claim::NoBus;
    // The object is there before the name, so that a command sent the moment the name is
    // taken finds it.
    if (!adaptor_) {
        adaptor_ = std::make_unique<InstanceAdaptor>(this);
        if (!bus.registerObject(QString::fromLatin1(kInstancePath), adaptor_.get(),
                                QDBusConnection::ExportAllSlots)) {
            adaptor_.reset();
            return Claim::NoBus;
        }
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(name_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        return Claim::NoBus;
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::Owner
                                                                        : Claim::Taken;
}

bool InstanceBus::Send(InstanceCommand command) const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(name_))
        return false;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        name_, QString::fromLatin1(kInstancePath), QString::fromLatin1(kInstanceInterface),
        CommandMethod(command));
    return bus.call(call, QDBus::Block, kCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

void InstanceBus::SetOnCommand(std::function<void(InstanceCommand)> handler) {
    onCommand_ = std::move(handler);
    if (!onCommand_)
        return;
    const QList<InstanceCommand> waiting = std::exchange(pending_, {});
    for (const InstanceCommand command : waiting)
        onCommand_(command);
}

void InstanceBus::Receive(InstanceCommand command) {
    if (onCommand_)
        onCommand_(command);
    else
        pending_.append(command);
}

}  // namespace kestrel

#include "instancebus.moc"
