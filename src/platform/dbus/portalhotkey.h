// The hot key through the desktop portal's global shortcuts. On Wayland the desktop owns every
// key: the program asks for one and the user confirms it in the desktop's own dialog.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

#include "platform/hotkey.h"

class QDBusMessage;
class QDBusPendingCall;

namespace kestrel {

// Everything is asynchronous: nothing here waits on the bus, and the user may take their time
// over the dialog. A later Register or Unregister makes every answer still on its way moot.
class PortalHotKeyService : public QObject, public IHotKeyService {
    Q_OBJECT
public:
    explicit PortalHotKeyService(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~PortalHotKeyService() override;
    PortalHotKeyService(const PortalHotKeyService&) = delete;
    PortalHotKeyService& operator=(const PortalHotKeyService&) = delete;

    // True once the portal has been asked; OnSettled(false) follows when the running portal
    // has no global shortcuts, fails, or the user turns the key down.
    bool Register(quint16 modifiers, quint16 virtualKey) override;
    void Unregister() override;
    bool AnswersLater() const override { return true; }

private slots:
    void RequestAnswered(const QDBusMessage& message);
    void ShortcutActivated(const QDBusMessage& message);

private:
    using Answer = std::function<void(uint response, const QVariantMap& results)>;

    void CreateSession();
    void BindShortcut();
    // Calls a portal method whose result comes later as the Response of a request object.
    void Ask(const QString& method, const QVariantList& arguments, const QString& token,
             Answer answer);
    void OnReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> next);
    void ListenForResponse(const QString& requestPath);
    void Settle(bool bound);
    QString NextToken();

    QDBusConnection bus_;
    unsigned generation_ = 0;
    unsigned tokens_ = 0;
    quint16 modifiers_ = 0;
    quint16 virtualKey_ = 0;
    QString trigger_;
    QString session_;      // the open session's object path; empty without one
    QString requestPath_;  // the request whose Response is awaited
    Answer answer_;
    bool listening_ = false;  // for Activated
};

}  // namespace kestrel
