#include "platform/hotkey.h"

#include <array>

namespace kestrel {

IHotKeyService::~IHotKeyService() = default;

namespace {

constexpr int kKeypad = Qt::KeypadModifier;

struct DesktopKey {
    quint16 firstVirtualKey;
    quint16 lastVirtualKey;
    const char* name;  // of the first key; nullptr where the names are numbered or lettered
    int qtKey;         // of the first key; the keys of a range follow on
};

// The same keys as the X11 grab knows them, named as XKB names their keysyms.
constexpr std::array kDesktopKeys{
    DesktopKey{0x08, 0x08, "BackSpace", Qt::Key_Backspace},
    DesktopKey{0x09, 0x09, "Tab", Qt::Key_Tab},
    DesktopKey{0x0D, 0x0D, "Return", Qt::Key_Return},
    DesktopKey{0x13, 0x13, "Pause", Qt::Key_Pause},
    DesktopKey{0x1B, 0x1B, "Escape", Qt::Key_Escape},
    DesktopKey{0x20, 0x20, "space", Qt::Key_Space},
    DesktopKey{0x21, 0x21, "Prior", Qt::Key_PageUp},
    DesktopKey{0x22, 0x22, "Next", Qt::Key_PageDown},
    DesktopKey{0x23, 0x23, "End", Qt::Key_End},
    DesktopKey{0x24, 0x24, "Home", Qt::Key_Home},
    DesktopKey{0x25, 0x25, "Left", Qt::Key_Left},
    DesktopKey{0x26, 0x26, "Up", Qt::Key_Up},
    DesktopKey{0x27, 0x27, "Right", Qt::Key_Right},
    DesktopKey{0x28, 0x28, "Down", Qt::Key_Down},
    DesktopKey{0x2C, 0x2C, "Print", Qt::Key_Print},
    DesktopKey{0x2D, 0x2D, "Insert", Qt::Key_Insert},
    DesktopKey{0x2E, 0x2E, "Delete", Qt::Key_Delete},
    DesktopKey{0x30, 0x39, nullptr, Qt::Key_0},
    DesktopKey{0x41, 0x5A, nullptr, Qt::Key_A},
    DesktopKey{0x60, 0x69, nullptr, kKeypad | Qt::Key_0},
    DesktopKey{0x6A, 0x6A, "KP_Multiply", kKeypad | Qt::Key_Asterisk},
    DesktopKey{0x6B, 0x6B, "KP_Add", kKeypad | Qt::Key_Plus},
    DesktopKey{0x6C, 0x6C, "KP_Separator", kKeypad | Qt::Key_Comma},
    DesktopKey{0x6D, 0x6D, "KP_Subtract", kKeypad | Qt::Key_Minus},
    DesktopKey{0x6E, 0x6E, "KP_Decimal", kKeypad | Qt::Key_Period},
    DesktopKey{0x6F, 0x6F, "KP_Divide", kKeypad | Qt::Key_Slash},
    DesktopKey{0x70, 0x87, nullptr, Qt::Key_F1},
    DesktopKey{0x91, 0x91, "Scroll_Lock", Qt::Key_ScrollLock},
    DesktopKey{0xBA, 0xBA, "semicolon", Qt::Key_Semicolon},
    DesktopKey{0xBB, 0xBB, "equal", Qt::Key_Equal},
    DesktopKey{0xBC, 0xBC, "comma", Qt::Key_Comma},
    DesktopKey{0xBD, 0xBD, "minus", Qt::Key_Minus},
    DesktopKey{0xBE, 0xBE, "period", Qt::Key_Period},
    DesktopKey{0xBF, 0xBF, "slash", Qt::Key_Slash},
    DesktopKey{0xC0, 0xC0, "grave", Qt::Key_QuoteLeft},
    DesktopKey{0xDB, 0xDB, "bracketleft", Qt::Key_BracketLeft},
    DesktopKey{0xDC, 0xDC, "backslash", Qt::Key_Backslash},
    DesktopKey{0xDD, 0xDD, "bracketright", Qt::Key_BracketRight},
    DesktopKey{0xDE, 0xDE, "apostrophe", Qt::Key_Apostrophe},
};

const DesktopKey* FindKey(quint16 virtualKey) {
    for (const DesktopKey& key : kDesktopKeys) {
        if (virtualKey >= key.firstVirtualKey && virtualKey <= key.lastVirtualKey)
            return &key;
    }
    return nullptr;
}

QString KeysymName(const DesktopKey& key, quint16 virtualKey) {
    const int offset = virtualKey - key.firstVirtualKey;
    if (key.name)
        return QString::fromLatin1(key.name);
    switch (key.firstVirtualKey) {
        case 0x30:
            return QString(QChar(u'0' + offset));
        case 0x41:
            return QString(QChar(u'a' + offset));
        case 0x60:
            return QStringLiteral("KP_%1").arg(offset);
        default:
            return QStringLiteral("F%1").arg(offset + 1);
    }
}

}  // namespace

QString DesktopTrigger(quint16 modifiers, quint16 virtualKey) {
    const DesktopKey* key = FindKey(virtualKey);
    if (!key)
        return {};
    QString trigger;
    if (modifiers & kModControl)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & kModAlt)
        trigger += QStringLiteral("ALT+");
    if (modifiers & kModShift)
        trigger += QStringLiteral("SHIFT+");
    return trigger + KeysymName(*key, virtualKey);
}

int QtKeyCode(quint16 modifiers, quint16 virtualKey) {
    const DesktopKey* key = FindKey(virtualKey);
    if (!key)
        return 0;
    int code = key->qtKey + (virtualKey - key->firstVirtualKey);
    if (modifiers & kModShift)
        code |= int(Qt::ShiftModifier);
    if (modifiers & kModControl)
        code |= int(Qt::ControlModifier);
    if (modifiers & kModAlt)
        code |= int(Qt::AltModifier);
    return code;
}

}  // namespace kestrel
