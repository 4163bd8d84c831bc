// A hot-key service for tests: keys are "pressed" by the test.
#pragma once

#include <QList>

#include "platform/hotkey.h"

namespace kestrel {

class FakeHotKeyService : public IHotKeyService {
public:
    // Succeeds unless the combination is in Taken (held by another program): then OnRefused.
    bool Register(quint16 modifiers, quint16 virtualKey) override;
    void Unregister() override;
    bool KeyIsDesktopWide() const override { return DesktopWide; }

    // Delivers a press to OnHotKey as the desktop would: only while that key and modifiers
    // are registered. Returns whether it was delivered.
    bool Press(quint16 virtualKey, quint16 modifiers);
    // Delivers any press, registered or not, as a stray message would arrive.
    void Deliver(quint16 virtualKey, quint16 modifiers);

    bool IsRegistered() const { return registered_; }
    quint16 VirtualKey() const { return virtualKey_; }
    quint16 Modifiers() const { return modifiers_; }

    // Combinations another program holds, as (modifiers << 16 | virtual key).
    QList<quint32> Taken;
    int RegisterCalls = 0;
    // False plays an X11 grab on XWayland.
    bool DesktopWide = true;

private:
    bool registered_ = false;
    quint16 virtualKey_ = 0;
    quint16 modifiers_ = 0;
};

}  // namespace kestrel
