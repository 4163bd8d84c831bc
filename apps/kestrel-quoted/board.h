// The board in a browser: one page at / that shows every instrument served, with its change
// since the close, a sparkline of the last 24 hours and the source and age of its value, and
// that reads /quotes.json again at every poll. Everything the page needs comes from here, so it
// works on a network without internet.
#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "http.h"

namespace kestrel::gateway {

// One instrument as the gateway holds it.
struct BoardRow {
    QString Name;              // catalogue name
    double Value = 0;          // 0: withheld, Reason says why
    double PreviousClose = 0;  // 0: not given
    QDateTime Time;            // the quote's own time
    QString Source;            // portal, ecb, boc, walk
    QString SourceTitle;       // as a trader knows it: 新浪财经
    bool Reference = false;    // a daily reference rate
    QString Reason;
};

struct BoardState {
    std::vector<BoardRow> Rows;
    qint64 UpdatedMs = 0;  // the newest value's arrival
    bool Demo = false;
    int PollSeconds = 10;
    std::uint64_t Version = 0;  // changes whenever a value may have
    QString Error;              // why nothing is served, when nothing is
};

// Each instrument's price of every quarter hour over the last 24 hours: the last one seen.
class DayLines {
public:
    static constexpr qint64 kStepMs = 15 * 60 * 1000;
    static constexpr int kSteps = 96;

    void Add(const QString& name, qint64 ms, double price);
    // The same for a price of the past, which gives way to any seen since.
    void AddEarlier(const QString& name, qint64 ms, double price);
    // The points from the quarter hour 24 hours before now's up to now's, null where none.
    QJsonArray Points(const QString& name, qint64 nowMs) const;

private:
    mutable std::mutex Mutex;
    std::map<QString, std::map<qint64, double>> Lines;  // by step number
};

// The document is never larger than this: beyond it the sparklines are left out.
constexpr std::size_t kMaxQuotesJsonBytes = 512 * 1024;

// /quotes.json: one record per instrument (see quotes/quoterecord.h) with its sparkline.
std::string QuotesJson(const BoardState& state, const DayLines& lines, qint64 nowMs);

// Bytes a cache may keep for maxAge seconds, with an ETag; a request that holds the same tag in
// If-None-Match gets 304 without them.
void ServeCached(const http::Request& req, http::Response& res, std::string body, std::string type,
                 int maxAge);

// /, /board.js, /board.css and /quotes.json.
class Board {
public:
    // version: cheap to ask, changes whenever state() may give other values.
    Board(std::function<BoardState()> state, std::function<std::uint64_t()> version,
          const DayLines& lines);
    void Register(http::Server& server);

private:
    std::string Json(qint64 nowMs, int& pollSeconds, bool& failed);

    std::function<BoardState()> State;
    std::function<std::uint64_t()> Version;
    const DayLines& Lines;
    std::mutex Mutex;
    // The document as last made, for every request within the same second of the same values.
    qint64 MadeSecond = -1;
    std::uint64_t MadeVersion = 0;
    std::string Made;
    int MadePoll = 10;
    bool MadeFailed = false;
};

}  // namespace kestrel::gateway
