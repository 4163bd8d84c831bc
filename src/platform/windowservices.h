// What the windows ask of the desktop: frame kind, stacking, opacity, moving, focus, geometry.
#pragma once

#include <QMargins>
#include <QRect>
#include <QString>

class QScreen;
class QWidget;

namespace kestrel {

class IWindowServices {
public:
    virtual ~IWindowServices();

    // No taskbar entry, but still a dialog frame: title bar with only a close button. Call it
    // before the window is first shown; the stays-on-top state is kept.
    virtual void MakeToolWindow(QWidget* window) = 0;
    // Keeps the window, whatever its kind, out of taskbars and pagers from its next showing on.
    virtual void HideFromTaskbar(QWidget* window) = 0;
    // Keeps position and visibility: a shown window stays shown where it was.
    virtual void SetStaysOnTop(QWidget* window, bool onTop) = 0;
    // 0 (invisible) to 255 (opaque); values outside are clamped. Shows only under a compositor.
    virtual void SetOpacity(QWidget* window, int alpha) = 0;
    virtual int Opacity(const QWidget* window) const = 0;
    // Lets the window manager move the window with the mouse, from a press on the content.
    virtual void StartMove(QWidget* window) = 0;
    // The screen area taken by the panel (geometry minus available geometry), in screen
    // coordinates; an all-zero rectangle when nothing is reserved.
    virtual QRect TaskbarRect(const QScreen* screen) const = 0;
    virtual QRect ScreenRect(const QScreen* screen) const = 0;
    // Shows the window, raises it and gives it the keyboard focus.
    virtual void ActivateForeground(QWidget* window) = 0;
    // Shows the window and raises it above the others, leaving the keyboard focus where it is:
    // for what the user did not ask for at that moment.
    virtual void BringToFront(QWidget* window) = 0;
    virtual bool IsForeground(const QWidget* window) const = 0;
    virtual void OpenURL(const QString& url) = 0;
    // What the window manager adds around the client area (title bar and borders). Measured on
    // the shown window when the window manager has told it, else the usual frame of a tool
    // window, so that an outer size can be turned into a client size before the first show.
    virtual QMargins FrameMargins(const QWidget* window) const = 0;
    // Whether other windows that the desktop stacks above this shown window overlap it; false
    // where the desktop does not say.
    virtual bool IsCovered(const QWidget* window) const = 0;
};

// The strip of the screen that panels reserve (see TaskbarRect), from the two geometries.
QRect TaskbarFromGeometry(const QRect& screen, const QRect& available);

}  // namespace kestrel
