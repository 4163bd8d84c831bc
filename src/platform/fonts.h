// The windows' typeface: 微软雅黑 when installed, else 宋体, else a Chinese face that lines up
// the quote columns as 宋体 does.
#pragma once

#include <QFont>
#include <QString>

namespace kestrel {

// True when fontconfig knows a family of exactly that name.
bool IsFontInstalled(const QString& family);

// The family the program's windows and the default quote font use: 微软雅黑, else 宋体, else a
// stand-in for 宋体 whose Latin glyphs are half as wide as its Chinese ones (the quote lines are
// padded by counting code-page-936 bytes, which lines up only in such a face).
QString WindowFontFamily();

// The family to draw a stored font name with: the name itself when installed; 宋体 and 微软雅黑,
// which settings files written on Windows name, become WindowFontFamily() when they are not.
QString DrawableFontFamily(const QString& family);

// The window font: WindowFontFamily(), 12 pixels high.
QFont WindowFont();

}  // namespace kestrel
