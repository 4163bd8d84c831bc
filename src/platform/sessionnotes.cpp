#include "platform/sessionnotes.h"

#include <QCoreApplication>

namespace kestrel {

namespace {

// What the tray shows of a tip.
constexpr int kTipLength = 63;

}  // namespace

DesktopSession DescribeSession(const QString& waylandDisplay, const QString& qtPlatform,
                               bool layerSurface) {
    DesktopSession session;
    session.Wayland = !waylandDisplay.isEmpty();
    // "wayland", "wayland-egl", "wayland-brcm": every Wayland integration of Qt.
    session.QtOnWayland = session.Wayland && qtPlatform.startsWith(QLatin1String("wayland"));
    session.LayerSurface = session.Wayland && layerSurface;
    return session;
}

QString SessionNote(const DesktopSession& session, bool hotKeyBound) {
    if (!session.Wayland)
        return {};
    const QString bindKey = QCoreApplication::translate(
        "kestrel::SessionNotes", "请在桌面快捷键设置中把热键绑定到 kestrel --toggle");
    if (session.QtOnWayland && !session.LayerSurface) {
        const QString window =
            QCoreApplication::translate("kestrel::SessionNotes", "此桌面下窗口无法固定位置和置顶");
        return hotKeyBound ? window : window + QStringLiteral("；") + bindKey;
    }
    return hotKeyBound ? QString() : bindKey;
}

QString TrayTip(const QString& news, const QString& note) {
    if (news.isEmpty())
        return note;
    const QString both = news + QStringLiteral("；") + note;
    return note.isEmpty() || both.size() > kTipLength ? news : both;
}

}  // namespace kestrel
