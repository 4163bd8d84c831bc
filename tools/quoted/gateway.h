// The real-feed source: polls each upstream on its own schedule, keeps what they answered and
// serves every ticker from that cache.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "feeds.h"
#include "util.h"

namespace kestrel::quoted {

enum class SourceKind { Portal, Boc, Ecb };

struct SourceConfig {
    SourceKind Kind;
    std::string Url;
    double PollSeconds;
};

struct GatewayOptions {
    std::vector<SourceConfig> Sources;  // in order of preference
    double StaleSeconds = 600;
    double BackoffMaxSeconds = 300;
    std::string Proxy;  // empty: the environment's proxy
};

// The default address and poll interval of a source, and the least interval the real service
// tolerates.
std::string DefaultUrl(SourceKind kind);
double DefaultPoll(SourceKind kind);
double LeastPoll(SourceKind kind);
const char* SourceName(SourceKind kind);

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
    // How long a cache in front may keep the page: the shortest poll.
    int CacheSeconds() const;

private:
    struct Source;
    struct Served {
        QString Name;
        Quote Value;
        const char* Source;
    };
    void Run(Source& source);
    // One upstream request; the seconds until the next.
    double Poll(Source& source);
    std::vector<QuoteMap> FreshQuotes(qint64 now) const;
    std::vector<Served> Choose(qint64 now) const;

    const GatewayOptions Options;
    StopSignal& Stop;
    std::mutex Mutex;
    std::vector<std::unique_ptr<Source>> Sources;
    // Each instrument's last accepted price from any source, and when: the band a new one
    // must fall in while it is fresh.
    std::map<QString, std::pair<double, qint64>> Accepted;
};

}  // namespace kestrel::quoted
