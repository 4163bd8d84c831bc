// When the markets behind the instruments trade: the trading week of each kind of instrument, the
// state of an instrument at a given moment, the next opening and the last close, and the texts
// the window shows while the markets are closed. Every function takes the moment as a UTC
// QDateTime; nothing here reads the clock. Holidays are not known: a holiday counts as a trading
// day whose quotes simply do not move.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kestrel {

// The trading weeks, each in the zone its exchange or market keeps its hours in:
//   Fx           Sunday 17:00 to Friday 17:00 America/New_York, without a pause (currencies,
//                spot gold and silver, the dollar index, and any name the catalogue lacks);
//   Globex       Sunday 18:00 to Friday 17:00 America/New_York, a break 17:00-18:00 every
//                day (NYMEX crude and natural gas);
//   IceEurope    Sunday 23:00 to Friday 23:00 Europe/London, a break 23:00-01:00 every day
//                (Brent);
//   OnshoreYuan  Monday to Friday 09:30 to 03:00 the next day Asia/Shanghai, closed from 03:00
//                to 09:30 (美元人民币).
enum class TradingWeek { Fx, Globex, IceEurope, OnshoreYuan };

enum class MarketState { Open, Closed, Break };

// The week of an instrument quoted in the page, by its catalogue or display name. A derived
// instrument has no week of its own (see MarketLegs); it answers Fx here.
TradingWeek TradingWeekOf(const QString& name);

// The quoted instruments a name is computed from: the legs of a derived instrument, the name
// itself for any other.
QStringList MarketLegs(const QString& name);

struct MarketStatus {
    // A derived instrument is open when all its legs are; when not, it is in a break only when
    // no leg is closed.
    MarketState State = MarketState::Closed;
    // The next moment the instrument (all its legs) opens; invalid while open.
    QDateTime NextOpening;
    // The latest close at or before now: a quote made in the session that ended then is the
    // last the market gave.
    QDateTime LastClose;
};

// An invalid moment counts as open.
MarketStatus MarketStatusOf(const QString& name, const QDateTime& nowUtc);

struct SelectionHours {
    // Every instrument of the list is closed or in a break; false for an empty list.
    bool AllClosed = false;
    // The first of the next openings; invalid unless AllClosed.
    QDateTime FirstOpening;
};

SelectionHours HoursOfSelection(const QStringList& names, const QDateTime& nowUtc);

// A quote of an open market that has not moved for this long is shown with its age.
inline constexpr qint64 kQuietQuoteSeconds = 120;

// How far apart downloads are while every selected market is closed.
inline constexpr qint64 kClosedPollSeconds = 10 * 60;

// When the refresh cycle may download next after the download at lastDownloadUtc: at once while
// something is open; while all is closed ten minutes later, but never after the first opening.
QDateTime NextDownloadTime(const SelectionHours& hours, const QDateTime& lastDownloadUtc);

// The time line while all is closed, the opening in local time: "休市 · 周一 06:00 开盘";
// "休市 · 今天 06:00 开盘" for an opening later today, "休市 · 12-28 06:00 开盘" for one a week
// or more away, "休市" when no opening is known.
QString ClosedTimeLine(const QDateTime& nextOpeningUtc, const QDateTime& nowUtc);

// The age of a quote: "刚刚" under a minute (and for a time ahead of now), "3分钟前" up to sixty
// minutes, "2小时前" beyond.
QString QuoteAgeText(const QDateTime& quotedUtc, const QDateTime& nowUtc);

// The line shown when every value has been withdrawn for its age: "行情已 12 分钟未更新", in
// hours beyond sixty minutes ("行情已 3 小时未更新").
QString StaleQuotesText(const QDateTime& lastUpdateUtc, const QDateTime& nowUtc);
// Whether a gateway's reason is that text: its sources answer, their quotes stopped.
bool IsStaleQuotesText(const QString& text);

}  // namespace kestrel
