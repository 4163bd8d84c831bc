// The display lines of the price window after a download and the colour of each quote line.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QtGlobal>
#include <functional>
#include <optional>

#include "quotes/catalogue.h"
#include "quotes/ratespage.h"

namespace kestrel {

// A price in fixed notation with a "." whatever the process locale, rounded as printf rounds
// the long double: every place that shows a price shows the same digits.
QString FixedText(long double value, int decimals);

// Pads text to `width` bytes of code page 936 with full-width spaces and, for an odd remainder,
// one ASCII space. Text already that wide or wider is left alone.
void PadToWidth(QString& text, int width);

// One instrument line: "【label】" padded to 20 bytes, a space and the value with the label's
// number of decimals, or the bracketed label left-aligned in 30 bytes followed by " N/A" when
// there is no value (0, or a value that is not a finite number); a note in place of "N/A" says
// why, when it is known: " 正在读取" while the value is still being read, " 来源不一致" ...
QString FormatQuoteLine(const QString& name, long double value, const QString& missing = {});

enum class QuoteColour { Font, Rising, Falling };

// What an instrument line shows besides its price.
struct LineOptions {
    bool ShowChange = false;  // the signed change and percent since the previous close
    bool ShowArrows = false;  // ▲ rising, ▼ falling, － neither, before the price
    // The user's short names, shown in the label in place of the instrument's own; the
    // decimals stay the instrument's.
    QHash<QString, QString> Aliases;
};

// An instrument line with the options: the price in a column, the arrow of `trend` before it,
// then the change and percent since `previousClose` in the label's decimals ("N/A" when the
// close is 0), each in its column. A line without a value is the same as without the options.
QString FormatQuoteLine(const QString& name, long double value, long double previousClose,
                        QuoteColour trend, const LineOptions& options, const QString& missing = {});

// "【牌价更新时间】" padded to 20 bytes, then the time as hh:mm:ss: when the shown values came.
// "【演示牌价】" in its place for a page of made-up prices.
QString UpdateTimeLine(const QTime& now, bool demo = false);

struct QuoteLines {
    QStringList Lines;
    bool Good = false;  // false: the page was bad data and Lines holds the message lines
    QList<bool> Quiet;  // per selected instrument: its line has an aside
};

// Where a page's values stand when it is made of several answers, some still awaited.
struct PageProgress {
    // Why the instrument has no value, shown in place of "N/A": an answer under way may bring
    // it ("正在读取"), or the sources' value was withheld ("来源不一致"); empty: not known.
    std::function<QString(const QString&)> Missing;
    // The instrument's value came with this answer; none given: every value did.
    std::function<bool(const QString&)> Renewed;
    // What follows a shown price and makes its line quiet (grey, neither rising nor falling):
    // "休市" while its market is closed, the quote's age ("3分钟前") when it has not moved for a
    // while; empty for a live price.
    std::function<QString(const QString&)> Aside;
};

// The display lines after a download, the time line showing `shown`. On a good page every
// selected instrument is looked up and its slots shift (previous := current, current := new
// value) unless an unchanged price was not renewed; on bad data the two message lines follow the
// optional time line and the slots stay as they are. Slots whose size does not match the
// selection are reset to it first. With the change shown, the slots also keep each previous
// close and count rises and falls from it.
QuoteLines BuildQuoteLines(RatesPage& page, const QStringList& selection, QuoteSlots& quoteSlots,
                           bool displayTime, const QTime& shown, const PageProgress& progress = {},
                           const LineOptions& options = {});

// Rising when the current value is above the previous one, falling when below, the quote font
// colour when equal or when there was no previous value.
QuoteColour ChooseQuoteColour(long double current, long double previous);

// Slot i's trend: from its previous close when the slots count from it, else from the previous
// download.
QuoteColour SlotTrend(const QuoteSlots& quoteSlots, qsizetype i);

// Param/ColorMode: 0 "红跌绿涨", 1 "红涨绿跌", 2 "蓝涨橙跌" (told apart without red and green),
// 3 "低调" (nothing coloured; the arrows still tell). Any other value reads as 1.
inline constexpr int kColourModeBlueOrange = 2;
inline constexpr int kColourModeMuted = 3;

// 0xRRGGBB of the rising and falling colours: colour mode 0 shows rises green and falls red,
// mode 2 blue and orange, every other mode red and green.
quint32 RisingRgb(int colorMode);
quint32 FallingRgb(int colorMode);
// The colour of a trend in the mode; none: the quote font colour (no change, or mode "低调").
std::optional<quint32> TrendRgb(QuoteColour trend, int colorMode);

}  // namespace kestrel
