// The ticker's own reader of the public feeds: one HTTP client per source on its worker thread,
// with the ticker's proxy settings and limits, each source asked no more often than its service
// tolerates whatever the refresh interval, the answers kept in a cache with its freshness rules.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "feeds/cache.h"
#include "net/httpclient.h"

namespace kestrel {
struct Settings;
}

namespace kestrel::feeds {

// The sources of [Sources] in their order, each asked as often as its service tolerates.
std::vector<SourceConfig> BuiltinSources(const Settings& settings);

class BuiltinSource {
public:
    explicit BuiltinSource(TransferFactory factory = DefaultTransferFactory());
    ~BuiltinSource();
    BuiltinSource(const BuiltinSource&) = delete;
    BuiltinSource& operator=(const BuiltinSource&) = delete;

    // Takes new sources; the cache starts afresh only when they differ from the current ones.
    void SetSources(const std::vector<SourceConfig>& sources);
    // Keeps the values shown in this file, and holds the first answers against those it has
    // from an earlier run.
    void KeepLastValues(const QString& path);
    // How the requests go out: the rates page client's proxy and limits.
    void Configure(const THTTPProxy& proxy, int maxTransferMs);

    // Asks every source that is due. OnRefreshed runs in the GUI thread once they have all
    // answered, or soon after when none was due.
    void Refresh();
    // Drops the requests under way; OnRefreshed does not run for them.
    void Abort();
    bool Busy() const { return Pending > 0; }

    // The rates page made from the freshest values, or none when no value is left.
    std::optional<QString> Page() const;
    std::vector<Served> Quotes() const;
    // Why no value is left, naming each failing source: "数据源均已失效（新浪财经：HTTP 403）".
    QString FailureSummary() const;

    std::function<void()> OnRefreshed;

private:
    void Answered(std::size_t source, const Answer& answer);

    TransferFactory Factory;
    std::vector<SourceConfig> Configs;
    std::unique_ptr<FeedCache> Cache;
    std::vector<std::unique_ptr<THTTPClient>> Clients;
    THTTPProxy Proxy;
    int MaxTransferMs = 60000;
    int Pending = 0;
    QString LastValuesFile;
    qint64 LastValuesWrittenMs = 0;
    std::shared_ptr<int> Generation = std::make_shared<int>(0);
};

}  // namespace kestrel::feeds
