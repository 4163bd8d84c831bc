#include "settings/fonttext.h"

#include <QStringList>

#include "settings/profile.h"

namespace kestrel {

namespace {

struct NamedColor {
    const char* name;
    quint32 value;
};

constexpr NamedColor kColorNames[] = {
    {"clBlack", 0x00000000},
    {"clMaroon", 0x00000080},
    {"clGreen", 0x00008000},
    {"clOlive", 0x00008080},
    {"clNavy", 0x00800000},
    {"clPurple", 0x00800080},
    {"clTeal", 0x00808000},
    {"clGray", 0x00808080},
    {"clSilver", 0x00C0C0C0},
    {"clRed", 0x000000FF},
    {"clLime", 0x0000FF00},
    {"clYellow", 0x0000FFFF},
    {"clBlue", 0x00FF0000},
    {"clFuchsia", 0x00FF00FF},
    {"clAqua", 0x00FFFF00},
    {"clWhite", 0x00FFFFFF},
    {"clMoneyGreen", 0x00C0DCC0},
    {"clSkyBlue", 0x00F0CAA6},
    {"clCream", 0x00F0FBFF},
    {"clMedGray", 0x00A4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", 0xFF000000},
    {"clBackground", 0xFF000001},
    {"clActiveCaption", 0xFF000002},
    {"clInactiveCaption", 0xFF000003},
    {"clMenu", 0xFF000004},
    {"clWindow", 0xFF000005},
    {"clWindowFrame", 0xFF000006},
    {"clMenuText", 0xFF000007},
    {"clWindowText", 0xFF000008},
    {"clCaptionText", 0xFF000009},
    {"clActiveBorder", 0xFF00000A},
    {"clInactiveBorder", 0xFF00000B},
    {"clAppWorkSpace", 0xFF00000C},
    {"clHighlight", 0xFF00000D},
    {"clHighlightText", 0xFF00000E},
    {"clBtnFace", 0xFF00000F},
    {"clBtnShadow", 0xFF000010},
    {"clGrayText", 0xFF000011},
    {"clBtnText", 0xFF000012},
    {"clInactiveCaptionText", 0xFF000013},
    {"clBtnHighlight", 0xFF000014},
    {"cl3DDkShadow", 0xFF000015},
    {"cl3DLight", 0xFF000016},
    {"clInfoText", 0xFF000017},
    {"clInfoBk", 0xFF000018},
    {"clHotLight", 0xFF00001A},
    {"clGradientActiveCaption", 0xFF00001B},
    {"clGradientInactiveCaption", 0xFF00001C},
    {"clMenuHighlight", 0xFF00001D},
    {"clMenuBar", 0xFF00001E},
};

QString StyleLetters(const FontDesc& font) {
    QString letters;
    if (font.Bold)
        letters += u'B';
    if (font.Italic)
        letters += u'I';
    if (font.Underline)
        letters += u'U';
    if (font.StrikeOut)
        letters += u'S';
    return letters;
}

void SetInteger(const QString& field, int& property) {
    if (const auto value = ParseIntegerText(field))
        property = *value;
}

}  // namespace

QString ColorToText(quint32 color) {
    for (const NamedColor& c : kColorNames) {
        if (c.value == color)
            return QString::fromLatin1(c.name);
    }
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

bool TextToColor(const QString& text, quint32& color) {
    for (const NamedColor& c : kColorNames) {
        if (text.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) {
            color = c.value;
            return true;
        }
    }
    const auto value = ParseIntegerText(text);
    if (value)
        color = static_cast<quint32>(*value);
    return value.has_value();
}

QString FontToText(const FontDesc& font) {
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(font.Name)
        .arg(font.Size)
        .arg(StyleLetters(font))
        .arg(font.Pitch)
        .arg(ColorToText(font.Color))
        .arg(font.Charset);
}

void TextToFont(const QString& text, FontDesc& font) {
    QStringList fields = QString(text).replace(u';', u',').split(u',');
    for (QString& field : fields)
        field = field.trimmed();
    const auto n = fields.size();
    // An empty name would ask for no typeface at all; the current one is the better guess.
    if (n > 0 && !fields[0].isEmpty())
        font.Name = fields[0];
    if (n > 1)
        SetInteger(fields[1], font.Size);
    if (n > 2) {
        const QString style = fields[2].toUpper();
        font.Bold = style.contains(u'B');
        font.Italic = style.contains(u'I');
        font.Underline = style.contains(u'U');
        font.StrikeOut = style.contains(u'S');
    }
    if (n > 3)
        SetInteger(fields[3], font.Pitch);
    // A colour that is neither a name nor a number keeps the current colour.
    if (n > 4)
        TextToColor(fields[4], font.Color);
    if (n > 5)
        SetInteger(fields[5], font.Charset);
}

quint32 RgbOf(quint32 color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

FontDesc DefaultQuoteFont(const FontDesc& windowFont) {
    FontDesc font = windowFont;
    font.Color = clOlive;
    font.Bold = true;
    return font;
}

}  // namespace kestrel
