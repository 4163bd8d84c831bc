#include "platform/x11/x11hotkey.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <array>
#include <cstdlib>
#include <memory>

namespace kestrel {

namespace {

struct KeyRange {
    quint16 firstVirtualKey;
    quint16 lastVirtualKey;
    quint32 firstKeysym;
};

// Windows virtual-key codes and the X11 keysyms of the same keys. Letters map to the lower-case
// keysym: that is the one on the key's first level, so the keycode lookup finds the key.
constexpr std::array kKeyRanges{
    KeyRange{0x08, 0x08, 0xff08},  // VK_BACK        BackSpace
    KeyRange{0x09, 0x09, 0xff09},  // VK_TAB         Tab
    KeyRange{0x0D, 0x0D, 0xff0d},  // VK_RETURN      Return
    KeyRange{0x13, 0x13, 0xff13},  // VK_PAUSE       Pause
    KeyRange{0x1B, 0x1B, 0xff1b},  // VK_ESCAPE      Escape
    KeyRange{0x20, 0x20, 0x0020},  // VK_SPACE       space
    KeyRange{0x21, 0x21, 0xff55},  // VK_PRIOR       Prior (Page Up)
    KeyRange{0x22, 0x22, 0xff56},  // VK_NEXT        Next (Page Down)
    KeyRange{0x23, 0x23, 0xff57},  // VK_END         End
    KeyRange{0x24, 0x24, 0xff50},  // VK_HOME        Home
    KeyRange{0x25, 0x28, 0xff51},  // VK_LEFT..DOWN  Left, Up, Right, Down
    KeyRange{0x2C, 0x2C, 0xff61},  // VK_SNAPSHOT    Print
    KeyRange{0x2D, 0x2D, 0xff63},  // VK_INSERT      Insert
    KeyRange{0x2E, 0x2E, 0xffff},  // VK_DELETE      Delete
    KeyRange{0x30, 0x39, 0x0030},  // '0'..'9'
    KeyRange{0x41, 0x5A, 0x0061},  // 'A'..'Z'       a..z
    KeyRange{0x60, 0x69, 0xffb0},  // VK_NUMPAD0..9  KP_0..KP_9
    KeyRange{0x6A, 0x6A, 0xffaa},  // VK_MULTIPLY    KP_Multiply
    KeyRange{0x6B, 0x6B, 0xffab},  // VK_ADD         KP_Add
    KeyRange{0x6C, 0x6C, 0xffac},  // VK_SEPARATOR   KP_Separator
    KeyRange{0x6D, 0x6D, 0xffad},  // VK_SUBTRACT    KP_Subtract
    KeyRange{0x6E, 0x6E, 0xffae},  // VK_DECIMAL     KP_Decimal
    KeyRange{0x6F, 0x6F, 0xffaf},  // VK_DIVIDE      KP_Divide
    KeyRange{0x70, 0x87, 0xffbe},  // VK_F1..VK_F24  F1..F24
    KeyRange{0x91, 0x91, 0xff14},  // VK_SCROLL      Scroll_Lock
    KeyRange{0xBA, 0xBA, 0x003b},  // VK_OEM_1       semicolon
    KeyRange{0xBB, 0xBB, 0x003d},  // VK_OEM_PLUS    equal (the key of '+')
    KeyRange{0xBC, 0xBC, 0x002c},  // VK_OEM_COMMA   comma
    KeyRange{0xBD, 0xBD, 0x002d},  // VK_OEM_MINUS   minus
    KeyRange{0xBE, 0xBE, 0x002e},  // VK_OEM_PERIOD  period
    KeyRange{0xBF, 0xBF, 0x002f},  // VK_OEM_2       slash
    KeyRange{0xC0, 0xC0, 0x0060},  // VK_OEM_3       grave
    KeyRange{0xDB, 0xDB, 0x005b},  // VK_OEM_4       bracketleft
    KeyRange{0xDC, 0xDC, 0x005c},  // VK_OEM_5       backslash
    KeyRange{0xDD, 0xDD, 0x005d},  // VK_OEM_6       bracketright
    KeyRange{0xDE, 0xDE, 0x0027},  // VK_OEM_7       apostrophe
};

// The lock keys change the modifier state of every press; grabbing each combination of them
// keeps the hot key working whatever their state.
constexpr std::array<quint16, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                               XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

quint16 X11Modifiers(quint16 modifiers) {
    quint16 mask = 0;
    if (modifiers & kModShift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & kModControl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & kModAlt)
        mask |= XCB_MOD_MASK_1;
    return mask;
}

struct X11Display {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
};

// Qt's connection, or nothing when the application does not run on X11.
X11Display CurrentDisplay() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return {};
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return {};
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup);
    if (!screen.rem)
        return {};
    return {connection, screen.data->root};
}

}  // namespace

quint32 KeysymForVirtualKey(quint16 virtualKey) {
    for (const KeyRange& range : kKeyRanges) {
        if (virtualKey >= range.firstVirtualKey && virtualKey <= range.lastVirtualKey)
            return range.firstKeysym + (virtualKey - range.firstVirtualKey);
    }
    return 0;
}

X11HotKeyService::X11HotKeyService() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
    regrab_.setSingleShot(true);
    regrab_.setInterval(100);
    QObject::connect(&regrab_, &QTimer::timeout, &regrab_, [this] { Regrab(); });
    const X11Display display = CurrentDisplay();
    if (display.connection) {
        const char name[] = "XKEYBOARD";
        const std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> xkb(
            xcb_query_extension_reply(
                display.connection, xcb_query_extension(display.connection, sizeof name - 1, name),
                nullptr),
            &std::free);
        if (xkb && xkb->present)
            xkbEvent_ = xkb->first_event;
    }
}

X11HotKeyService::~X11HotKeyService() {
    Unregister();
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool X11HotKeyService::Register(quint16 modifiers, quint16 virtualKey) {
    ReleaseGrabs();
    virtualKey_ = virtualKey;
    modifiers_ = modifiers;
    x11Modifiers_ = X11Modifiers(modifiers);
    bool refused = false;
    if (Grab(refused))
        return true;
    if (refused && OnRefused)
        OnRefused(virtualKey, modifiers);
    return false;
}

bool X11HotKeyService::Grab(bool& refused) {
    refused = false;
    const X11Display display = CurrentDisplay();
    const quint32 keysym = KeysymForVirtualKey(virtualKey_);
    if (!display.connection || keysym == 0)
        return false;

    const std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(display.connection), &xcb_key_symbols_free);
    const std::unique_ptr<xcb_keycode_t, decltype(&std::free)> found(
        xcb_key_symbols_get_keycode(symbols.get(), keysym), &std::free);
    QVector<quint8> keycodes;
    for (const xcb_keycode_t* code = found.get(); code && *code != XCB_NO_SYMBOL; ++code) {
        if (!keycodes.contains(*code))
            keycodes.append(*code);
    }
    if (keycodes.isEmpty())
        return false;

    // Send every grab first and check them afterwards: one round trip instead of one per grab.
    QVector<xcb_void_cookie_t> cookies;
    for (const quint8 keycode : keycodes) {
        for (const quint16 lock : kLockVariants) {
            cookies.append(xcb_grab_key_checked(display.connection, 1, display.root,
                                                x11Modifiers_ | lock, keycode, XCB_GRAB_MODE_ASYNC,
                                                XCB_GRAB_MODE_ASYNC));
        }
    }
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(display.connection, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    keycodes_ = keycodes;
    if (refused) {
        // Another client holds some combination: a key that works only with some lock states
        // would be worse than none, so the grabs that succeeded are given back too.
        ReleaseGrabs();
        return false;
    }
    return true;
}

bool X11HotKeyService::KeyIsDesktopWide() const {
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void X11HotKeyService::Unregister() {
    ReleaseGrabs();
    regrab_.stop();
    virtualKey_ = modifiers_ = x11Modifiers_ = 0;
}

void X11HotKeyService::ReleaseGrabs() {
    if (keycodes_.isEmpty())
        return;
    const X11Display display = CurrentDisplay();
    if (display.connection) {
        for (const quint8 keycode : std::as_const(keycodes_)) {
            for (const quint16 lock : kLockVariants)
                xcb_ungrab_key(display.connection, keycode, display.root, x11Modifiers_ | lock);
        }
        xcb_flush(display.connection);
    }
    keycodes_.clear();
}

void X11HotKeyService::Regrab() {
    // Also a key refused before: the client that held it may have gone with the old keyboard.
    if (virtualKey_ == 0)
        return;
    ReleaseGrabs();
    bool refused = false;
    if (!Grab(refused) && refused && OnRefused)
        OnRefused(virtualKey_, modifiers_);
}

bool X11HotKeyService::KeyboardChanged(const void* message) const {
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const int type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = static_cast<const xcb_mapping_notify_event_t*>(message);
        return mapping->request == XCB_MAPPING_KEYBOARD;
    }
    // XKEYBOARD events carry their kind in the second byte; 0 is a new keyboard, 1 a new
    // mapping (what a layout switch with setxkbmap sends).
    const auto* bytes = static_cast<const quint8*>(message);
    return xkbEvent_ >= 0 && type == xkbEvent_ && bytes[1] <= 1;
}

bool X11HotKeyService::nativeEventFilter(const QByteArray& eventType, void* message,
                                         qintptr* /*result*/) {
    if (virtualKey_ == 0 || eventType != "xcb_generic_event_t")
        return false;
    if (KeyboardChanged(message)) {
        regrab_.start();
        return false;  // Qt reads the new keyboard too
    }
    if (keycodes_.isEmpty())
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    const quint16 state =
        press->state & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    if (!keycodes_.contains(press->detail) || state != x11Modifiers_)
        return false;
    if (OnHotKey)
        OnHotKey(virtualKey_, modifiers_);
    return true;
}

}  // namespace kestrel
