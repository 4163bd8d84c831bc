#include "plausibility.h"

#include <QDateTime>
#include <cmath>

#include "quotes/catalogue.h"

namespace kestrel::feeds {

namespace {

std::string Text(double value) {
    return QString::number(value, 'g', 8).toStdString();
}

// How far a price is from a reference, as a share of the reference.
double Distance(double price, double reference) {
    return std::abs(price / reference - 1);
}

}  // namespace

std::optional<std::string> ImplausibleValue(double price, const QString& instrument) {
    if (!std::isfinite(price) || price <= 0)
        return "not a positive number: " + Text(price);
    if (price > kLargestPrice)
        return "too large: " + Text(price);
    // The page shows two decimals more than the ticker; what rounds to zero there is no price.
    const int decimals = DecimalsFor(instrument) + 2;
    if (price < 0.5 * std::pow(10.0, -decimals))
        return "rounds to zero: " + Text(price);
    return std::nullopt;
}

std::optional<std::string> ImplausibleQuote(const Quote& quote, const QString& instrument,
                                            double lastAccepted, qint64 nowMs,
                                            double staleSeconds) {
    if (auto reason = ImplausibleValue(quote.Price, instrument))
        return reason;
    if (!quote.Time.isValid())
        return "no time of its own";
    const qint64 age = nowMs - quote.Time.toMSecsSinceEpoch();
    const qint64 life = quote.Reference ? kReferenceLifeMs : qint64(staleSeconds * 1000);
    const std::string dated = quote.Time.toString(Qt::ISODate).toStdString();
    if (age > life)
        return "dated " + dated + ", older than " + std::to_string(life / 1000) + " s";
    if (age < -kClockSkewMs)
        return "dated " + dated + ", in the future";
    if (quote.PrevClose > 0 && Distance(quote.Price, quote.PrevClose) > kPlausibleBand)
        return Text(quote.Price) + " is too far from the previous close " + Text(quote.PrevClose);
    if (lastAccepted > 0 && Distance(quote.Price, lastAccepted) > kPlausibleBand)
        return Text(quote.Price) + " is too far from the last accepted " + Text(lastAccepted);
    return std::nullopt;
}

}  // namespace kestrel::feeds
