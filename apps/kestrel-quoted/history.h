// The gateway's price history: the live values it serves, recorded in the same store the ticker
// keeps, and served as /history?code=EURUSD[&from=..&to=..][&format=csv] for tickers that start
// later and for scripts.
#pragma once

#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "http.h"

namespace kestrel {
class HistoryStore;
}

namespace kestrel::gateway {

// The longest span one request may ask for, and the span when it names none.
constexpr qint64 kMaxHistorySpanMs = 7 * 86400 * 1000LL;
constexpr qint64 kDefaultHistorySpanMs = 86400 * 1000LL;

// The file of the user running the gateway: $XDG_DATA_HOME/kestrel/gateway-history.sqlite, apart
// from the ticker's own so that both can record.
QString DefaultGatewayHistoryPath();

// A moment of a query: Unix seconds, or an ISO 8601 time with its offset or Z; nothing for
// anything else (a time without an offset means nothing certain).
std::optional<qint64> ParseQueryTime(const std::string& text);

class HistoryRoutes {
public:
    // cacheSeconds: how long an answer may be kept, here and in a cache in front.
    HistoryRoutes(const HistoryStore& store, int cacheSeconds);
    void Register(http::Server& server);

private:
    void Serve(const http::Request& req, http::Response& res);

    const HistoryStore& Store;
    const int CacheSeconds;
    // Recent answers by their query, each with the second it was made.
    std::mutex Mutex;
    std::map<std::string, std::pair<qint64, std::string>> Recent;
};

}  // namespace kestrel::gateway
