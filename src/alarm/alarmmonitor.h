// The price alarm's decision after each download: has the watched price reached or crossed the
// alarm price since the reference price? And the texts the alarm window shows.
#pragma once

#include <QDateTime>
#include <QString>

namespace kestrel {

struct AlarmSettings {
    bool UseMonitor = false;
    QString MonitorCcy;
    long double MonitorPrice = 0;
    bool AlarmSound = false;
};

enum class AlarmVerdict {
    Disarmed,  // UseMonitor off or no instrument: nothing looked at
    NoPrice,   // the page has no price for the instrument; the reference stays
    Recorded,  // first price after arming: it becomes the reference, no alarm
    Raise,     // the price reached or crossed MonitorPrice; the reference stays frozen
    Moved,     // still on the near side: the reference follows the price
};

// MonitorPrevQuote is the reference price (0 = none yet) and is updated as the verdict says.
// The alarm fires when (P - reference) * (P - quote) <= 1e-10, from either side.
// A quote that is not a finite number counts as no price, so it can never become the reference.
AlarmVerdict CheckCrossing(const AlarmSettings& settings, long double& MonitorPrevQuote,
                           long double MonitorQuote);

// The alarm price as the window's label shows it: 2 or 4 decimals by DecimalsFor(ccy).
QString AlarmPriceText(const QString& ccy, long double price);

// One line of the alarm list: "yyyy-MM-dd hh:mm:ss 【ccy】 quote", the instrument by the name
// shown for it, the quote with 2 or 4 decimals.
QString AlarmLine(const QDateTime& stamp, const QString& ccy, long double quote);

}  // namespace kestrel
