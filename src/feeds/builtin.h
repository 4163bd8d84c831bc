// The ticker's own reader of the public feeds: one HTTP client per source on its worker thread,
// with the ticker's proxy settings and limits, each source asked no more often than its service
// tolerates whatever the refresh interval, the answers kept in a cache with its freshness rules.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
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

    // Asks every source that is due and not still answering an earlier request; a slow source
    // holds back no other. OnRefreshed runs in the GUI thread after each answer, or soon after
    // when no source was asked.
    void Refresh();
    // Drops the requests under way; OnRefreshed does not run for them.
    void Abort();
    // A source is still being asked.
    bool Busy() const;

    // The rates page made from the freshest values, or none when no value is left.
    std::optional<QString> Page() const;
    std::vector<Served> Quotes() const;
    // Why no value is left, naming each failing source: "数据源均已失效（新浪财经：HTTP 403）".
    QString FailureSummary() const;
    // When no value is left because the quotes stopped (the sources answer with old ones): the
    // time of the newest quote, ms since the epoch.
    std::optional<qint64> StoppedSinceMs() const;

    // Whether a source still being asked may bring the instrument: one that has served it
    // before, or one that has served nothing yet.
    bool Reading(const QString& name) const;
    // Whether the instrument's value came with the answer OnRefreshed reports.
    bool Renewed(const QString& name) const { return LastRenewed.contains(name); }
    // The instruments a source had but whose value is withheld, each with the short reason a
    // quote line has room for: "来源不一致", "超出合理范围", "与此前报价相差过大".
    std::map<QString, QString> Withheld() const;
    // The failing sources that may have the instrument (those that gave it in this run, or
    // nothing at all), each with its cause: "欧洲央行：找不到主机 www.ecb.europa.eu".
    QStringList FailingFor(const QString& name) const;
    // When the newest of the served values of these instruments was received (of every served
    // value when none of them is served); 0 when nothing is served.
    qint64 ReceivedMs(const QStringList& names) const;

    std::function<void()> OnRefreshed;
    // Milliseconds since the epoch, for the cache's freshness rules and the receipt times.
    std::function<qint64()> Clock;

private:
    void Answered(std::size_t source, const Answer& answer);

    TransferFactory Factory;
    std::vector<SourceConfig> Configs;
    std::unique_ptr<FeedCache> Cache;
    std::vector<std::unique_ptr<THTTPClient>> Clients;
    // Per source: a request is under way; the instruments it has served this run.
    std::vector<bool> Asking;
    std::vector<QSet<QString>> Gave;
    QSet<QString> LastRenewed;
    THTTPProxy Proxy;
    int MaxTransferMs = 60000;
    QString LastValuesFile;
    qint64 LastValuesWrittenMs = 0;
    std::shared_ptr<int> Generation = std::make_shared<int>(0);
};

}  // namespace kestrel::feeds
