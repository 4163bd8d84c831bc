// Window services for tests: records what the windows ask for and answers from settable state.
#pragma once

#include <QHash>
#include <QMargins>
#include <QRect>
#include <QStringList>

#include "platform/windowservices.h"

namespace kestrel {

class FakeWindowServices : public IWindowServices {
public:
    // Records "tool", "skip taskbar", "top 1"/"top 0", "opacity N", "move", "activate",
    // "front", "open URL" in order. Shows, hides and moves nothing (but for BringToFront, which
    // shows), so window state stays under the test's control.
    void MakeToolWindow(QWidget* window) override;
    void HideFromTaskbar(QWidget* window) override;
    void SetStaysOnTop(QWidget* window, bool onTop) override;
    void SetOpacity(QWidget* window, int alpha) override;
    int Opacity(const QWidget* window) const override;
    void StartMove(QWidget* window) override;
    QRect TaskbarRect(const QScreen* screen) const override;
    QRect ScreenRect(const QScreen* screen) const override;
    // Makes the window the foreground one, as a window manager would.
    void ActivateForeground(QWidget* window) override;
    // Shows the window and leaves the foreground window as it is.
    void BringToFront(QWidget* window) override;
    bool IsForeground(const QWidget* window) const override;
    void OpenURL(const QString& url) override;
    QMargins FrameMargins(const QWidget* window) const override;
    bool IsCovered(const QWidget* window) const override;

    bool IsToolWindow(const QWidget* window) const { return toolWindows_.contains(window); }
    bool StaysOnTop(const QWidget* window) const { return onTop_.value(window, false); }

    // Set by the test; any screen answers with these.
    QRect Taskbar;
    QRect Screen{0, 0, 1920, 1080};
    QMargins Frame;
    // Whether other windows overlap the ticker, as a window manager would tell.
    bool Covered = false;
    // The window in front; nullptr when another application has the focus.
    const QWidget* Foreground = nullptr;
    QStringList Calls;
    QStringList OpenedURLs;

private:
    QHash<const QWidget*, bool> onTop_;
    QHash<const QWidget*, int> opacity_;
    QList<const QWidget*> toolWindows_;
};

}  // namespace kestrel
