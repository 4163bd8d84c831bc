#include "quotes/markethours.h"

#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>
#include <QTime>
#include <QTimeZone>

#include <algorithm>

#include "quotes/ratespage.h"

namespace kestrel {

namespace {

// One session of a trading week in its market's local time: it opens on a weekday at a time and
// closes a number of days later at a time.
struct Session {
    int OpenDay;  // Qt::DayOfWeek
    QTime Open;
    int Days;
    QTime Close;
    bool BreakAfter;  // the pause after it is the daily break, not a close
};

struct Week {
    const char* Zone;
    int FallbackOffset;  // seconds east of UTC, for a system without that zone
    QList<Session> Sessions;
};

const Week& WeekOf(TradingWeek kind) {
    const QTime t17(17, 0), t18(18, 0), t23(23, 0), t01(1, 0);
    static const Week fx{"America/New_York", -5 * 3600, {{Qt::Sunday, t17, 5, t17, false}}};
    static const Week globex{"America/New_York",
                             -5 * 3600,
                             {{Qt::Sunday, t18, 1, t17, true},
                              {Qt::Monday, t18, 1, t17, true},
                              {Qt::Tuesday, t18, 1, t17, true},
                              {Qt::Wednesday, t18, 1, t17, true},
                              {Qt::Thursday, t18, 1, t17, false}}};
    // The Sunday opening runs on into Monday's session.
    static const Week ice{"Europe/London",
                          0,
                          {{Qt::Sunday, t23, 1, t23, true},
                           {Qt::Tuesday, t01, 0, t23, true},
                           {Qt::Wednesday, t01, 0, t23, true},
                           {Qt::Thursday, t01, 0, t23, true},
                           {Qt::Friday, t01, 0, t23, false}}};
    const QTime open(9, 30), close(3, 0);
    static const Week yuan{"Asia/Shanghai",
                           8 * 3600,
                           {{Qt::Monday, open, 1, close, false},
                            {Qt::Tuesday, open, 1, close, false},
                            {Qt::Wednesday, open, 1, close, false},
                            {Qt::Thursday, open, 1, close, false},
                            {Qt::Friday, open, 1, close, false}}};
    switch (kind) {
        case TradingWeek::Globex:
            return globex;
        case TradingWeek::IceEurope:
            return ice;
        case TradingWeek::OnshoreYuan:
            return yuan;
        case TradingWeek::Fx:
            break;
    }
    return fx;
}

QTimeZone ZoneOf(const Week& week) {
    const QTimeZone zone(week.Zone);
    return zone.isValid() ? zone : QTimeZone(week.FallbackOffset);
}

struct Interval {
    QDateTime Open;
    QDateTime Close;
    bool BreakAfter = false;
};

// The sessions of a week from about nine days before the moment to nine days after, in order.
// That always holds the session before the moment and the next one of any pair of weeks.
QList<Interval> SessionsAround(TradingWeek kind, const QDateTime& nowUtc) {
    const Week& week = WeekOf(kind);
    const QTimeZone zone = ZoneOf(week);
    const QDate today = nowUtc.toTimeZone(zone).date();
    QList<Interval> sessions;
    for (QDate day = today.addDays(-9); day <= today.addDays(9); day = day.addDays(1)) {
        for (const Session& s : week.Sessions) {
            if (s.OpenDay != day.dayOfWeek())
                continue;
            sessions.append({QDateTime(day, s.Open, zone).toUTC(),
                             QDateTime(day.addDays(s.Days), s.Close, zone).toUTC(), s.BreakAfter});
        }
    }
    return sessions;
}

// The times when both lists are open; neighbours that touch become one.
QList<Interval> Intersect(const QList<Interval>& a, const QList<Interval>& b) {
    QList<Interval> both;
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const QDateTime open = std::max(a[i].Open, b[j].Open);
        const QDateTime close = std::min(a[i].Close, b[j].Close);
        if (open < close) {
            if (!both.isEmpty() && both.last().Close == open)
                both.last().Close = close;
            else
                both.append({open, close, false});
        }
        if (a[i].Close < b[j].Close)
            ++i;
        else
            ++j;
    }
    return both;
}

MarketState StateIn(const QList<Interval>& sessions, const QDateTime& nowUtc) {
    const Interval* before = nullptr;
    for (const Interval& s : sessions) {
        if (s.Open <= nowUtc && nowUtc < s.Close)
            return MarketState::Open;
        if (s.Close <= nowUtc)
            before = &s;
    }
    return before && before->BreakAfter ? MarketState::Break : MarketState::Closed;
}

// The texts' translation context.
struct MarketTexts {
    Q_DECLARE_TR_FUNCTIONS(MarketHours)
};

}  // namespace

TradingWeek TradingWeekOf(const QString& name) {
    if (name == u"NYMEX原油" || name == u"纽约原油" || name == u"天然气")
        return TradingWeek::Globex;
    if (name == u"布伦特原油")
        return TradingWeek::IceEurope;
    if (name == u"美元人民币")
        return TradingWeek::OnshoreYuan;
    return TradingWeek::Fx;
}

QStringList MarketLegs(const QString& name) {
    const QStringList legs = DerivedLegs(name);
    return legs.isEmpty() ? QStringList{name} : legs;
}

MarketStatus MarketStatusOf(const QString& name, const QDateTime& nowUtc) {
    const QDateTime now = nowUtc.toUTC();
    MarketStatus status;
    status.State = MarketState::Open;
    // Without a clock to go by nothing is held back.
    if (!now.isValid())
        return status;
    QList<Interval> together;
    bool first = true;
    for (const QString& leg : MarketLegs(name)) {
        const QList<Interval> sessions = SessionsAround(TradingWeekOf(leg), now);
        const MarketState state = StateIn(sessions, now);
        // One closed leg closes the instrument; a leg in its break holds an open one.
        if (state == MarketState::Closed ||
            (state == MarketState::Break && status.State == MarketState::Open))
            status.State = state;
        together = first ? sessions : Intersect(together, sessions);
        first = false;
    }
    for (const Interval& s : together) {
        if (s.Close <= now)
            status.LastClose = s.Close;
        if (status.State != MarketState::Open && s.Open > now && !status.NextOpening.isValid())
            status.NextOpening = s.Open;
    }
    return status;
}

SelectionHours HoursOfSelection(const QStringList& names, const QDateTime& nowUtc) {
    SelectionHours hours;
    for (const QString& name : names) {
        const MarketStatus status = MarketStatusOf(name, nowUtc);
        if (status.State == MarketState::Open)
            return {};
        if (status.NextOpening.isValid() &&
            (!hours.FirstOpening.isValid() || status.NextOpening < hours.FirstOpening))
            hours.FirstOpening = status.NextOpening;
        hours.AllClosed = true;
    }
    return hours;
}

QDateTime NextDownloadTime(const SelectionHours& hours, const QDateTime& lastDownloadUtc) {
    if (!hours.AllClosed)
        return lastDownloadUtc;
    const QDateTime later = lastDownloadUtc.addSecs(kClosedPollSeconds);
    return hours.FirstOpening.isValid() ? std::min(later, hours.FirstOpening.toUTC()) : later;
}

QString ClosedTimeLine(const QDateTime& nextOpeningUtc, const QDateTime& nowUtc) {
    if (!nextOpeningUtc.isValid())
        return MarketTexts::tr("休市");
    static const char* const weekdays[] = {
        QT_TRANSLATE_NOOP("MarketHours", "周一"), QT_TRANSLATE_NOOP("MarketHours", "周二"),
        QT_TRANSLATE_NOOP("MarketHours", "周三"), QT_TRANSLATE_NOOP("MarketHours", "周四"),
        QT_TRANSLATE_NOOP("MarketHours", "周五"), QT_TRANSLATE_NOOP("MarketHours", "周六"),
        QT_TRANSLATE_NOOP("MarketHours", "周日")};
    const QDateTime opening = nextOpeningUtc.toLocalTime();
    const qint64 days = nowUtc.toLocalTime().date().daysTo(opening.date());
    QString day;
    if (days <= 0)
        day = MarketTexts::tr("今天");
    else if (days < 7)
        day = MarketTexts::tr(weekdays[opening.date().dayOfWeek() - 1]);
    else
        day = opening.toString(QStringLiteral("MM-dd"));
    return MarketTexts::tr("休市 · %1 %2 开盘").arg(day, opening.toString(QStringLiteral("hh:mm")));
}

QString QuoteAgeText(const QDateTime& quotedUtc, const QDateTime& nowUtc) {
    const qint64 minutes = quotedUtc.secsTo(nowUtc) / 60;
    if (minutes <= 0)
        return MarketTexts::tr("刚刚");
    if (minutes <= 60)
        return MarketTexts::tr("%1分钟前").arg(minutes);
    return MarketTexts::tr("%1小时前").arg(minutes / 60);
}

QString StaleQuotesText(const QDateTime& lastUpdateUtc, const QDateTime& nowUtc) {
    const qint64 minutes = std::max<qint64>(0, lastUpdateUtc.secsTo(nowUtc) / 60);
    if (minutes <= 60)
        return MarketTexts::tr("行情已 %1 分钟未更新").arg(minutes);
    return MarketTexts::tr("行情已 %1 小时未更新").arg(minutes / 60);
}

bool IsStaleQuotesText(const QString& text) {
    static const QRegularExpression stale(QStringLiteral("^行情已 \\d+ (分钟|小时)未更新$"));
    return stale.match(text).hasMatch();
}

}  // namespace kestrel
