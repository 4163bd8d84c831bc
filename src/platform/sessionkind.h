// Which Qt platform the ticker runs on and where it draws, from what the session offers, and
// the arithmetic of a ticker surface anchored at an output's bottom-right corner.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>

namespace kestrel {

// What the program finds before Qt starts.
struct SessionOffers {
    QByteArray UserPlatform;  // QT_QPA_PLATFORM as the user set it; empty when unset
    bool Wayland = false;     // WAYLAND_DISPLAY names a compositor we could connect to
    bool XServer = false;     // DISPLAY names an X server that accepts us (XWayland)
    bool LayerShell = false;  // the compositor offers zwlr_layer_shell_v1
};

// What a session without a layer shell and without an X server cannot give the ticker: the
// compositor decides where windows go and what is on top, and keeps every key to itself.
enum class SessionLack {
    None,
    NativeWayland,  // placement, always on top, the taskbar-less tool window and the hot key
};

struct SessionChoice {
    QByteArray Platform;        // for QT_QPA_PLATFORM; empty: leave Qt's own choice
    bool LayerSurface = false;  // the ticker draws into a layer surface, its Qt window stays off
    SessionLack Lack = SessionLack::None;
};

SessionChoice ChooseSession(const SessionOffers& offers);

// The distances of a bottom-right anchored surface from the output's right and bottom edges,
// before the compositor adds the panels' exclusive zones.
struct CornerMargins {
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const CornerMargins&, const CornerMargins&) = default;
};

// Both directions between margins and the top-left corner that the settings keep; a position
// off the output is pulled back so that the whole ticker stays on it.
CornerMargins MarginsForTopLeft(QSize output, QSize surface, QPoint topLeft);
QPoint TopLeftForMargins(QSize output, QSize surface, CornerMargins margins);
// Where a drag that started with the pointer at pressedAt and the surface at start puts the
// surface once the pointer is at now (both in output coordinates).
CornerMargins DraggedMargins(QSize output, QSize surface, CornerMargins start, QPoint pressedAt,
                             QPoint now);

}  // namespace kestrel
