// The alarm rules of [Alarms] checked against the prices of one download, and the one
// notification that says what fired.
//
// Wiring: after each completed download the main window gives Check() the fresh value of every
// instrument it has (the selection's and those the rules name), writes the lines of
// AlarmCheck::Changed back to [Alarms] under their keys, and when Fired is not empty shows
// ComposeAlarmNotice(Fired) once and runs the alarm command for each firing. SetRules() after
// every load of the settings.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "alarm/alarmmonitor.h"
#include "alarm/alarmrule.h"
#include "quotes/ratespage.h"

namespace kestrel {

// One instrument's value in a download.
struct AlarmTick {
    QString Name;
    long double Price = 0;  // 0 or not finite: no value
    QDateTime QuoteTime;    // the quote's own time; the download's time where the source has none
    long double PreviousClose = 0;  // from the sources (price − change); 0 when unknown
    bool Demo = false;              // from a page marked demo
};

// The instrument's value in the page, dated by its own quote time where the page has one and
// by the download otherwise.
AlarmTick AlarmTickOf(const RatesPage& page, const QString& name, const QDateTime& downloaded);

// The alarm of Param/UseMonitor as a rule, for the texts it is told with (key "UseMonitor").
AlarmRule MonitorRule(const AlarmSettings& settings);

struct AlarmFiring {
    AlarmRule Rule;  // as it stood when it fired (a once rule still enabled)
    AlarmTick Tick;
    QDateTime At;  // the clock's time of the check
};

struct AlarmCheck {
    QList<AlarmFiring> Fired;
    QList<AlarmRule> Changed;  // rules whose line is to be written back: a once rule turned off
};

// A rearming rule fires again once the condition has been false by a dead-band (a price rule: a
// tenth of the threshold's distance from the reference; a percent rule: a tenth of the
// percentage), and no sooner than kRearmAfter after its last firing. move_pct compares the price
// with every price of its instrument in the last Minutes minutes (by quote time). The
// notification's silence action stops the sound; its default action shows the ticker.
//
// Lives on the GUI thread, costs no I/O. A price counts only when it can be true: not 0, not
// stale or in the future by more than freshFor by its own quote time, not from a demo page
// unless the rule was made on demo prices. A tick without a quote time is not taken.
class AlarmEvaluator {
public:
    using Clock = std::function<QDateTime()>;
    static constexpr std::chrono::seconds kRearmAfter{5 * 60};

    explicit AlarmEvaluator(Clock clock = &QDateTime::currentDateTimeUtc,
                            std::chrono::seconds freshFor = std::chrono::minutes(10));

    // The rules to watch from now on. A rule whose key and line are unchanged keeps what it has
    // seen (its reference, its window, its rearm wait); any other starts afresh, as an armed
    // alarm does. An unreadable rule is reported once in the evaluator's life and never checked.
    void SetRules(const QList<AlarmRule>& rules);
    const QList<AlarmRule>& Rules() const { return rules_; }

    // Checks every enabled rule against the fresh value of its instrument, if any.
    AlarmCheck Check(const QList<AlarmTick>& ticks);
    // Whether the price can be true now (demo or not is the caller's to judge).
    bool Fresh(const AlarmTick& tick) const;

private:
    struct State {
        // cross: the reference price; above, below: the last price short of the threshold.
        // A price rule's dead-band is a tenth of the threshold's distance from it.
        long double reference = 0;
        bool fired = false;
        bool cleared = false;  // since the last firing, the condition fell back by the band
        long double band = 0;  // the dead-band taken at the last firing
        QDateTime firedAt;
        // move_pct: the recent prices with their quote times (ms since the epoch)
        std::deque<std::pair<qint64, long double>> window;
    };
    struct Reading {
        bool holds = false;
        bool clear = false;
    };

    bool Fresh(const AlarmTick& tick, const QDateTime& now) const;
    static bool Read(const AlarmRule& rule, State& state, const AlarmTick& tick, Reading& out);

    Clock clock_;
    qint64 freshForSecs_;
    QList<AlarmRule> rules_;
    std::vector<State> states_;
    QSet<QString> reported_;
};

// One notification for the rules that fired in one download. The summary names the instruments
// with their prices ("欧元美元 1.1002"), the body the rules ("高于 1.1000"; with several, one line
// "欧元美元：高于 1.1000" each). Critical when a price rule (cross, above, below) is among them.
struct AlarmNotice {
    QString Summary;
    QString Body;
    bool Critical = false;
    // The actions as key and label: a click on the message ("default") shows the ticker,
    // kAlarmSilence stops the alarm's sound.
    QList<std::pair<QString, QString>> Actions;
};
inline const QString kAlarmShowTicker = QStringLiteral("default");
inline const QString kAlarmSilence = QStringLiteral("silence");
AlarmNotice ComposeAlarmNotice(const QList<AlarmFiring>& fired);

}  // namespace kestrel
