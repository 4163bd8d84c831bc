// The hot key through KDE's global shortcut service, where one runs: on Plasma's Wayland
// session the compositor passes keys to it and to no one else.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

#include "platform/hotkey.h"

class QDBusMessage;
class QDBusPendingCall;

namespace kestrel {

// Asynchronous throughout. Only a service that is already running is used: asking for it by
// name would start KDE's daemon on another desktop, where it has no keys to give.
class KGlobalAccelHotKeyService : public QObject, public IHotKeyService {
    Q_OBJECT
public:
    explicit KGlobalAccelHotKeyService(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~KGlobalAccelHotKeyService() override;
    KGlobalAccelHotKeyService(const KGlobalAccelHotKeyService&) = delete;
    KGlobalAccelHotKeyService& operator=(const KGlobalAccelHotKeyService&) = delete;

    // True once the service has been asked; OnSettled(false) follows when none runs, or it
    // gave the key to another action. A key held elsewhere is also reported by OnRefused.
    bool Register(quint16 modifiers, quint16 virtualKey) override;
    void Unregister() override;
    bool AnswersLater() const override { return true; }

private slots:
    void ShortcutPressed(const QDBusMessage& message);

private:
    QDBusMessage Call(const QString& method, const QVariantList& arguments) const;
    void SetShortcut();
    void WatchComponent(const QString& path);
    void OnReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> next);
    void Settle(bool bound);

    QDBusConnection bus_;
    unsigned generation_ = 0;
    quint16 modifiers_ = 0;
    quint16 virtualKey_ = 0;
    int key_ = 0;
    QString component_;  // the component's object path while the key is ours
    bool registered_ = false;
};

}  // namespace kestrel
