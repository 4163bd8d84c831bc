// The windows' typeface: 微软雅黑 when installed, else 宋体, else the system's CJK sans-serif.
#pragma once

#include <QFont>
#include <QString>

namespace kestrel {

// True when fontconfig knows a family of exactly that name.
bool IsFontInstalled(const QString& family);

// The family the program's windows use (see above).
QString WindowFontFamily();

// The window font: WindowFontFamily(), 12 pixels high.
QFont WindowFont();

}  // namespace kestrel
