#include "platform/fake/fakenotifier.h"

#include <QCoreApplication>
#include <QTimer>

namespace kestrel {

void FakeNotifier::Notify(const QString& summary, const QString& body, NotifyUrgency urgency,
                          const QList<NotifyAction>& actions, Done done) {
    Messages.append({summary, body, urgency, actions});
    const auto id = static_cast<quint32>(Messages.size());
    QTimer::singleShot(0, QCoreApplication::instance(), [done = std::move(done), id] {
        if (done)
            done(true, id);
    });
}

}  // namespace kestrel
