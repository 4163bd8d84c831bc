// What the public feeds last answered, source by source, and the rules that decide which of it may
// still be shown: each source is asked on its own schedule, backs off when it fails, and its
// values are withdrawn once it has failed too long.
#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "feeds.h"
#include "plausibility.h"

namespace kestrel::feeds {

enum class SourceKind { Portal, Boc, Ecb };

struct SourceConfig {
    SourceKind Kind;
    std::string Url;
    double PollSeconds;
};

// The default address and poll interval of a source, and the least interval the real service
// tolerates.
std::string DefaultUrl(SourceKind kind);
double DefaultPoll(SourceKind kind);
double LeastPoll(SourceKind kind);
const char* SourceName(SourceKind kind);
// The name a trader knows the source by: 新浪财经, 欧洲央行, 中国银行.
QString SourceTitle(SourceKind kind);

// One upstream answer, or why there was none.
struct Answer {
    long Status = 0;
    std::string Body;
    std::string Error;             // a transfer failure, empty when an answer came
    double RetryAfterSeconds = 0;  // how long the service asked to be left alone, 0: not said
};

struct Served {
    QString Name;
    Quote Value;
    SourceKind Source;
};

// What the sources served, by instrument.
using ServedMap = std::map<QString, Served>;

// Where a value came from: the served instrument's source, or for one computed from served legs
// their sources in leg order, each named once ("portal+ecb"); empty when no leg was served.
QString SourceOf(const QString& name, const ServedMap& served);

class FeedCache {
public:
    FeedCache(std::vector<SourceConfig> sources, double staleSeconds, double backoffMaxSeconds);

    std::size_t Count() const { return Sources.size(); }
    const SourceConfig& Config(std::size_t i) const { return Sources[i].Config; }
    // Where source i is asked (the portal's symbols appended).
    std::string RequestUrl(std::size_t i) const;
    // Whether source i should be asked now.
    bool Due(std::size_t i, qint64 nowMs) const { return nowMs >= Sources[i].NextPollMs; }

    // Source i is being asked from now on, until its answer is recorded.
    void Started(std::size_t i, qint64 nowMs) { Sources[i].TransferStartMs = nowMs; }
    // Takes source i's answer; the seconds until it should be asked again.
    double Record(std::size_t i, const Answer& answer, qint64 nowMs);

    // The page's instruments that may be shown: each from the first source in order that has it
    // fresh, when the other sources and the value shown before agree with it.
    std::vector<Served> Choose(qint64 nowMs) const;
    // The instruments withheld although a source had them, each with the reason the trader is
    // shown: "来源不一致", "与此前报价相差过大", "11.712 超出合理范围".
    std::map<QString, QString> Withheld(qint64 nowMs) const;

    // Takes values shown before (an earlier run's, or another cache's) as the references new
    // ones are held against; a value not on the page or outside its range is ignored, and none
    // replaces one accepted here.
    void Remember(const std::map<QString, Reference>& values);
    // The last value accepted for each instrument, to be remembered by a later run.
    const std::map<QString, Reference>& LastValues() const { return Accepted; }
    // The rates page made of them (marker line included), or nothing when none is left.
    std::optional<QString> Page(qint64 nowMs) const;
    // Each source's health and each served instrument's age.
    QJsonObject Status(qint64 nowMs) const;
    // Why no value is left: "数据源均已失效（新浪财经：HTTP 403）", naming each source that has
    // failed, or "行情已 12 分钟未更新" when the sources answer with quotes that stopped; empty
    // while a value is left.
    QString FailureSummary(qint64 nowMs) const;
    // When no value is left because the sources still answer but their quotes stopped moving
    // (all of them older than the stale time): the time of the newest quote they gave.
    std::optional<qint64> StoppedSinceMs(qint64 nowMs) const;

    const std::string& LastError(std::size_t i) const { return Sources[i].LastError; }
    // Why source i's last request failed, in a few words ("HTTP 403", "找不到主机 ..."); empty
    // while it has not failed since its last answer.
    QString FailureCause(std::size_t i) const;
    int Failures(std::size_t i) const { return Sources[i].Failures; }
    bool Answered(std::size_t i) const { return Sources[i].LastSuccessMs > 0; }

    // Receives the lines worth a log: dropped quotes (once per symbol and reason) and changes of
    // a source's health.
    std::function<void(const std::string&)> Log;

private:
    struct Source {
        SourceConfig Config;
        QuoteMap Quotes;
        qint64 LastSuccessMs = 0, LastErrorMs = 0, NextPollMs = 0;
        qint64 TransferStartMs = 0;  // 0: no request under way
        std::string LastError;
        long LastStatus = 0;  // of the last failure, when it was an answer
        int Failures = 0;
        double BackoffSeconds = 0;
        long Requests = 0;
        std::map<std::string, std::string> Logged;  // what was last reported for each symbol
        std::map<QString, QString> Refused;         // the last answer's refused instruments
        bool OnlyOld = false;      // the last answer had quotes, every one of them too old
        qint64 NewestQuoteMs = 0;  // the newest quote time any answer carried
    };
    struct Decision {
        std::vector<Served> Shown;
        std::map<QString, QString> Withheld;
    };
    void Say(const std::string& line) const;
    std::vector<QuoteMap> FreshQuotes(qint64 nowMs, std::map<QString, QString>& refused) const;
    Decision Settled(qint64 nowMs) const;
    std::optional<qint64> StoppedSince(const Decision& decision) const;

    double StaleSeconds, BackoffMaxSeconds;
    std::vector<Source> Sources;
    // Each instrument's last accepted price from any source, and when: the band a new one must
    // fall in unless a second source vouches for it. It never expires by waiting.
    std::map<QString, Reference> Accepted;
};

}  // namespace kestrel::feeds
