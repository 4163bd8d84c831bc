#include "settings/hotkeytext.h"

#include <QStringView>

namespace kestrel {

namespace {

struct Named {
    quint8 key;
    const char* name;
};

// Keys whose names are not simply a digit, a letter or Fn.
constexpr Named kKeyNames[] = {
    {VK_BACK, "BkSp"},
    {VK_TAB, "Tab"},
    {VK_CLEAR, "Clear"},
    {VK_RETURN, "Enter"},
    {VK_PAUSE, "Pause"},
    {VK_CAPITAL, "Caps Lock"},
    {VK_ESCAPE, "Esc"},
    {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"},
    {VK_NEXT, "PgDn"},
    {VK_END, "End"},
    {VK_HOME, "Home"},
    {VK_LEFT, "Left"},
    {VK_UP, "Up"},
    {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"},
    {VK_SNAPSHOT, "Print Screen"},
    {VK_INSERT, "Ins"},
    {VK_DELETE, "Del"},
    {VK_APPS, "Menu"},
    {VK_MULTIPLY, "Num *"},
    {VK_ADD, "Num +"},
    {VK_SUBTRACT, "Num -"},
    {VK_DECIMAL, "Num ."},
    {VK_DIVIDE, "Num /"},
    {VK_NUMLOCK, "Num Lock"},
    {VK_SCROLL, "Scroll Lock"},
    {VK_OEM_1, ";"},
    {VK_OEM_PLUS, "="},
    {VK_OEM_COMMA, ","},
    {VK_OEM_MINUS, "-"},
    {VK_OEM_PERIOD, "."},
    {VK_OEM_2, "/"},
    {VK_OEM_3, "`"},
    {VK_OEM_4, "["},
    {VK_OEM_5, "\\"},
    {VK_OEM_6, "]"},
    {VK_OEM_7, "'"},
    {0xE2, "<"},  // the extra key beside left Shift on 102-key boards
};

struct Prefix {
    const char16_t* text;
    quint16 mask;
};

constexpr Prefix kPrefixes[] = {
    {u"Shift+", kShiftMask},
    {u"Ctrl+", kCtrlMask},
    {u"^", kCtrlMask},
    {u"Alt+", kAltMask},
};

}  // namespace

QString KeyName(quint8 virtualKey) {
    if ((virtualKey >= VK_0 && virtualKey <= VK_0 + 9) ||
        (virtualKey >= VK_A && virtualKey <= VK_A + 25)) {
        return QString(QChar(virtualKey));
    }
    if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD0 + 9) {
        return QString(QChar(VK_0 + virtualKey - VK_NUMPAD0));
    }
    if (virtualKey >= VK_F1 && virtualKey <= VK_F24) {
        return QStringLiteral("F%1").arg(virtualKey - VK_F1 + 1);
    }
    for (const Named& k : kKeyNames) {
        if (k.key == virtualKey)
            return QString::fromLatin1(k.name);
    }
    return {};
}

QString ShortCutToText(quint16 shortcut) {
    const QString name = KeyName(static_cast<quint8>(shortcut & 0xFF));
    if (name.isEmpty())
        return {};
    QString text;
    if (shortcut & kShiftMask)
        text += QStringLiteral("Shift+");
    if (shortcut & kCtrlMask)
        text += QStringLiteral("Ctrl+");
    if (shortcut & kAltMask)
        text += QStringLiteral("Alt+");
    return text + name;
}

quint16 TextToShortCut(const QString& text) {
    QStringView rest(text);
    quint16 modifiers = 0;
    for (bool found = true; found;) {
        found = false;
        for (const Prefix& p : kPrefixes) {
            const QStringView prefix(p.text);
            if (rest.startsWith(prefix, Qt::CaseInsensitive)) {
                modifiers |= p.mask;
                rest = rest.sliced(prefix.size());
                found = true;
            }
        }
    }
    if (rest.isEmpty())
        return 0;
    for (int key = 8; key <= 255; ++key) {
        const QString name = KeyName(static_cast<quint8>(key));
        if (!name.isEmpty() && rest.compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<quint16>(modifiers | key);
        }
    }
    return 0;
}

HotKeyRegistration HotKeyValues(quint16 shortcut) {
    HotKeyRegistration reg;
    if (shortcut & kShiftMask)
        reg.Modifiers |= MOD_SHIFT;
    if (shortcut & kCtrlMask)
        reg.Modifiers |= MOD_CONTROL;
    if (shortcut & kAltMask)
        reg.Modifiers |= MOD_ALT;
    reg.VirtualKey = shortcut & 0xFF;
    return reg;
}

bool IsGlobalHotKey(quint16 shortcut) {
    const quint8 key = shortcut & 0xFF;
    if (key == 0 || KeyName(key).isEmpty())
        return false;
    if (shortcut & (kCtrlMask | kAltMask))
        return true;
    return (key >= VK_F1 && key <= VK_F1 + 23) || key == VK_PAUSE || key == VK_SNAPSHOT ||
           key == VK_SCROLL;
}

}  // namespace kestrel
