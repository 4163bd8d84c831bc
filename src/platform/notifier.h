// Desktop notifications: a short message in the desktop's own pop-up, with buttons.
#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace kestrel {

enum class NotifyUrgency : quint8 { Low = 0, Normal = 1, Critical = 2 };

struct NotifyAction {
    QString Key;    // comes back in OnActionInvoked; "default" is a click on the message itself
    QString Label;  // the button's text
};

class INotifier {
public:
    virtual ~INotifier() = default;

    // id: the service's number of the message shown, 0 when it failed.
    using Done = std::function<void(bool shown, quint32 id)>;

    // Hands the message to the notification service and returns at once; done follows from the
    // event loop (never from inside Notify) once the service has taken it, or has failed to:
    // with no service running that is soon, never after a wait on anything.
    virtual void Notify(const QString& summary, const QString& body, NotifyUrgency urgency,
                        const QList<NotifyAction>& actions, Done done) = 0;

    // The user chose an action of a message this notifier showed (sender first).
    std::function<void(INotifier* sender, quint32 id, const QString& key)> OnActionInvoked;
};

}  // namespace kestrel
