// What the desktop session allows the ticker, and the note in the tray tip about what it does
// not. Decided from plain facts so that it can be checked without a desktop.
#pragma once

#include <QString>

namespace kestrel {

struct DesktopSession {
    bool Wayland = false;       // a Wayland display is named (the session is a Wayland one)
    bool QtOnWayland = false;   // the windows are Wayland windows, not X11 ones on XWayland
    bool LayerSurface = false;  // the ticker is drawn into a layer surface of its own
};

// From WAYLAND_DISPLAY, Qt's platform name ("wayland", "xcb", ...) and whether the ticker sits
// on a layer surface.
DesktopSession DescribeSession(const QString& waylandDisplay, const QString& qtPlatform,
                               bool layerSurface);

// What the user has to know about this session, or "" when the ticker works as everywhere: a
// plain Wayland window can neither keep its corner nor stay on top, and without a hot key from
// the desktop the key has to be bound to "kestrel --toggle" in the desktop's settings.
QString SessionNote(const DesktopSession& session, bool hotKeyBound);

// The tray tip: the news of the moment (a failure, demo prices) comes first; the session's note
// follows when both fit into what the tray shows, and stands alone when there is no news.
QString TrayTip(const QString& news, const QString& note);

}  // namespace kestrel
