// Whether other windows hide a window, as the window manager stacks them on X11.
#pragma once

#include <QtGlobal>

class QWidget;

namespace kestrel {

// The X window that shows the widget now. Qt replaces it at the next showing after the stacking
// hint changed on a shown window, and the widget's own id then names the window that is gone.
quint32 X11NativeWindow(const QWidget* window);

// True when a shown window that the window manager stacks above `window` overlaps it. False off
// X11, for a window that is not shown, and when the window manager keeps no stacking list.
bool X11WindowCovered(const QWidget* window);

}  // namespace kestrel
