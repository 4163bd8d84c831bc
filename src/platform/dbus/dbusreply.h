// Waiting for a D-Bus answer without blocking: the desktop services may take their time.
#pragma once

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include <functional>

namespace kestrel {

// Calls next with the reply of call, or failed if the call ends in an error. An answer that
// arrives after the owner has started over (its generation counter moved on) is dropped: it
// belongs to a registration that no longer exists. The owner outlives the wait, since the
// watcher is its child.
inline void WhenAnswered(QObject* owner, const QDBusPendingCall& call, const unsigned& generation,
                         std::function<void()> failed,
                         std::function<void(const QDBusMessage&)> next) {
    auto* watcher = new QDBusPendingCallWatcher(call, owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [&generation, asked = generation, failed = std::move(failed),
                      next = std::move(next)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (asked != generation)
                             return;
                         if (finished->isError()) {
                             failed();
                             return;
                         }
                         next(finished->reply());
                     });
}

}  // namespace kestrel
