#include "platform/x11/x11stacking.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QRect>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kestrel {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Take(T* reply) {
    return Reply<T>(reply, &std::free);
}

// The window's rectangle on the screen, or an empty one when it is not viewable.
QRect ViewableRect(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window) {
    const auto attributes = Take(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return {};
    const auto geometry =
        Take(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    const auto origin = Take(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto reply = Take(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : XCB_NONE;
}

// Panels stay above every window and may overlap its edge: they hide nothing the user looks for.
bool IsPanel(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t typeAtom,
             xcb_atom_t dockAtom) {
    const auto types = Take(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, typeAtom, XCB_ATOM_ATOM, 0, 32),
        nullptr));
    if (!types || types->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(types.get()));
    const int count = xcb_get_property_value_length(types.get()) / 4;
    return std::find(atoms, atoms + count, dockAtom) != atoms + count;
}

}  // namespace

quint32 X11NativeWindow(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return static_cast<quint32>(handle ? handle->winId() : window->winId());
}

bool X11WindowCovered(const QWidget* window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !window->isVisible())
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const char name[] = "_NET_CLIENT_LIST_STACKING";
    const auto atom = Take(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr));
    if (!atom || atom->atom == XCB_NONE)
        return false;
    const auto list = Take(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 4096),
        nullptr));
    if (!list || list->format != 32)
        return false;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    const int count = xcb_get_property_value_length(list.get()) / 4;
    const xcb_window_t own = X11NativeWindow(window);
    // The list goes from the bottom of the stack to its top.
    int i = 0;
    while (i < count && windows[i] != own)
        ++i;
    if (i == count)
        return false;
    const QRect ownRect = ViewableRect(connection, root, own);
    const xcb_atom_t type = Atom(connection, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dock = Atom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
    for (++i; i < count; ++i) {
        if (ViewableRect(connection, root, windows[i]).intersects(ownRect) &&
            !IsPanel(connection, windows[i], type, dock))
            return true;
    }
    return false;
}

}  // namespace kestrel
