// Icons from image files, the program's own included.
#pragma once

#include <QIcon>
#include <QString>

namespace kestrel {

// The icon of an image file. The program's own SVG icons (":/icons/NAME.svg") come with PNG
// renditions made at build time (":/icons/png/NAME-SIZE.png") at the sizes panels and title
// bars ask for: showing them parses no SVG and loads no SVG library, which the start would
// otherwise pay for. Any other file, or one without renditions, is Qt's to read as it is.
QIcon IconFromFile(const QString& file);

}  // namespace kestrel
