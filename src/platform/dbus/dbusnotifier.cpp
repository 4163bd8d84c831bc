#include "platform/dbus/dbusnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QMetaObject>
#include <QVariantMap>

#include "platform/logging.h"

namespace kestrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

DBusNotifier::DBusNotifier(const QDBusConnection& bus, std::chrono::milliseconds timeout)
    : bus_(bus), timeoutMs_(static_cast<int>(timeout.count())) {
    if (!bus_.isConnected())
        return;
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(ActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(NotificationClosed(uint, uint)));
}

void DBusNotifier::Notify(const QString& summary, const QString& body, NotifyUrgency urgency,
                          const QList<NotifyAction>& actions, Done done) {
    if (!bus_.isConnected()) {
        qCWarning(lcPlatform) << "No session bus for the notification:" << summary;
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(false, 0); }, Qt::QueuedConnection);
        return;
    }
    QStringList actionList;
    for (const NotifyAction& action : actions)
        actionList << action.Key << action.Label;
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(urgency))},
        {QStringLiteral("desktop-entry"), QStringLiteral("org.example.kestrel")}};
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Kestrel") << 0u << QStringLiteral("kestrel") << summary << body
         << actionList << hints << -1;

    // A finished call (the bus refused at once) still reports through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, timeoutMs_), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                if (finished->isError() || reply.arguments().isEmpty()) {
                    qCWarning(lcPlatform).noquote() << "The notification" << summary
                                                    << "was not shown:" << finished->error().name()
                                                    << finished->error().message();
                    done(false, 0);
                    return;
                }
                const quint32 id = reply.arguments().first().toUInt();
                shown_.insert(id);
                done(true, id);
            });
}

void DBusNotifier::ActionInvoked(uint id, const QString& key) {
    if (!shown_.contains(id) || !OnActionInvoked)
        return;
    OnActionInvoked(this, id, key);
}

void DBusNotifier::NotificationClosed(uint id, uint) {
    shown_.remove(id);
}

}  // namespace kestrel
