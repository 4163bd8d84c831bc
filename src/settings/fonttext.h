// Font descriptions and their six-field text form in the settings file:
//   name,size,style,pitch,colour,charset     e.g. 微软雅黑,9,B,0,clOlive,134
// Style is the letters B, I, U, S of the styles that are on; colour is a colour name or "$"
// and eight hexadecimal digits of the 32-bit colour value.
#pragma once

#include <QString>
#include <QtGlobal>

namespace kestrel {

// A colour is 00BBGGRR for a plain colour, FF0000nn for system colour nn, plus clNone and
// clDefault.
inline constexpr quint32 clBlack = 0x00000000;
inline constexpr quint32 clOlive = 0x00008080;
inline constexpr quint32 clWhite = 0x00FFFFFF;
inline constexpr quint32 clNone = 0x1FFFFFFF;
inline constexpr quint32 clDefault = 0x20000000;
inline constexpr quint32 kSystemColorFlag = 0xFF000000;

inline constexpr int kPitchDefault = 0;
inline constexpr int kPitchVariable = 1;
inline constexpr int kPitchFixed = 2;

inline constexpr int kAnsiCharset = 0;
inline constexpr int kDefaultCharset = 1;
inline constexpr int kGb2312Charset = 134;

struct FontDesc {
    QString Name;
    int Size = 9;  // points
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    int Pitch = kPitchDefault;
    quint32 Color = clBlack;
    int Charset = kDefaultCharset;

    bool operator==(const FontDesc&) const = default;
};

QString FontToText(const FontDesc& font);

// Fields split at "," or ";" and trimmed. Missing trailing fields, an empty name and fields
// that do not parse leave those properties as they are; a present style field sets exactly
// the styles whose letters it holds (either case).
void TextToFont(const QString& text, FontDesc& font);

// The colour's name (clOlive, clBtnFace, ...) when it has one, else "$" and 8 hex digits.
QString ColorToText(quint32 color);
// A colour name (any case) or an integer under the settings file's rule; false leaves
// color unchanged.
bool TextToColor(const QString& text, quint32& color);

// 0xRRGGBB of a plain 00BBGGRR colour (only the low 24 bits are looked at).
quint32 RgbOf(quint32 color);

// The quote font when the settings file names none: the window font, olive and bold.
FontDesc DefaultQuoteFont(const FontDesc& windowFont);

// The quote font sizes the settings dialog offers, in points: below 6 the digits blur into each
// other, above 48 a dozen lines no longer fit on a screen.
inline constexpr int kMinQuoteFontSize = 6;
inline constexpr int kMaxQuoteFontSize = 48;

}  // namespace kestrel
