// The global hot key that shows or hides the window from any application.
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

namespace kestrel {

// Modifier bits of a registration, the values the settings have always been converted to.
inline constexpr quint16 kModAlt = 1;
inline constexpr quint16 kModControl = 2;
inline constexpr quint16 kModShift = 4;

class IHotKeyService {
public:
    virtual ~IHotKeyService();
    // Takes the key (a Windows virtual-key code) with exactly these modifiers for this process,
    // replacing any key registered before. Returns false, and shows nothing, when the key cannot
    // be had: another client holds it, the code has no key on this keyboard, or the desktop
    // offers no global keys at all (Wayland, no X11 connection).
    virtual bool Register(quint16 modifiers, quint16 virtualKey) = 0;
    // Gives the key back; harmless when none is registered.
    virtual void Unregister() = 0;
    // Whether a true from Register only means the desktop has been asked (see OnSettled).
    virtual bool AnswersLater() const { return false; }
    // Whether the key held reaches the program whichever window has the focus; an X11 grab in a
    // Wayland session sees the key only while an X11 window has it.
    virtual bool KeyIsDesktopWide() const { return true; }

    // A press of the registered key, with its modifiers; the state of Num Lock and Caps Lock is
    // not part of it.
    std::function<void(quint16 virtualKey, quint16 modifiers)> OnHotKey;
    // Another client holds the key: from Register, and whenever the key is taken again after
    // the keyboard changed.
    std::function<void(quint16 virtualKey, quint16 modifiers)> OnRefused;
    // Services that have to ask the desktop answer later: their Register returns true once the
    // question is on its way, and this tells whether the key was had in the end. Services that
    // know at once never call it.
    std::function<void(bool bound)> OnSettled;
};

// The key as the desktop's shortcut settings name it: "CTRL+ALT+q", "SHIFT+F8" (modifiers, then
// the XKB keysym name of the key on a US layout); empty for a code without a key.
QString DesktopTrigger(quint16 modifiers, quint16 virtualKey);
// The key as a Qt key code with its modifier bits (Qt::Key | Qt::KeyboardModifier); 0 for a
// code without a key. Keys of the numeric keypad carry Qt::KeypadModifier.
int QtKeyCode(quint16 modifiers, quint16 virtualKey);

}  // namespace kestrel
