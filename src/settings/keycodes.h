// Key presses as the toolkit reports them, turned into the shortcut values of the hot-key text.
#pragma once

#include <Qt>
#include <QtGlobal>

namespace kestrel {

// The shortcut value (virtual-key code and Shift/Ctrl/Alt bits) of a key press; 0 for a key
// that has no virtual-key code, and for a modifier key on its own.
quint16 ShortCutOfKey(int key, Qt::KeyboardModifiers modifiers);

}  // namespace kestrel
