#include "quotes/quotelines.h"

#include <array>
#include <charconv>
#include <cmath>

#include "settings/encodings.h"

namespace kestrel {

namespace {

constexpr int kLabelWidth = 20;
constexpr int kMissingWidth = 30;
constexpr quint32 kGreen = 0x008000;
constexpr quint32 kRed = 0xFF0000;

// Fixed notation with a "." whatever the process locale, rounded as printf rounds.
QString FixedText(long double value, int decimals) {
    // Wide enough for the largest finite long double in fixed notation.
    std::array<char, 5000> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

}  // namespace

void PadToWidth(QString& text, int width) {
    const int missing = width - Cp936Length(text);
    if (missing <= 0)
        return;
    text += QString(missing / 2, QChar(u'　'));
    if (missing % 2 != 0)
        text += u' ';
}

QString FormatQuoteLine(const QString& name, long double value) {
    QString label = QStringLiteral("【") + DisplayName(name) + QStringLiteral("】");
    if (value == 0.0L || !std::isfinite(value)) {
        const int fill = kMissingWidth - Cp936Length(label);
        if (fill > 0)
            label += QString(fill, u' ');
        return label + QStringLiteral(" N/A");
    }
    PadToWidth(label, kLabelWidth);
    return label + u' ' + FixedText(value, DecimalsFor(label) == 2 ? 2 : 4);
}

QString UpdateTimeLine(const QTime& now) {
    QString header = QStringLiteral("【牌价更新时间】");
    PadToWidth(header, kLabelWidth);
    return header + now.toString(u"hh:mm:ss");
}

QuoteLines BuildQuoteLines(RatesPage& page, const QStringList& selection, QuoteSlots& quoteSlots,
                           bool displayTime, const QTime& now) {
    QuoteLines result;
    if (displayTime)
        result.Lines.append(UpdateTimeLine(now));
    result.Good = page.TrimPageToMarker() && !page.PageLines().isEmpty();
    if (!result.Good) {
        result.Lines.append(QStringLiteral("外汇牌价源数据有误，无法提供报价"));
        result.Lines.append(QStringLiteral("稍后将再次尝试连接..."));
        return result;
    }
    const qsizetype n = selection.size();
    if (quoteSlots.CurQuotes.size() != n || quoteSlots.PrevQuotes.size() != n)
        quoteSlots.Reset(n);
    for (qsizetype i = 0; i < n; ++i) {
        const long double value = page.QuoteFor(selection.at(i));
        result.Lines.append(FormatQuoteLine(selection.at(i), value));
        quoteSlots.PrevQuotes[i] = quoteSlots.CurQuotes.at(i);
        quoteSlots.CurQuotes[i] = value;
    }
    return result;
}

QuoteColour ChooseQuoteColour(long double current, long double previous) {
    if (previous == 0.0L || current == previous)
        return QuoteColour::Font;
    return current > previous ? QuoteColour::Rising : QuoteColour::Falling;
}

quint32 RisingRgb(int colorMode) {
    return colorMode == 0 ? kGreen : kRed;
}
quint32 FallingRgb(int colorMode) {
    return colorMode == 0 ? kRed : kGreen;
}

}  // namespace kestrel
