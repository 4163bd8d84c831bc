#include "platform/instancebus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QObject>
#include <QTimer>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/logging.h"

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

constexpr char kBusService[] = "org.freedesktop.DBus";
constexpr char kBusPath[] = "/org/freedesktop/DBus";
// RequestName's flag and answers.
constexpr uint kDoNotQueue = 4;
constexpr uint kPrimaryOwner = 1;
constexpr uint kAlreadyOwner = 4;

QDBusMessage BusCall(const char* method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kBusService), QString::fromLatin1(kBusPath),
        QString::fromLatin1(kBusService), QString::fromLatin1(method));
    call.setArguments(arguments);
    return call;
}

QDBusMessage MethodCall(const QString& name, const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        name, QString::fromLatin1(kInstancePath), QString::fromLatin1(kInstanceInterface), method);
    // A name nobody owns is an answer at once, never a start of something else.
    call.setAutoStartService(false);
    return call;
}

QDBusMessage CommandCall(const QString& name, InstanceCommand command) {
    return MethodCall(name, CommandMethod(command));
}

bool NobodyOwns(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown");
}

// Calls the running ticker on a connection of its own and waits for the answer: only a
// command-line process does. Nothing without a session bus.
std::optional<QDBusMessage> CallRunning(const QDBusMessage& call, int timeoutMs) {
    const QString connection = QStringLiteral("kestrel-command");
    std::optional<QDBusMessage> reply;
    {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
        if (bus.isConnected())
            reply = bus.call(call, QDBus::Block, timeoutMs);
    }
    QDBusConnection::disconnectFromBus(connection);
    return reply;
}

// The bus's socket: the first unix entry of the address, as libdbus would try it first.
struct BusSocket {
    bool Abstract = false;
    QByteArray Path;
};

std::optional<BusSocket> SocketOfAddress(const QByteArray& address) {
    for (const QByteArray& entry : address.split(';')) {
        if (!entry.startsWith("unix:"))
            continue;
        for (const QByteArray& pair : entry.mid(5).split(',')) {
            const qsizetype equals = pair.indexOf('=');
            const QByteArray key = pair.left(equals);
            if (equals > 0 && (key == "path" || key == "abstract"))
                return BusSocket{key == "abstract",
                                 QByteArray::fromPercentEncoding(pair.mid(equals + 1))};
        }
    }
    return std::nullopt;
}

// Waits until the socket is ready for `events`; false when the deadline passed first.
bool WaitFor(int fd, short events, const QDeadlineTimer& deadline) {
    pollfd p{fd, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

QString SessionBusSilence(int timeoutMs) {
    QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        address = "unix:path=" + qgetenv("XDG_RUNTIME_DIR") + "/bus";
    const std::optional<BusSocket> socket = SocketOfAddress(address);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const qsizetype offset = socket && socket->Abstract ? 1 : 0;
    if (!socket || socket->Path.isEmpty() ||
        socket->Path.size() + offset >= qsizetype(sizeof where.sun_path))
        return {};
    std::memcpy(where.sun_path + offset, socket->Path.constData(), socket->Path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + socket->Path.size() +
                                  (socket->Abstract ? 0 : 1));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {};
    const QDeadlineTimer deadline(timeoutMs);
    const QString named = QString::fromLocal8Bit(address);
    QString silence;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), length) != 0) {
        // A bus that is not there fails Qt's connection at once as well; one whose queue of
        // connections is full is there and does not take them.
        if (errno == EAGAIN || errno == EINPROGRESS)
            silence = QStringLiteral("the session bus at %1 takes no connections").arg(named);
        ::close(fd);
        return silence;
    }
    // The greeting every client starts with: a zero byte and the authentication by user id.
    QByteArray hello("\0AUTH EXTERNAL ", 15);
    hello += QByteArray::number(::getuid()).toHex() + "\r\n";
    qsizetype sent = 0;
    while (sent < hello.size() && silence.isEmpty()) {
        if (!WaitFor(fd, POLLOUT, deadline)) {
            silence = QStringLiteral("the session bus at %1 does not take the greeting").arg(named);
            break;
        }
        const ssize_t n = ::send(fd, hello.constData() + sent, hello.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;  // gone: Qt's connection fails at once
        sent += n > 0 ? n : 0;
    }
    // Any answer will do: the bus is awake.
    if (silence.isEmpty() && sent == hello.size() && !WaitFor(fd, POLLIN, deadline))
        silence = QStringLiteral("the session bus at %1 did not answer within %2 ms")
                      .arg(named)
                      .arg(timeoutMs);
    ::close(fd);
    return silence;
}

void ForgoSessionBus() {
    // A socket that cannot exist: every connection fails at once, and nothing autolaunches.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-session-bus");
}

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
    bool Chart(const QString& name) { return bus_->ReceiveChart(name); }

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
        // The name is given back without waiting for the bus, which may be stopped by now: an
        // end waits on nothing. It goes with the connection at the latest.
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kInstancePath));
        bus.send(BusCall("ReleaseName", {name_}));
    }
}

InstanceBus::Sent InstanceBus::Send(InstanceCommand command, int timeoutMs) const {
    const std::optional<QDBusMessage> reply = CallRunning(CommandCall(name_, command), timeoutMs);
    if (reply && reply->type() == QDBusMessage::ReplyMessage)
        return Sent::Taken;
    return reply && !NobodyOwns(*reply) ? Sent::NoAnswer : Sent::NoOwner;
}

InstanceBus::Sent InstanceBus::SendChart(const QString& instrument, int timeoutMs) const {
    QDBusMessage call = MethodCall(name_, QStringLiteral("Chart"));
    call << instrument;
    const std::optional<QDBusMessage> reply = CallRunning(call, timeoutMs);
    if (reply && reply->type() == QDBusMessage::ReplyMessage)
        return reply->arguments().value(0).toBool() ? Sent::Taken : Sent::Refused;
    return reply && !NobodyOwns(*reply) ? Sent::NoAnswer : Sent::NoOwner;
}

void InstanceBus::ClaimName(InstanceCommand command, int timeoutMs,
                            std::function<void(Claim)> done) {
    command_ = command;
    timeoutMs_ = timeoutMs;
    attempts_ = 0;
    done_ = std::move(done);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcPlatform, "no session bus: this ticker runs on its own");
        Settle(Claim::Alone);
        return;
    }
    // The object is there before the name, so that a command sent the moment the name is
    // taken finds it.
    if (!adaptor_) {
        adaptor_ = std::make_unique<InstanceAdaptor>(this);
        if (!bus.registerObject(QString::fromLatin1(kInstancePath), adaptor_.get(),
                                QDBusConnection::ExportAllSlots)) {
            adaptor_.reset();
            qCWarning(lcPlatform,
                      "the command object cannot be put on the session bus: this "
                      "ticker runs on its own");
            Settle(Claim::Alone);
            return;
        }
    }
    AskForName();
}

void InstanceBus::AskForName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(BusCall("RequestName", {name_, kDoNotQueue}), timeoutMs_), adaptor_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, adaptor_.get(), [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            qCWarning(lcPlatform,
                      "the session bus did not give the name %s (%s): this ticker runs "
                      "on its own",
                      qPrintable(name_), qPrintable(reply.errorMessage()));
            Settle(Claim::Alone);
            return;
        }
        const uint answer = reply.arguments().value(0).toUInt();
        if (answer == kPrimaryOwner || answer == kAlreadyOwner)
            Settle(Claim::Owner);
        else
            HandOver();
    });
}

void InstanceBus::HandOver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(CommandCall(name_, command_), timeoutMs_), adaptor_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, adaptor_.get(), [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ReplyMessage)
            Settle(Claim::HandedOver);
        // The owner ended between our claim and our call: the name is free again.
        else if (NobodyOwns(reply) && ++attempts_ < 3)
            AskForName();
        else
            Settle(Claim::Unanswered);
    });
}

void InstanceBus::Settle(Claim claim) {
    if (done_)
        std::exchange(done_, {})(claim);
}

void InstanceBus::SetOnCommand(std::function<void(InstanceCommand)> handler) {
    onCommand_ = std::move(handler);
    if (!onCommand_)
        return;
    const QList<InstanceCommand> waiting = std::exchange(pending_, {});
    for (const InstanceCommand command : waiting)
        onCommand_(command);
}

void InstanceBus::SetOnChart(std::function<bool(const QString&)> knows,
                             std::function<void(const QString&)> open) {
    knowsChart_ = std::move(knows);
    openChart_ = std::move(open);
}

bool InstanceBus::ReceiveChart(const QString& name) {
    if (!knowsChart_ || !openChart_ || !knowsChart_(name))
        return false;
    QTimer::singleShot(0, adaptor_.get(), [this, name] {
        if (openChart_)
            openChart_(name);
    });
    return true;
}

void InstanceBus::Receive(InstanceCommand command) {
    if (onCommand_)
        onCommand_(command);
    else
        pending_.append(command);
}

}  // namespace kestrel

#include "instancebus.moc"
