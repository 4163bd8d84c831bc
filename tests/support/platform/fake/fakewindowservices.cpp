#include "platform/fake/fakewindowservices.h"

#include <QWidget>
#include <algorithm>

namespace kestrel {

void FakeWindowServices::MakeToolWindow(QWidget* window) {
    if (!toolWindows_.contains(window))
        toolWindows_.append(window);
    Calls.append(QStringLiteral("tool"));
}

void FakeWindowServices::HideFromTaskbar(QWidget* /*window*/) {
    Calls.append(QStringLiteral("skip taskbar"));
}

void FakeWindowServices::SetStaysOnTop(QWidget* window, bool onTop) {
    onTop_.insert(window, onTop);
    Calls.append(onTop ? QStringLiteral("top 1") : QStringLiteral("top 0"));
}

void FakeWindowServices::SetOpacity(QWidget* window, int alpha) {
    alpha = std::clamp(alpha, 0, 255);
    opacity_.insert(window, alpha);
    Calls.append(QStringLiteral("opacity %1").arg(alpha));
}

int FakeWindowServices::Opacity(const QWidget* window) const {
    return opacity_.value(window, 255);
}

void FakeWindowServices::StartMove(QWidget* /*window*/) {
    Calls.append(QStringLiteral("move"));
}

QRect FakeWindowServices::TaskbarRect(const QScreen* /*screen*/) const {
    return Taskbar;
}

QRect FakeWindowServices::ScreenRect(const QScreen* /*screen*/) const {
    return Screen;
}

void FakeWindowServices::ActivateForeground(QWidget* window) {
    Foreground = window;
    Calls.append(QStringLiteral("activate"));
}

void FakeWindowServices::BringToFront(QWidget* window) {
    window->show();
    Calls.append(QStringLiteral("front"));
}

bool FakeWindowServices::IsForeground(const QWidget* window) const {
    return window && Foreground == window;
}

void FakeWindowServices::OpenURL(const QString& url) {
    OpenedURLs.append(url);
    Calls.append(QStringLiteral("open ") + url);
}

QMargins FakeWindowServices::FrameMargins(const QWidget* /*window*/) const {
    return Frame;
}

bool FakeWindowServices::IsCovered(const QWidget* /*window*/) const {
    return Covered;
}

}  // namespace kestrel
