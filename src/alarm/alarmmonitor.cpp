#include "alarm/alarmmonitor.h"

#include <cmath>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"

namespace kestrel {

namespace {

// The tolerance sits on the product, not on the prices: a reference lying exactly on P fires
// with any later price, and rounding noise in two prices next to P still counts as reaching it.
constexpr long double kTouchTolerance = 1e-10L;

// The digits the window shows for the price, whatever the desktop's number format.
QString Fixed(const QString& ccy, long double value) {
    return FixedText(value, DecimalsFor(ccy));
}

}  // namespace

AlarmVerdict CheckCrossing(const AlarmSettings& settings, long double& MonitorPrevQuote,
                           long double MonitorQuote) {
    if (!settings.UseMonitor || settings.MonitorCcy.isEmpty())
        return AlarmVerdict::Disarmed;
    // A non-finite quote would make the product NaN, every later test false, and, once taken
    // as the reference, silence the alarm for good.
    if (MonitorQuote == 0 || !std::isfinite(MonitorQuote))
        return AlarmVerdict::NoPrice;
    if (MonitorPrevQuote == 0) {
        MonitorPrevQuote = MonitorQuote;
        return AlarmVerdict::Recorded;
    }
    const long double p = settings.MonitorPrice;
    if ((p - MonitorPrevQuote) * (p - MonitorQuote) <= kTouchTolerance)
        return AlarmVerdict::Raise;
    MonitorPrevQuote = MonitorQuote;
    return AlarmVerdict::Moved;
}

QString AlarmPriceText(const QString& ccy, long double price) {
    return Fixed(ccy, price);
}

QString AlarmLine(const QDateTime& stamp, const QString& ccy, long double quote) {
    return stamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" 【") +
           ShownInstrumentName(ccy) + QStringLiteral("】 ") + Fixed(ccy, quote);
}

}  // namespace kestrel
