// Hot keys as the program stores them: a 16-bit shortcut value with the virtual-key code in the
// low byte and the modifier bits above it, and its text form such as "F8" or "Ctrl+Alt+Q".
// Key codes are those of a US keyboard layout; the X11 hot-key code maps them to keysyms.
#pragma once

#include <QString>
#include <QtGlobal>

namespace kestrel {

inline constexpr quint16 kShiftMask = 0x2000;
inline constexpr quint16 kCtrlMask = 0x4000;
inline constexpr quint16 kAltMask = 0x8000;

// Modifier bits of a hot-key registration.
inline constexpr quint16 MOD_ALT = 1;
inline constexpr quint16 MOD_CONTROL = 2;
inline constexpr quint16 MOD_SHIFT = 4;

// Virtual-key codes.
inline constexpr quint8 VK_BACK = 0x08;
inline constexpr quint8 VK_TAB = 0x09;
inline constexpr quint8 VK_CLEAR = 0x0C;
inline constexpr quint8 VK_RETURN = 0x0D;
inline constexpr quint8 VK_SHIFT = 0x10;
inline constexpr quint8 VK_CONTROL = 0x11;
inline constexpr quint8 VK_MENU = 0x12;
inline constexpr quint8 VK_PAUSE = 0x13;
inline constexpr quint8 VK_CAPITAL = 0x14;
inline constexpr quint8 VK_ESCAPE = 0x1B;
inline constexpr quint8 VK_SPACE = 0x20;
inline constexpr quint8 VK_PRIOR = 0x21;
inline constexpr quint8 VK_NEXT = 0x22;
inline constexpr quint8 VK_END = 0x23;
inline constexpr quint8 VK_HOME = 0x24;
inline constexpr quint8 VK_LEFT = 0x25;
inline constexpr quint8 VK_UP = 0x26;
inline constexpr quint8 VK_RIGHT = 0x27;
inline constexpr quint8 VK_DOWN = 0x28;
inline constexpr quint8 VK_SNAPSHOT = 0x2C;
inline constexpr quint8 VK_INSERT = 0x2D;
inline constexpr quint8 VK_DELETE = 0x2E;
inline constexpr quint8 VK_0 = 0x30;  // '0'..'9' are 0x30..0x39
inline constexpr quint8 VK_A = 0x41;  // 'A'..'Z' are 0x41..0x5A
inline constexpr quint8 VK_APPS = 0x5D;
inline constexpr quint8 VK_NUMPAD0 = 0x60;  // VK_NUMPAD0..VK_NUMPAD9 are 0x60..0x69
inline constexpr quint8 VK_MULTIPLY = 0x6A;
inline constexpr quint8 VK_ADD = 0x6B;
inline constexpr quint8 VK_SUBTRACT = 0x6D;
inline constexpr quint8 VK_DECIMAL = 0x6E;
inline constexpr quint8 VK_DIVIDE = 0x6F;
inline constexpr quint8 VK_F1 = 0x70;  // VK_F1..VK_F24 are 0x70..0x87
inline constexpr quint8 VK_F8 = 0x77;
inline constexpr quint8 VK_F24 = 0x87;
inline constexpr quint8 VK_NUMLOCK = 0x90;
inline constexpr quint8 VK_SCROLL = 0x91;
inline constexpr quint8 VK_OEM_1 = 0xBA;       // ;
inline constexpr quint8 VK_OEM_PLUS = 0xBB;    // =
inline constexpr quint8 VK_OEM_COMMA = 0xBC;   // ,
inline constexpr quint8 VK_OEM_MINUS = 0xBD;   // -
inline constexpr quint8 VK_OEM_PERIOD = 0xBE;  // .
inline constexpr quint8 VK_OEM_2 = 0xBF;       // /
inline constexpr quint8 VK_OEM_3 = 0xC0;       // `
inline constexpr quint8 VK_OEM_4 = 0xDB;       // [
inline constexpr quint8 VK_OEM_5 = 0xDC;       // backslash
inline constexpr quint8 VK_OEM_6 = 0xDD;       // ]
inline constexpr quint8 VK_OEM_7 = 0xDE;       // '

// The name of a key code ("F8", "PgUp", "Num *", ...); empty for codes without a name, such
// as the modifier keys themselves.
QString KeyName(quint8 virtualKey);

// "Shift+", "Ctrl+", "Alt+" (in that order, each when held) and the key's name; "" when the
// key has no name.
QString ShortCutToText(quint16 shortcut);

// Leading "Shift+", "Ctrl+" or "^", "Alt+" in any order and any case, then a key name (any
// case) matched against codes 8..255 in ascending order. No key, or an unknown name, gives 0.
quint16 TextToShortCut(const QString& text);

// Whether a key may serve as the global hot key: a global key takes every press away from every
// program, so a key that types something needs Ctrl or Alt. Keys that type nothing (F1-F24,
// Pause, Print, Scroll Lock) may stand alone or with Shift.
bool IsGlobalHotKey(quint16 shortcut);

struct HotKeyRegistration {
    quint16 Modifiers = 0;  // MOD_SHIFT | MOD_CONTROL | MOD_ALT
    quint16 VirtualKey = 0;

    bool operator==(const HotKeyRegistration&) const = default;
};

HotKeyRegistration HotKeyValues(quint16 shortcut);

}  // namespace kestrel
