#include "settings/keycodes.h"

#include "settings/hotkeytext.h"

namespace kestrel {

namespace {

// Shifted symbols of a US keyboard and the key that gives them: a hot key is a key, not a
// character, so Shift+1 is stored as Shift+1 whatever Qt calls the character.
struct SymbolKey {
    int key;
    quint8 virtualKey;
};
constexpr SymbolKey kSymbolKeys[] = {
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'},
    {Qt::Key_Semicolon, VK_OEM_1},
    {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
};

quint8 VirtualKeyOf(int key, bool keypad) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<quint8>(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<quint8>(keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<quint8>(VK_F1 + (key - Qt::Key_F1));
    if (keypad) {
        switch (key) {
            case Qt::Key_Asterisk:
                return VK_MULTIPLY;
            case Qt::Key_Plus:
                return VK_ADD;
            case Qt::Key_Minus:
                return VK_SUBTRACT;
            case Qt::Key_Period:
                return VK_DECIMAL;
            case Qt::Key_Slash:
                return VK_DIVIDE;
            default:
                break;
        }
    }
    switch (key) {
        case Qt::Key_Backspace:
            return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_PageUp:
            return VK_PRIOR;
        case Qt::Key_PageDown:
            return VK_NEXT;
        case Qt::Key_End:
            return VK_END;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_Insert:
            return VK_INSERT;
        case Qt::Key_Delete:
            return VK_DELETE;
        case Qt::Key_Pause:
            return VK_PAUSE;
        case Qt::Key_Print:
            return VK_SNAPSHOT;
        case Qt::Key_Clear:
            return VK_CLEAR;
        case Qt::Key_Menu:
            return VK_APPS;
        case Qt::Key_ScrollLock:
            return VK_SCROLL;
        case Qt::Key_Asterisk:
            return '8';
        case Qt::Key_Plus:
            return VK_OEM_PLUS;
        case Qt::Key_Minus:
            return VK_OEM_MINUS;
        case Qt::Key_Period:
            return VK_OEM_PERIOD;
        case Qt::Key_Slash:
            return VK_OEM_2;
        default:
            break;
    }
    for (const SymbolKey& s : kSymbolKeys) {
        if (s.key == key)
            return s.virtualKey;
    }
    return 0;
}

}  // namespace

quint16 ShortCutOfKey(int key, Qt::KeyboardModifiers modifiers) {
    // The shortcut value has no room for the Super key; a key with it is refused rather than
    // stored as another key.
    if (modifiers & Qt::MetaModifier)
        return 0;
    const quint8 virtualKey = VirtualKeyOf(key, modifiers & Qt::KeypadModifier);
    if (virtualKey == 0 || KeyName(virtualKey).isEmpty())
        return 0;
    quint16 shortcut = virtualKey;
    if (modifiers & Qt::ShiftModifier || key == Qt::Key_Backtab)
        shortcut |= kShiftMask;
    if (modifiers & Qt::ControlModifier)
        shortcut |= kCtrlMask;
    if (modifiers & Qt::AltModifier)
        shortcut |= kAltMask;
    return shortcut;
}

}  // namespace kestrel
