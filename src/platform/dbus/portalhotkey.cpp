#include "platform/dbus/portalhotkey.h"

#include "platform/dbus/dbusreply.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>

namespace {

// One entry of a BindShortcuts call: the shortcut's id and what the desktop is told about it.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace kestrel {

namespace {

// Signals are matched by path and contents, not by sender: naming the sender would make Qt look
// up its owner on the bus and wait for the answer.
const QString kAnySender;
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kShortcutId = QStringLiteral("toggle");

QDBusMessage PortalCall(const QString& method) {
    return QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface, method);
}

// A session handle comes as an object path or, from older portals, as a string.
QString PathText(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QVariantMap MapArgument(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

}  // namespace

PortalHotKeyService::PortalHotKeyService(const QDBusConnection& bus) : bus_(bus) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

PortalHotKeyService::~PortalHotKeyService() {
    Unregister();
}

bool PortalHotKeyService::Register(quint16 modifiers, quint16 virtualKey) {
    Unregister();
    trigger_ = DesktopTrigger(modifiers, virtualKey);
    if (trigger_.isEmpty() || !bus_.isConnected())
        return false;
    modifiers_ = modifiers;
    virtualKey_ = virtualKey;
    // A portal without the interface answers the property with an error; one that predates
    // the version property has no global shortcuts either.
    QDBusMessage probe = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    probe << kShortcutsInterface << QStringLiteral("version");
    OnReply(bus_.asyncCall(probe), [this](const QDBusMessage& reply) {
        const QVariant version = reply.arguments().value(0).value<QDBusVariant>().variant();
        if (version.toUInt() == 0) {
            Settle(false);
            return;
        }
        CreateSession();
    });
    return true;
}

void PortalHotKeyService::Unregister() {
    ++generation_;
    answer_ = nullptr;
    ListenForResponse(QString());
    if (listening_) {
        bus_.disconnect(kAnySender, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                        this, SLOT(ShortcutActivated(QDBusMessage)));
        listening_ = false;
    }
    if (!session_.isEmpty()) {
        // Closing the session gives the key back; the answer is of no interest.
        bus_.asyncCall(QDBusMessage::createMethodCall(
            kPortalService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
        session_.clear();
    }
}

void PortalHotKeyService::CreateSession() {
    const QString token = NextToken();
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), NextToken()}};
    Ask(QStringLiteral("CreateSession"), {options}, token,
        [this](uint response, const QVariantMap& results) {
            session_ = PathText(results.value(QStringLiteral("session_handle")));
            if (response != 0 || session_.isEmpty()) {
                Settle(false);
                return;
            }
            BindShortcut();
        });
}

void PortalHotKeyService::BindShortcut() {
    listening_ =
        bus_.connect(kAnySender, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                     this, SLOT(ShortcutActivated(QDBusMessage)));
    const PortalShortcut shortcut{
        kShortcutId,
        {{QStringLiteral("description"),
          QCoreApplication::translate("kestrel::HotKey", "显示/隐藏牌价窗口")},
         {QStringLiteral("preferred_trigger"), trigger_}}};
    const QString token = NextToken();
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    // No parent window: the ticker may be hidden, and a Wayland window cannot name itself here.
    Ask(QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)),
         QVariant::fromValue(QList<PortalShortcut>{shortcut}), QString(), options},
        token, [this](uint response, const QVariantMap&) { Settle(response == 0); });
}

void PortalHotKeyService::Ask(const QString& method, const QVariantList& arguments,
                              const QString& token, Answer answer) {
    // The Response may follow the reply at once: listen on the path the portal will use before
    // asking, and move when its reply names another.
    QString sender = bus_.baseService().mid(1);
    sender.replace(u'.', u'_');
    ListenForResponse(QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token));
    answer_ = std::move(answer);
    QDBusMessage call = PortalCall(method);
    call.setArguments(arguments);
    OnReply(bus_.asyncCall(call), [this](const QDBusMessage& reply) {
        const QString handle = PathText(reply.arguments().value(0));
        if (!handle.isEmpty() && handle != requestPath_)
            ListenForResponse(handle);
    });
}

void PortalHotKeyService::OnReply(const QDBusPendingCall& call,
                                  std::function<void(const QDBusMessage&)> next) {
    WhenAnswered(
        this, call, generation_, [this] { Settle(false); }, std::move(next));
}

void PortalHotKeyService::ListenForResponse(const QString& requestPath) {
    if (!requestPath_.isEmpty()) {
        bus_.disconnect(kAnySender, requestPath_, kRequestInterface, QStringLiteral("Response"),
                        this, SLOT(RequestAnswered(QDBusMessage)));
    }
    requestPath_ = requestPath;
    if (!requestPath_.isEmpty()) {
        bus_.connect(kAnySender, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(RequestAnswered(QDBusMessage)));
    }
}

void PortalHotKeyService::RequestAnswered(const QDBusMessage& message) {
    if (message.path() != requestPath_ || !answer_)
        return;
    const Answer answer = std::exchange(answer_, nullptr);
    ListenForResponse(QString());
    const QList<QVariant> arguments = message.arguments();
    answer(arguments.value(0, 2u).toUInt(), MapArgument(arguments.value(1)));
}

void PortalHotKeyService::ShortcutActivated(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (session_.isEmpty() || PathText(arguments.value(0)) != session_ ||
        arguments.value(1).toString() != kShortcutId)
        return;
    if (OnHotKey)
        OnHotKey(virtualKey_, modifiers_);
}

void PortalHotKeyService::Settle(bool bound) {
    if (!bound)
        Unregister();
    if (OnSettled)
        OnSettled(bound);
}

QString PortalHotKeyService::NextToken() {
    return QStringLiteral("kestrel%1").arg(++tokens_);
}

}  // namespace kestrel
