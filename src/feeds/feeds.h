// Readers of the public market-data answers the gateway polls, and the crosses it computes from
// their US dollar legs. Every reader is strict: a line that does not look exactly right is
// dropped with a reason, never served.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

namespace kestrel::feeds {

struct Quote {
    double Price = 0;
    double High = 0, Low = 0, PrevClose = 0;  // 0 when the source does not give one
    QDateTime Time;                           // the source's own time of the quote
    bool Reference = false;                   // a daily reference rate, not a live price
    qint64 ConfirmedMs = 0;                   // when the gateway last received it
};

// Keyed by the page's instrument name: legs as their pairs are quoted (欧元美元 in dollars per
// euro, 美元日元 in yen per dollar), commodities, the dollar index.
using QuoteMap = std::map<QString, Quote>;

struct Dropped {
    std::string Key;     // symbol or row the reason belongs to
    std::string Reason;  // with the offending text
};

struct Parsed {
    QuoteMap Quotes;
    std::vector<Dropped> Problems;
};

// The real-time quote service: statements var hq_str_SYM="f0,f1,...";, GB18030.
Parsed ParsePortal(const QByteArray& body);
// The symbols of one batched request, comma-separated.
std::string PortalSymbols();

// The bank's board: an HTML table of yuan per 100 units of each currency.
Parsed ParseBoc(const QByteArray& body);

// The central bank's daily XML file of units per euro.
Parsed ParseEcb(const QByteArray& body);

// Adds every cross whose two legs are in the map and were received within skewMs of each other.
void AddCrosses(QuoteMap& quotes, qint64 skewMs);

// The instruments of the page in page order: the catalogue less the derived ones.
const QStringList& PageInstruments();

}  // namespace kestrel::feeds
