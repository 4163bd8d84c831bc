// A notification service for tests: keeps every message it is handed and shows none.
#pragma once

#include <QList>
#include <QString>

#include "platform/notifier.h"

namespace kestrel {

class FakeNotifier : public INotifier {
public:
    struct Message {
        QString Summary;
        QString Body;
        NotifyUrgency Urgency;
        QList<NotifyAction> Actions;
    };

    // Answers from the event loop, as the service does.
    void Notify(const QString& summary, const QString& body, NotifyUrgency urgency,
                const QList<NotifyAction>& actions, Done done) override;

    QList<Message> Messages;
};

}  // namespace kestrel
