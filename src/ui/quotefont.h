// The quote font of the settings as the windows draw it: the font and its colour.
#pragma once

#include <QColor>
#include <QFont>

#include "settings/fonttext.h"

namespace kestrel {

// Sizes are points at 96 dots per inch, as the stored font texts were written, so the quotes
// keep their pixel size whatever the screen's resolution.
QFont QFontOf(const FontDesc& desc);

// Plain colours as they are; the system colours from the palette of the desktop.
QColor ColourOf(quint32 color);

// The plain colour value (00BBGGRR) of a colour.
quint32 ColorValueOf(const QColor& colour);

}  // namespace kestrel
