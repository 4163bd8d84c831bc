#include "platform/sessionkind.h"

#include <algorithm>

namespace kestrel {

SessionChoice ChooseSession(const SessionOffers& offers) {
    SessionChoice choice;
    const QByteArray platform = offers.UserPlatform.trimmed();
    if (!platform.isEmpty()) {
        // The user's platform stands; a layer surface still beats an ordinary window wherever
        // Qt talks to the same desktop (xcb through XWayland, or wayland itself).
        const qsizetype colon = platform.indexOf(':');
        const QByteArray name = (colon < 0 ? platform : platform.left(colon)).trimmed();
        const bool onDesktop = name == "xcb" ? offers.XServer : name == "wayland";
        choice.LayerSurface = offers.Wayland && offers.LayerShell && onDesktop;
        choice.Lack = offers.Wayland && name == "wayland" && !choice.LayerSurface
                          ? SessionLack::NativeWayland
                          : SessionLack::None;
        return choice;
    }
    if (!offers.Wayland)
        return choice;
    // Dialogs, menus and the tray behave on XWayland as on any X11 desktop.
    choice.Platform = offers.XServer ? QByteArrayLiteral("xcb") : QByteArrayLiteral("wayland");
    choice.LayerSurface = offers.LayerShell;
    if (!offers.XServer && !offers.LayerShell)
        choice.Lack = SessionLack::NativeWayland;
    return choice;
}

namespace {

int Clamped(int value, int room) {
    return std::clamp(value, 0, std::max(0, room));
}

}  // namespace

CornerMargins MarginsForTopLeft(QSize output, QSize surface, QPoint topLeft) {
    const int roomX = output.width() - surface.width();
    const int roomY = output.height() - surface.height();
    return {Clamped(roomX - topLeft.x(), roomX), Clamped(roomY - topLeft.y(), roomY)};
}

QPoint TopLeftForMargins(QSize output, QSize surface, CornerMargins margins) {
    const int roomX = output.width() - surface.width();
    const int roomY = output.height() - surface.height();
    return {std::max(0, roomX - Clamped(margins.Right, roomX)),
            std::max(0, roomY - Clamped(margins.Bottom, roomY))};
}

CornerMargins DraggedMargins(QSize output, QSize surface, CornerMargins start, QPoint pressedAt,
                             QPoint now) {
    const QPoint shift = now - pressedAt;
    const CornerMargins moved{start.Right - shift.x(), start.Bottom - shift.y()};
    return MarginsForTopLeft(output, surface, TopLeftForMargins(output, surface, moved));
}

}  // namespace kestrel
