#include "platform/x11/desktopwindowservices.h"

#include <xcb/xcb.h>

#include <QDesktopServices>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/x11/x11stacking.h"

namespace kestrel {

namespace {

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    // An atom stays what it is while the server runs: asked once, not at every showing.
    static QHash<QByteArray, xcb_atom_t> known;
    if (const auto found = known.constFind(name); found != known.cend())
        return *found;
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<quint16>(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    if (atom != XCB_ATOM_NONE)
        known.insert(name, atom);
    return atom;
}

// Sends a request about a client window to the window manager, as EWMH has it.
void SendToWindowManager(xcb_connection_t* connection, xcb_client_message_event_t& message) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// Asks the window manager to activate the window as a pager would. Qt sends the same request
// as an application, with the time of the last input event it has seen; a window manager that
// prevents focus stealing refuses that after a hot-key press, which Qt never sees.
void RequestActivation(const QWidget* window) {
    xcb_connection_t* connection = X11Connection();
    if (!connection)
        return;
    xcb_client_message_event_t message{};
    message.window = X11NativeWindow(window);
    message.type = InternAtom(connection, "_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;  // source: pager
    message.data.data32[1] = XCB_CURRENT_TIME;
    SendToWindowManager(connection, message);
}

// Adds "skip taskbar" and "skip pager" to the _NET_WM_STATE of a window that is about to be
// mapped; Qt merges its own states into the property as it maps the window. A window already
// mapped is also named in a request to the window manager, which no longer reads the property
// once it manages the window.
void SetSkipTaskbarState(xcb_window_t id, bool mapped) {
    xcb_connection_t* connection = X11Connection();
    if (!connection)
        return;
    const xcb_atom_t state = InternAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skips[] = {InternAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                InternAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    QList<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms = QList<xcb_atom_t>(values, values + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    if (mapped && atoms.contains(skips[0]) && atoms.contains(skips[1]))
        return;
    for (const xcb_atom_t skip : skips) {
        if (!atoms.contains(skip))
            atoms.append(skip);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<quint32>(atoms.size()), atoms.constData());
    xcb_flush(connection);
    if (!mapped)
        return;
    xcb_client_message_event_t message{};
    message.window = id;
    message.type = state;
    message.data.data32[0] = 1;  // add
    message.data.data32[1] = skips[0];
    message.data.data32[2] = skips[1];
    message.data.data32[3] = 1;  // source: application
    SendToWindowManager(connection, message);
}

// A window manager drops _NET_WM_STATE when it unmaps a window: the states go back on at each
// showing, which reaches the window before Qt maps it. When Qt has mapped another window in
// place of the one marked, that one is marked once it is shown.
class TaskbarSkipper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        const auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show) {
            marked_ = X11NativeWindow(widget);
            SetSkipTaskbarState(marked_, false);
            CheckLater(widget);
        } else if (event->type() == QEvent::ShowToParent && X11NativeWindow(widget) != marked_) {
            marked_ = X11NativeWindow(widget);
            SetSkipTaskbarState(marked_, true);
            CheckLater(widget);
        }
        return false;
    }

    // Qt may map a new native window after both events, and a busy window manager may take the
    // window over after its states were written: once it manages the window, missing states are
    // asked for again.
    void CheckLater(const QWidget* widget) {
        for (const int ms : {300, 2000}) {
            QTimer::singleShot(ms, this, [widget] {
                if (widget->isVisible())
                    SetSkipTaskbarState(X11NativeWindow(widget), true);
            });
        }
    }

private:
    xcb_window_t marked_ = XCB_WINDOW_NONE;
};

const QScreen* OrPrimary(const QScreen* screen) {
    return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

void DesktopWindowServices::MakeToolWindow(QWidget* window) {
    // Qt::Tool alone lets the window manager choose the buttons; the hints narrow the title
    // bar to the close button, as a dialog frame has.
    const Qt::WindowFlags keep = window->windowFlags() & Qt::WindowStaysOnTopHint;
    window->setWindowFlags(keep | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    // Panels list utility windows unless they ask to be left out.
    HideFromTaskbar(window);
}

void DesktopWindowServices::HideFromTaskbar(QWidget* window) {
    const QString name = QStringLiteral("kestrel-taskbar-skipper");
    if (window->findChild<QObject*>(name, Qt::FindDirectChildrenOnly))
        return;
    auto* skipper = new TaskbarSkipper(window);
    skipper->setObjectName(name);
    window->installEventFilter(skipper);
}

void DesktopWindowServices::SetStaysOnTop(QWidget* window, bool onTop) {
    const Qt::WindowFlags flags = window->windowFlags().setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (flags == window->windowFlags())
        return;
    if (QWindow* handle = window->windowHandle()) {
        // Changing the widget's flags would re-create the native window, hiding it; the
        // platform window takes the new stacking hint in place.
        window->overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        window->setWindowFlags(flags);
    }
}

void DesktopWindowServices::SetOpacity(QWidget* window, int alpha) {
    window->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

int DesktopWindowServices::Opacity(const QWidget* window) const {
    return static_cast<int>(std::lround(window->windowOpacity() * 255.0));
}

void DesktopWindowServices::StartMove(QWidget* window) {
    if (QWindow* handle = window->window()->windowHandle())
        handle->startSystemMove();
}

QRect DesktopWindowServices::TaskbarRect(const QScreen* screen) const {
    screen = OrPrimary(screen);
    return screen ? TaskbarFromGeometry(screen->geometry(), screen->availableGeometry()) : QRect();
}

QRect DesktopWindowServices::ScreenRect(const QScreen* screen) const {
    screen = OrPrimary(screen);
    return screen ? screen->geometry() : QRect();
}

void DesktopWindowServices::ActivateForeground(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
    RequestActivation(window);
}

void DesktopWindowServices::BringToFront(QWidget* window) {
    // A window manager maps a window shown without activation without giving it the focus.
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->show();
    window->raise();
}

bool DesktopWindowServices::IsForeground(const QWidget* window) const {
    return window->isVisible() && window->isActiveWindow();
}

void DesktopWindowServices::OpenURL(const QString& url) {
    QDesktopServices::openUrl(QUrl::fromUserInput(url));
}

QMargins DesktopWindowServices::FrameMargins(const QWidget* window) const {
    if (window->isVisible()) {
        const QRect outer = window->frameGeometry();
        const QRect inner = window->geometry();
        const QMargins measured(inner.left() - outer.left(), inner.top() - outer.top(),
                                outer.right() - inner.right(), outer.bottom() - inner.bottom());
        if (!measured.isNull()) {
            lastFrame_ = measured;
            return measured;
        }
    }
    return lastFrame_;
}

bool DesktopWindowServices::IsCovered(const QWidget* window) const {
    return X11WindowCovered(window);
}

}  // namespace kestrel
