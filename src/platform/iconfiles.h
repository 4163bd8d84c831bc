// Icons from image files, the program's own included.
#pragma once

#include <QIcon>
#include <QString>

namespace kestrel {

// The icon of an image file. The program's own SVG icons (":/icons/NAME.svg") come with
// renditions made at build time (":/icons/rgba/NAME-SIZE.rgba", the bare pixels) at the sizes
// panels and title bars ask for: showing them parses no SVG and decodes no image, so the start
// loads neither the SVG library nor Qt's image-format plugins. Any other file, or one without
// renditions, is Qt's to read as it is.
QIcon IconFromFile(const QString& file);

}  // namespace kestrel
