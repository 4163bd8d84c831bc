// One instrument as a record for scripts and browsers: the value rounded as the window shows it,
// the change since the previous close, where and when the value was quoted, and the state of its
// market. `kestrel --print` and the gateway's board write the same fields.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "markethours.h"

namespace kestrel {

struct QuoteFacts {
    QString Name;              // catalogue name
    double Value = 0;          // 0 or not finite: not known
    double PreviousClose = 0;  // 0: not given
    QDateTime Quoted;          // the quote's own time; invalid when not known
    QDateTime Updated;         // the download's time
    QString Source;            // empty when not known
    bool Demo = false;
    QString Reason;  // why the value is not known
};

struct QuoteRecord {
    QString Name, Display, Code;
    bool Known = false;
    double Value = 0;
    int Decimals = 4;
    QString Shown;       // the value as shown, empty when not known
    QStringList Change;  // previous close, change and percent as shown, each empty when unknown
    QString Time;        // ISO 8601 in the local zone with its offset
    std::optional<qint64> AgeSeconds;
    QString Source;
    bool Demo = false;
    MarketState Market = MarketState::Closed;
    bool Stale = false;  // the market is open and the quote has not moved for two minutes
    QString Reason;
};

// Every time in the local time zone, with its offset, whatever zone the source wrote it in.
QString IsoLocalTime(const QDateTime& time);
QString IsoLocalTime(qint64 msSinceEpoch);

// The number as shown with `decimals` ("0.00", not "-0.00"); empty when not known.
QString ShownNumber(bool known, double value, int decimals);

QString MarketText(MarketState state);

QuoteRecord MakeQuoteRecord(const QuoteFacts& facts);

// name, display, code, value, raw_value, reason, decimals, time, source, age_seconds, demo,
// previous_close, change, change_pct, market and stale; null where not known.
QJsonObject RecordJson(const QuoteRecord& record);

}  // namespace kestrel
