// Whether other windows hide a window, as the window manager stacks them on X11.
#pragma once

class QWidget;

namespace kestrel {

// True when a shown window that the window manager stacks above `window` overlaps it. False off
// X11, for a window that is not shown, and when the window manager keeps no stacking list.
bool X11WindowCovered(const QWidget* window);

}  // namespace kestrel
