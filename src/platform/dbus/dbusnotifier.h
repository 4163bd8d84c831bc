// Notifications through org.freedesktop.Notifications, the service that every desktop (and dunst,
// mako, ... on a bare window manager) runs on the session bus.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <chrono>

#include "platform/notifier.h"

namespace kestrel {

// Every message goes out as the program (app name "Kestrel", icon "kestrel", the desktop entry
// org.example.kestrel) with the urgency hint. Nothing waits on the bus: the answer comes back on
// the event loop, bounded by timeout when a service takes the call and never answers. A bus
// without the service answers at once that nobody owns the name. Lives on the GUI thread.
class DBusNotifier : public QObject, public INotifier {
    Q_OBJECT
public:
    explicit DBusNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));
    DBusNotifier(const DBusNotifier&) = delete;
    DBusNotifier& operator=(const DBusNotifier&) = delete;

    void Notify(const QString& summary, const QString& body, NotifyUrgency urgency,
                const QList<NotifyAction>& actions, Done done) override;

private slots:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    int timeoutMs_;
    QSet<quint32> shown_;  // messages of ours still open: actions of others' are not ours
};

}  // namespace kestrel
