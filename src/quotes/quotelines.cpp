#include "quotes/quotelines.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include <QCoreApplication>
#include <QHash>

#include "text/encodings.h"

namespace kestrel {

namespace {

struct QuoteLineTexts {
    Q_DECLARE_TR_FUNCTIONS(QuoteLines)
};

constexpr int kLabelWidth = 20;
constexpr int kMissingWidth = 30;
constexpr quint32 kGreen = 0x008000;
constexpr quint32 kRed = 0xFF0000;
// Dark enough to read on the button face; apart in every common kind of colour blindness.
constexpr quint32 kBlue = 0x0060C0;
constexpr quint32 kOrange = 0xD06800;
// Byte widths of the price and change columns, each followed by one space: wide enough for
// every catalogue price and its change.
constexpr int kPriceWidth = 8;
constexpr int kChangeWidth = 8;

// The value with its sign, "+" for a rise and for what rounds to zero.
QString SignedText(long double value, int decimals) {
    QString text = FixedText(std::fabs(value), decimals);
    const bool zero =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u'0' || c == u'.'; });
    text.prepend(value < 0.0L && !zero ? u'-' : u'+');
    return text;
}

// ASCII text padded with spaces to `width` characters, then one space.
QString Column(QString text, int width) {
    if (text.size() < width)
        text += QString(width - text.size(), u' ');
    return text + u' ';
}

// The two label forms of an instrument line and its number of decimals.
struct LineLabels {
    QString padded;   // for a value
    QString missing;  // for "N/A"
    int decimals = 4;
};

LineLabels MakeLabels(const QString& name) {
    LineLabels labels;
    labels.missing = QStringLiteral("【") + ShownInstrumentName(name) + QStringLiteral("】");
    labels.padded = labels.missing;
    PadToWidth(labels.padded, kLabelWidth);
    // The decimals follow the instrument, whatever language its label is shown in.
    labels.decimals = DecimalsFor(DisplayName(name));
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

// The labels of an instrument shown under the user's short name.
LineLabels AliasLabels(const QString& name, const QString& alias) {
    LineLabels labels = MakeLabels(alias);
    labels.decimals = LabelsFor(name).decimals;
    return labels;
}

}  // namespace

QString FixedText(long double value, int decimals) {
    // Wide enough for the largest finite long double in fixed notation.
    std::array<char, 5000> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

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

QString FormatQuoteLine(const QString& name, long double value, long double previousClose,
                        QuoteColour trend, const LineOptions& options, const QString& missing) {
    const auto alias = options.Aliases.constFind(name);
    if (alias == options.Aliases.cend() &&
        (value == 0.0L || !std::isfinite(value) || (!options.ShowChange && !options.ShowArrows)))
        return FormatQuoteLine(name, value, missing);
    const LineLabels labels =
        alias == options.Aliases.cend() ? LabelsFor(name) : AliasLabels(name, *alias);
    if (value == 0.0L || !std::isfinite(value))
        return labels.missing + u' ' + (missing.isEmpty() ? QStringLiteral("N/A") : missing);
    QString line = labels.padded + u' ';
    if (!options.ShowChange && !options.ShowArrows)
        return line + FixedText(value, labels.decimals);
    if (options.ShowArrows) {
        // A full-width dash: as wide as the arrows in every CJK font, so prices stay aligned.
        line += trend == QuoteColour::Rising    ? u"▲ "
                : trend == QuoteColour::Falling ? u"▼ "
                                                : u"－ ";
    }
    if (!options.ShowChange)
        return line + FixedText(value, labels.decimals);
    line += Column(FixedText(value, labels.decimals), kPriceWidth);
    if (!(previousClose > 0.0L))
        return line + QStringLiteral("N/A");
    const long double change = value - previousClose;
    return line + Column(SignedText(change, labels.decimals), kChangeWidth) +
           SignedText(change / previousClose * 100, 2) + u'%';
}

QString UpdateTimeLine(const QTime& now, bool demo) {
    QString header =
        demo ? QuoteLineTexts::tr("【演示牌价】") : QuoteLineTexts::tr("【牌价更新时间】");
    PadToWidth(header, kLabelWidth);
    return header + now.toString(u"hh:mm:ss");
}

QuoteLines BuildQuoteLines(RatesPage& page, const QStringList& selection, QuoteSlots& quoteSlots,
                           bool displayTime, const QTime& shown, const PageProgress& progress,
                           const LineOptions& options) {
    QuoteLines result;
    // Made-up prices say so even where the time line is switched off.
    if (displayTime || page.Demo())
        result.Lines.append(UpdateTimeLine(shown, page.Demo()));
    result.Good = page.TrimPageToMarker() && !page.PageLines().isEmpty();
    if (!result.Good) {
        result.Lines.append(QuoteLineTexts::tr("外汇牌价源数据有误，无法提供报价"));
        result.Lines.append(QuoteLineTexts::tr("稍后将再次尝试连接..."));
        return result;
    }
    const qsizetype n = selection.size();
    if (quoteSlots.CurQuotes.size() != n || quoteSlots.PrevQuotes.size() != n)
        quoteSlots.Reset(n);
    quoteSlots.Closes.resize(n);
    quoteSlots.SinceClose = options.ShowChange;
    for (qsizetype i = 0; i < n; ++i) {
        const QString& name = selection.at(i);
        const long double value = page.QuoteFor(name);
        const QString missing = progress.Missing ? progress.Missing(name) : QString();
        quoteSlots.Closes[i] = options.ShowChange ? page.PreviousCloseFor(name) : 0.0L;
        // A price another answer left as it was keeps its colour.
        if (!progress.Renewed || progress.Renewed(name) || value == 0.0L ||
            value != quoteSlots.CurQuotes.at(i)) {
            quoteSlots.PrevQuotes[i] = quoteSlots.CurQuotes.at(i);
            quoteSlots.CurQuotes[i] = value;
        }
        QString line = FormatQuoteLine(name, value, quoteSlots.Closes.at(i),
                                       SlotTrend(quoteSlots, i), options, missing);
        const QString aside = value != 0.0L && progress.Aside ? progress.Aside(name) : QString();
        if (!aside.isEmpty())
            line += u' ' + aside;
        result.Lines.append(line);
        result.Quiet.append(!aside.isEmpty());
    }
    return result;
}

QuoteColour ChooseQuoteColour(long double current, long double previous) {
    if (previous == 0.0L || current == previous)
        return QuoteColour::Font;
    return current > previous ? QuoteColour::Rising : QuoteColour::Falling;
}

QuoteColour SlotTrend(const QuoteSlots& quoteSlots, qsizetype i) {
    const long double basis =
        quoteSlots.SinceClose ? quoteSlots.Closes.value(i) : quoteSlots.PrevQuotes.value(i);
    return ChooseQuoteColour(quoteSlots.CurQuotes.value(i), basis);
}

quint32 RisingRgb(int colorMode) {
    return colorMode == 0 ? kGreen : colorMode == kColourModeBlueOrange ? kBlue : kRed;
}
quint32 FallingRgb(int colorMode) {
    return colorMode == 0 ? kRed : colorMode == kColourModeBlueOrange ? kOrange : kGreen;
}

std::optional<quint32> TrendRgb(QuoteColour trend, int colorMode) {
    if (colorMode == kColourModeMuted || trend == QuoteColour::Font)
        return std::nullopt;
    return trend == QuoteColour::Rising ? RisingRgb(colorMode) : FallingRgb(colorMode);
}

}  // namespace kestrel
