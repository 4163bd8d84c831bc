// The real-feed source: polls each upstream on its own thread and schedule, keeps what they
// answered and serves every ticker from that cache.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "feeds/cache.h"
#include "stopsignal.h"

namespace kestrel {
class HistoryStore;
}

namespace kestrel::gateway {

using feeds::SourceConfig;
using feeds::SourceKind;

struct GatewayOptions {
    std::vector<SourceConfig> Sources;  // in order of preference
    double StaleSeconds = 600;
    double BackoffMaxSeconds = 300;
    std::string Proxy;                // empty: the environment's proxy
    HistoryStore* History = nullptr;  // records the live values served, when set
};

class Gateway {
public:
    Gateway(GatewayOptions options, StopSignal& stop);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // The page in GBK, or nothing when no source has a value left to serve.
    std::optional<std::string> Page();
    // Each source's health and each served instrument's age, as JSON.
    std::string Status();
    // Why there is no page, in UTF-8: "报价服务的数据源均已失效（新浪财经：HTTP 403）".
    std::string Reason();
    // How long a cache in front may keep the page: the shortest poll.
    int CacheSeconds() const;
    // What the board shows: every instrument served or withheld, in page order.
    BoardState BoardRows();
    std::uint64_t BoardVersion();
    const DayLines& Lines() const { return Day; }

private:
    void Run(std::size_t source);

    const GatewayOptions Options;
    StopSignal& Stop;
    std::mutex Mutex;
    feeds::FeedCache Cache;
    // The page as last made, for every request within the same second until an answer comes.
    qint64 PageSecond = -1;
    std::optional<std::string> LastPage;
    std::uint64_t Version = 0;  // counts the answers recorded
    DayLines Day;
    std::vector<std::thread> Threads;
};

}  // namespace kestrel::gateway
