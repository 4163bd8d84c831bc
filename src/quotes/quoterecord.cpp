#include "quoterecord.h"

#include <QJsonValue>
#include <algorithm>
#include <cmath>

#include "catalogue.h"

namespace kestrel {

QString IsoLocalTime(const QDateTime& time) {
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QString IsoLocalTime(qint64 msSinceEpoch) {
    return IsoLocalTime(QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC));
}

QString ShownNumber(bool known, double value, int decimals) {
    if (!known)
        return {};
    const QString text = QString::number(value, 'f', decimals);
    return text.toDouble() == 0 ? QString::number(0.0, 'f', decimals) : text;
}

QString MarketText(MarketState state) {
    switch (state) {
        case MarketState::Open:
            return QStringLiteral("open");
        case MarketState::Break:
            return QStringLiteral("break");
        case MarketState::Closed:
            break;
    }
    return QStringLiteral("closed");
}

QuoteRecord MakeQuoteRecord(const QuoteFacts& facts) {
    QuoteRecord r;
    r.Name = facts.Name;
    r.Display = ShownInstrumentName(facts.Name);
    r.Code = InstrumentCode(facts.Name);
    r.Known = facts.Value != 0 && std::isfinite(facts.Value);
    r.Value = facts.Value;
    r.Decimals = DecimalsFor(DisplayName(facts.Name));
    r.Shown = ShownNumber(r.Known, facts.Value, r.Decimals);
    const double close = facts.PreviousClose;
    const bool closed = r.Known && close > 0;
    r.Change = {ShownNumber(closed, close, r.Decimals),
                ShownNumber(closed, facts.Value - close, r.Decimals),
                ShownNumber(closed, (facts.Value - close) / close * 100, 2)};
    r.Time = IsoLocalTime(facts.Updated);
    if (facts.Quoted.isValid()) {
        r.Time = IsoLocalTime(facts.Quoted);
        r.AgeSeconds = std::max<qint64>(0, facts.Quoted.secsTo(facts.Updated));
    }
    r.Source = facts.Source;
    r.Demo = facts.Demo;
    r.Market = MarketStatusOf(facts.Name, facts.Updated.toUTC()).State;
    r.Stale = r.Known && r.Market == MarketState::Open && r.AgeSeconds &&
              *r.AgeSeconds > kQuietQuoteSeconds;
    r.Reason = r.Known ? QString() : facts.Reason;
    return r;
}

QJsonObject RecordJson(const QuoteRecord& r) {
    const auto number = [](const QString& text) {
        return text.isEmpty() ? QJsonValue() : QJsonValue(text.toDouble());
    };
    return QJsonObject{
        {QStringLiteral("name"), r.Name},
        {QStringLiteral("display"), r.Display},
        {QStringLiteral("code"), r.Code},
        {QStringLiteral("value"), number(r.Shown)},
        {QStringLiteral("raw_value"), r.Known ? QJsonValue(r.Value) : QJsonValue()},
        {QStringLiteral("reason"), r.Known ? QJsonValue() : QJsonValue(r.Reason)},
        {QStringLiteral("decimals"), r.Decimals},
        {QStringLiteral("time"), r.Time},
        {QStringLiteral("source"), r.Source.isEmpty() ? QJsonValue() : QJsonValue(r.Source)},
        {QStringLiteral("age_seconds"), r.AgeSeconds ? QJsonValue(*r.AgeSeconds) : QJsonValue()},
        {QStringLiteral("demo"), r.Demo},
        {QStringLiteral("previous_close"), number(r.Change.value(0))},
        {QStringLiteral("change"), number(r.Change.value(1))},
        {QStringLiteral("change_pct"), number(r.Change.value(2))},
        {QStringLiteral("market"), MarketText(r.Market)},
        {QStringLiteral("stale"), r.Stale},
    };
}

}  // namespace kestrel
