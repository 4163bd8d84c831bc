#include "platform/dbus/kglobalaccelhotkey.h"

#include "platform/dbus/dbusreply.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QStringList>

namespace kestrel {

namespace {

// Signals are matched by path and contents, not by sender: naming the sender would make Qt look
// up its owner on the bus and wait for the answer.
const QString kAnySender;
const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kComponent = QStringLiteral("kestrel");
const QString kAction = QStringLiteral("toggle");

// Component and action, each by its id and by the name the desktop's settings show.
QStringList ActionId() {
    return {kComponent, kAction, QStringLiteral("Kestrel"),
            QCoreApplication::translate("kestrel::HotKey", "显示/隐藏牌价窗口")};
}

// setShortcut's flags: make the action present, and take the key given, not one remembered.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

}  // namespace

KGlobalAccelHotKeyService::KGlobalAccelHotKeyService(const QDBusConnection& bus) : bus_(bus) {}

KGlobalAccelHotKeyService::~KGlobalAccelHotKeyService() {
    Unregister();
}

QDBusMessage KGlobalAccelHotKeyService::Call(const QString& method,
                                             const QVariantList& arguments) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
    call.setArguments(arguments);
    return call;
}

bool KGlobalAccelHotKeyService::Register(quint16 modifiers, quint16 virtualKey) {
    Unregister();
    key_ = QtKeyCode(modifiers, virtualKey);
    if (key_ == 0 || !bus_.isConnected())
        return false;
    modifiers_ = modifiers;
    virtualKey_ = virtualKey;
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << kService;
    OnReply(bus_.asyncCall(hasOwner), [this](const QDBusMessage& reply) {
        if (!reply.arguments().value(0).toBool()) {
            Settle(false);
            return;
        }
        registered_ = true;
        OnReply(bus_.asyncCall(Call(QStringLiteral("doRegister"), {ActionId()})),
                [this](const QDBusMessage&) { SetShortcut(); });
    });
    return true;
}

void KGlobalAccelHotKeyService::SetShortcut() {
    const QVariantList arguments{ActionId(), QVariant::fromValue(QList<int>{key_}),
                                 kSetPresent | kNoAutoloading};
    OnReply(bus_.asyncCall(Call(QStringLiteral("setShortcut"), arguments)),
            [this](const QDBusMessage& reply) {
                // The service answers with the keys the action has now: without ours, another
                // action holds it.
                if (!qdbus_cast<QList<int>>(reply.arguments().value(0)).contains(key_)) {
                    if (OnRefused)
                        OnRefused(virtualKey_, modifiers_);
                    Settle(false);
                    return;
                }
                OnReply(bus_.asyncCall(Call(QStringLiteral("getComponent"), {kComponent})),
                        [this](const QDBusMessage& component) {
                            WatchComponent(
                                component.arguments().value(0).value<QDBusObjectPath>().path());
                        });
            });
}

void KGlobalAccelHotKeyService::WatchComponent(const QString& path) {
    if (!path.isEmpty() &&
        bus_.connect(kAnySender, path, kComponentInterface, QStringLiteral("globalShortcutPressed"),
                     this, SLOT(ShortcutPressed(QDBusMessage)))) {
        component_ = path;
        Settle(true);
        return;
    }
    Settle(false);
}

void KGlobalAccelHotKeyService::Unregister() {
    ++generation_;
    if (!component_.isEmpty()) {
        bus_.disconnect(kAnySender, component_, kComponentInterface,
                        QStringLiteral("globalShortcutPressed"), this,
                        SLOT(ShortcutPressed(QDBusMessage)));
        component_.clear();
    }
    if (registered_) {
        // The action stays known to the desktop's settings, without a key that reaches us.
        bus_.asyncCall(Call(QStringLiteral("setInactive"), {ActionId()}));
        registered_ = false;
    }
}

void KGlobalAccelHotKeyService::ShortcutPressed(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.value(0).toString() != kComponent || arguments.value(1).toString() != kAction)
        return;
    if (OnHotKey)
        OnHotKey(virtualKey_, modifiers_);
}

void KGlobalAccelHotKeyService::OnReply(const QDBusPendingCall& call,
                                        std::function<void(const QDBusMessage&)> next) {
    WhenAnswered(
        this, call, generation_, [this] { Settle(false); }, std::move(next));
}

void KGlobalAccelHotKeyService::Settle(bool bound) {
    if (!bound)
        Unregister();
    if (OnSettled)
        OnSettled(bound);
}

}  // namespace kestrel
