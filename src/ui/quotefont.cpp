#include "ui/quotefont.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>

#include "platform/fonts.h"

namespace kestrel {

QFont QFontOf(const FontDesc& desc) {
    QFont font(DrawableFontFamily(desc.Name));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(desc.Size * 96.0 / 72.0))));
    font.setBold(desc.Bold);
    font.setItalic(desc.Italic);
    font.setUnderline(desc.Underline);
    font.setStrikeOut(desc.StrikeOut);
    font.setFixedPitch(desc.Pitch == kPitchFixed);
    return font;
}

QColor ColourOf(quint32 color) {
    if ((color & kSystemColorFlag) == kSystemColorFlag) {
        const QPalette palette = QApplication::palette();
        switch (color & 0xFFu) {
            case 5:  // clWindow
                return palette.color(QPalette::Base);
            case 13:  // clHighlight
                return palette.color(QPalette::Highlight);
            case 14:  // clHighlightText
                return palette.color(QPalette::HighlightedText);
            case 15:  // clBtnFace
                return palette.color(QPalette::Button);
            case 17:  // clGrayText
                return palette.color(QPalette::Disabled, QPalette::Text);
            case 23:  // clInfoText
                return palette.color(QPalette::ToolTipText);
            case 24:  // clInfoBk
                return palette.color(QPalette::ToolTipBase);
            default:
                return palette.color(QPalette::WindowText);
        }
    }
    return QColor::fromRgb(static_cast<QRgb>(RgbOf(color)));
}

quint32 ColorValueOf(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<quint32>(rgb.blue()) << 16 | static_cast<quint32>(rgb.green()) << 8 |
           static_cast<quint32>(rgb.red());
}

}  // namespace kestrel
