#include "quotes/quotelines.h"

#include <array>
#include <charconv>
#include <cmath>

#include <QHash>

#include "text/encodings.h"

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

// The two label forms of an instrument line and its number of decimals.
struct LineLabels {
    QString padded;   // for a value
    QString missing;  // for "N/A"
    int decimals = 4;
};

LineLabels MakeLabels(const QString& name) {
    LineLabels labels;
    labels.missing = QStringLiteral("【") + DisplayName(name) + QStringLiteral("】");
    labels.padded = labels.missing;
    PadToWidth(labels.padded, kLabelWidth);
    labels.decimals = DecimalsFor(labels.padded);
    const int fill = kMissingWidth - Cp936Length(labels.missing);
    if (fill > 0)
        labels.missing += QString(fill, u' ');
    return labels;
}

// Measuring code page 936 widths costs more than the rest of a line, and every refresh
// formats the same catalogue names again, so their labels are made once.
LineLabels LabelsFor(const QString& name) {
    static const QHash<QString, LineLabels> catalogue = [] {
        QHash<QString, LineLabels> labels;
        for (const QString& known : InstrumentCatalogue())
            labels.insert(known, MakeLabels(known));
        return labels;
    }();
    const auto known = catalogue.constFind(name);
    return known != catalogue.cend() ? *known : MakeLabels(name);
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

QString FormatQuoteLine(const QString& name, long double value, const QString& missing) {
    const LineLabels labels = LabelsFor(name);
    if (value == 0.0L || !std::isfinite(value))
        return labels.missing + u' ' + (missing.isEmpty() ? QStringLiteral("N/A") : missing);
    return labels.padded + u' ' + FixedText(value, labels.decimals);
}

QString UpdateTimeLine(const QTime& now, bool demo) {
    QString header = demo ? QStringLiteral("【演示牌价】") : QStringLiteral("【牌价更新时间】");
    PadToWidth(header, kLabelWidth);
    return header + now.toString(u"hh:mm:ss");
}

QuoteLines BuildQuoteLines(RatesPage& page, const QStringList& selection, QuoteSlots& quoteSlots,
                           bool displayTime, const QTime& shown, const PageProgress& progress) {
    QuoteLines result;
    // Made-up prices say so even where the time line is switched off.
    if (displayTime || page.Demo())
        result.Lines.append(UpdateTimeLine(shown, page.Demo()));
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
        const QString& name = selection.at(i);
        const long double value = page.QuoteFor(name);
        result.Lines.append(
            FormatQuoteLine(name, value, progress.Missing ? progress.Missing(name) : QString()));
        // A price another answer left as it was keeps its colour.
        if (progress.Renewed && !progress.Renewed(name) && value != 0.0L &&
            value == quoteSlots.CurQuotes.at(i))
            continue;
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
