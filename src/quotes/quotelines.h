// The display lines of the price window after a download and the colour of each quote line.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <QtGlobal>
#include <functional>

#include "quotes/catalogue.h"
#include "quotes/ratespage.h"

namespace kestrel {

// Pads text to `width` bytes of code page 936 with full-width spaces and, for an odd remainder,
// one ASCII space. Text already that wide or wider is left alone.
void PadToWidth(QString& text, int width);

// One instrument line: "【label】" padded to 20 bytes, a space and the value with the label's
// number of decimals, or the bracketed label left-aligned in 30 bytes followed by " N/A" when
// there is no value (0, or a value that is not a finite number); a note in place of "N/A" says
// why, when it is known: " 正在读取" while the value is still being read, " 来源不一致" ...
QString FormatQuoteLine(const QString& name, long double value, const QString& missing = {});

// "【牌价更新时间】" padded to 20 bytes, then the time as hh:mm:ss: when the shown values came.
// "【演示牌价】" in its place for a page of made-up prices.
QString UpdateTimeLine(const QTime& now, bool demo = false);

struct QuoteLines {
    QStringList Lines;
    bool Good = false;  // false: the page was bad data and Lines holds the message lines
};

// Where a page's values stand when it is made of several answers, some still awaited.
struct PageProgress {
    // Why the instrument has no value, shown in place of "N/A": an answer under way may bring
    // it ("正在读取"), or the sources' value was withheld ("来源不一致"); empty: not known.
    std::function<QString(const QString&)> Missing;
    // The instrument's value came with this answer; none given: every value did.
    std::function<bool(const QString&)> Renewed;
};

// The display lines after a download, the time line showing `shown`. On a good page every
// selected instrument is looked up and its slots shift (previous := current, current := new
// value) unless an unchanged price was not renewed; on bad data the two message lines follow the
// optional time line and the slots stay as they are. Slots whose size does not match the
// selection are reset to it first.
QuoteLines BuildQuoteLines(RatesPage& page, const QStringList& selection, QuoteSlots& quoteSlots,
                           bool displayTime, const QTime& shown, const PageProgress& progress = {});

enum class QuoteColour { Font, Rising, Falling };

// Rising when the current value is above the previous one, falling when below, the quote font
// colour when equal or when there was no previous value.
QuoteColour ChooseQuoteColour(long double current, long double previous);

// 0xRRGGBB of the rising and falling colours: colour mode 0 shows rises green and falls red,
// every other mode the other way round.
quint32 RisingRgb(int colorMode);
quint32 FallingRgb(int colorMode);

}  // namespace kestrel
