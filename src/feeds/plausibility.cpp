#include "plausibility.h"

#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <cmath>

#include "quotes/catalogue.h"
#include "quotes/markethours.h"

namespace kestrel::feeds {

using namespace Qt::Literals::StringLiterals;

namespace {

struct FeedTexts {
    Q_DECLARE_TR_FUNCTIONS(Feeds)
};

std::string Text(double value) {
    return QString::number(value, 'g', 8).toStdString();
}

// How far a price is from a reference, as a share of the reference.
double Distance(double price, double reference) {
    return std::abs(price / reference - 1);
}

// Why a number is no price at all, whatever the instrument.
std::optional<std::string> NoPrice(double price, const QString& instrument) {
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

std::optional<std::string> OutOfRange(double price, const QString& instrument) {
    const auto range = PlausibleRange(instrument);
    if (range && (price < range->first || price > range->second))
        return Text(price) + " is outside the range " + Text(range->first) + " to " +
               Text(range->second);
    return std::nullopt;
}

}  // namespace

std::optional<std::pair<double, double>> PlausibleRange(const QString& instrument) {
    // Where ten times off cannot fall outside (gold at 434, gas at 0.28 are both real prices
    // of some decade), the other references have to catch it.
    static const QHash<QString, std::pair<double, double>> ranges = {
        {u"美元指数"_s, {50, 200}},   {u"欧元美元"_s, {0.5, 2.5}},  {u"英镑美元"_s, {0.6, 3}},
        {u"美元日元"_s, {50, 300}},   {u"澳元美元"_s, {0.3, 1.5}},  {u"美元加元"_s, {0.7, 2.5}},
        {u"美元瑞郎"_s, {0.4, 2}},    {u"纽元美元"_s, {0.25, 1.2}}, {u"美元人民币"_s, {4, 12}},
        {u"美元坡元"_s, {0.8, 2.5}},  {u"瑞典克郎"_s, {4, 20}},     {u"美元港币"_s, {6, 10}},
        {u"欧元英镑"_s, {0.5, 1.5}},  {u"欧元日元"_s, {60, 400}},   {u"澳元日元"_s, {30, 200}},
        {u"英镑日元"_s, {80, 500}},   {u"欧元瑞郎"_s, {0.5, 2.5}},  {u"欧元加元"_s, {0.8, 3}},
        {u"欧元澳元"_s, {0.9, 3}},    {u"英镑港币"_s, {5, 25}},     {u"英镑瑞郎"_s, {0.6, 3.5}},
        {u"英镑坡元"_s, {1, 4}},      {u"英镑加元"_s, {1, 3.5}},    {u"英镑澳元"_s, {1, 3.5}},
        {u"澳元加元"_s, {0.5, 1.6}},  {u"澳元瑞郎"_s, {0.3, 1.5}},  {u"澳元港币"_s, {2.5, 10}},
        {u"加元日元"_s, {40, 250}},   {u"瑞郎日元"_s, {50, 400}},   {u"NYMEX原油"_s, {10, 400}},
        {u"布伦特原油"_s, {10, 400}}, {u"天然气"_s, {0.5, 25}},     {u"现货黄金"_s, {300, 20000}},
        {u"现货白银"_s, {10, 500}},
    };
    const auto it = ranges.find(instrument);
    if (it == ranges.end())
        return std::nullopt;
    return *it;
}

std::optional<std::string> ImplausibleValue(double price, const QString& instrument) {
    if (auto reason = NoPrice(price, instrument))
        return reason;
    return OutOfRange(price, instrument);
}

// While its market is closed, an instrument's price is the quote it had at the close: one still
// fresh when the last session ended.
bool LastOfTheSession(const Quote& quote, const QString& instrument, qint64 nowMs,
                      double staleSeconds) {
    const MarketStatus status =
        MarketStatusOf(instrument, QDateTime::fromMSecsSinceEpoch(nowMs, Qt::UTC));
    return status.State != MarketState::Open && status.LastClose.isValid() &&
           quote.Time.toMSecsSinceEpoch() >=
               status.LastClose.toMSecsSinceEpoch() - qint64(staleSeconds * 1000);
}

std::optional<Refusal> CheckQuote(const Quote& quote, const QString& instrument,
                                  double lastAccepted, qint64 nowMs, double staleSeconds) {
    const QString value = QString::number(quote.Price, 'g', 8);
    if (auto reason = NoPrice(quote.Price, instrument))
        return Refusal{*reason, FeedTexts::tr("%1 超出合理范围").arg(value)};
    if (!quote.Time.isValid())
        return Refusal{"no time of its own", FeedTexts::tr("报价没有时间")};
    const qint64 age = nowMs - quote.Time.toMSecsSinceEpoch();
    const qint64 life = quote.Reference ? kReferenceLifeMs : qint64(staleSeconds * 1000);
    const std::string dated = quote.Time.toString(Qt::ISODate).toStdString();
    if (age > life &&
        (quote.Reference || !LastOfTheSession(quote, instrument, nowMs, staleSeconds)))
        return Refusal{"dated " + dated + ", older than " + std::to_string(life / 1000) + " s",
                       ShownReason(kOutdatedText)};
    if (age < -kClockSkewMs)
        return Refusal{"dated " + dated + ", in the future", FeedTexts::tr("报价时间有误")};
    if (quote.PrevClose > 0 && Distance(quote.Price, quote.PrevClose) > kPlausibleBand)
        return Refusal{
            Text(quote.Price) + " is too far from the previous close " + Text(quote.PrevClose),
            FeedTexts::tr("%1 与昨收相差过大").arg(value)};
    if (lastAccepted > 0 && Distance(quote.Price, lastAccepted) > kPlausibleBand)
        return Refusal{
            Text(quote.Price) + " is too far from the last accepted " + Text(lastAccepted),
            value + u' ' + ShownReason(kFarFromEarlierText)};
    if (auto reason = OutOfRange(quote.Price, instrument))
        return Refusal{*reason, FeedTexts::tr("%1 超出合理范围").arg(value)};
    return std::nullopt;
}

std::optional<std::string> ImplausibleQuote(const Quote& quote, const QString& instrument,
                                            double lastAccepted, qint64 nowMs,
                                            double staleSeconds) {
    if (auto refusal = CheckQuote(quote, instrument, lastAccepted, nowMs, staleSeconds))
        return refusal->Reason;
    return std::nullopt;
}

Verdict Decide(const std::vector<double>& values, const std::optional<Reference>& reference,
               qint64 nowMs) {
    std::vector<int> given;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] > 0)
            given.push_back(int(i));
    }
    if (given.empty())
        return {};
    const auto [low, high] = std::minmax_element(
        given.begin(), given.end(), [&](int a, int b) { return values[a] < values[b]; });
    if (values[*high] / values[*low] > 1 + kPlausibleBand)
        return {-1, ShownReason(kSourcesDisagreeText)};
    // A second source that agrees vouches for the value, even against an earlier one that was
    // wrong; the first in order is served.
    if (given.size() > 1 || !reference || reference->Price <= 0)
        return {given.front(), {}};
    double band = kPlausibleBand;
    const qint64 age = nowMs - reference->Ms;
    if (reference->EarlierRun && age > kEarlierRunIgnoredMs)
        return {given.front(), {}};
    if (reference->EarlierRun && age > kEarlierRunWeakMs)
        band *= 2;
    if (Distance(values[given.front()], reference->Price) > band)
        return {-1, ShownReason(kFarFromEarlierText)};
    return {given.front(), {}};
}

}  // namespace kestrel::feeds
