// The window services of a Qt window, with X11 properties where Qt alone does not get the effect.
#pragma once

#include "platform/windowservices.h"

namespace kestrel {

// Qt, plus X11 properties where Qt alone does not get the effect.
class DesktopWindowServices : public IWindowServices {
public:
    void MakeToolWindow(QWidget* window) override;
    void HideFromTaskbar(QWidget* window) override;
    void SetStaysOnTop(QWidget* window, bool onTop) override;
    void SetOpacity(QWidget* window, int alpha) override;
    int Opacity(const QWidget* window) const override;
    void StartMove(QWidget* window) override;
    QRect TaskbarRect(const QScreen* screen) const override;
    QRect ScreenRect(const QScreen* screen) const override;
    void ActivateForeground(QWidget* window) override;
    void BringToFront(QWidget* window) override;
    bool IsForeground(const QWidget* window) const override;
    void OpenURL(const QString& url) override;
    QMargins FrameMargins(const QWidget* window) const override;
    bool IsCovered(const QWidget* window) const override;

private:
    // The frame seen last on a shown window; until then the frame a window manager usually
    // gives a tool window.
    mutable QMargins lastFrame_{1, 20, 1, 1};
};

}  // namespace kestrel
