// The hot key as a passive key grab on the X11 root window.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QTimer>
#include <QVector>

#include "platform/hotkey.h"

namespace kestrel {

// The X11 keysym of a Windows virtual-key code; 0 for a code without one.
quint32 KeysymForVirtualKey(quint16 virtualKey);

// Needs a QGuiApplication on the xcb platform; on any other platform every Register fails.
// Events are read from Qt's own connection, so presses arrive on the GUI thread. A grab is by
// key code: when the keyboard mapping changes (another layout, a new keyboard) the grab is
// given back and the key is taken again wherever it now is.
class X11HotKeyService : public IHotKeyService, private QAbstractNativeEventFilter {
public:
    X11HotKeyService();
    ~X11HotKeyService() override;
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    bool Register(quint16 modifiers, quint16 virtualKey) override;
    void Unregister() override;
    bool KeyIsDesktopWide() const override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Grabs the wanted key; false when it has no key code or another client holds it.
    bool Grab(bool& refused);
    void ReleaseGrabs();
    void Regrab();
    bool KeyboardChanged(const void* event) const;

    QTimer regrab_;      // a layout switch sends a burst of events: one grab after the last
    int xkbEvent_ = -1;  // first event code of the XKEYBOARD extension, -1 without it
    quint16 virtualKey_ = 0;
    quint16 modifiers_ = 0;
    quint16 x11Modifiers_ = 0;
    QVector<quint8> keycodes_;  // every keycode that carries the keysym, all grabbed
};

}  // namespace kestrel
