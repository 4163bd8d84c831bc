#include "cache.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "page.h"
#include "plausibility.h"
#include "quotes/catalogue.h"
#include "quotes/markethours.h"

namespace kestrel::feeds {

using namespace Qt::Literals::StringLiterals;

namespace {

struct CacheTexts {
    Q_DECLARE_TR_FUNCTIONS(Feeds)
};

// Legs received further apart than this are not combined into a cross.
constexpr qint64 kCrossSkewMs = 5000;

QString IsoTime(qint64 ms) {
    return ms ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate) : QString();
}

// The address without user name and password, for the status page.
QString Shown(const std::string& url) {
    return QUrl(QString::fromStdString(url)).toString(QUrl::RemoveUserInfo);
}

QString Decimal(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

}  // namespace

std::string DefaultUrl(SourceKind kind) {
    switch (kind) {
        case SourceKind::Portal:
            return "https://hq.sinajs.cn/list=";
        case SourceKind::Boc:
            return "https://www.boc.cn/sourcedb/whpj/";
        case SourceKind::Ecb:
            return "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
    }
    return {};
}

double DefaultPoll(SourceKind kind) {
    return kind == SourceKind::Portal ? 10 : kind == SourceKind::Boc ? 600 : 3600;
}

double LeastPoll(SourceKind kind) {
    return kind == SourceKind::Portal ? 5 : kind == SourceKind::Boc ? 60 : 300;
}

const char* SourceName(SourceKind kind) {
    return kind == SourceKind::Portal ? "portal" : kind == SourceKind::Boc ? "boc" : "ecb";
}

QString SourceTitle(SourceKind kind) {
    return kind == SourceKind::Portal ? CacheTexts::tr("新浪财经")
           : kind == SourceKind::Boc  ? CacheTexts::tr("中国银行")
                                      : CacheTexts::tr("欧洲央行");
}

FeedCache::FeedCache(std::vector<SourceConfig> sources, double staleSeconds,
                     double backoffMaxSeconds)
    : StaleSeconds(staleSeconds), BackoffMaxSeconds(backoffMaxSeconds) {
    for (SourceConfig& config : sources)
        Sources.push_back(Source{std::move(config)});
}

std::string FeedCache::RequestUrl(std::size_t i) const {
    const SourceConfig& config = Sources[i].Config;
    return config.Url + (config.Kind == SourceKind::Portal ? PortalSymbols() : std::string());
}

void FeedCache::Say(const std::string& line) const {
    if (Log)
        Log(line);
}

double FeedCache::Record(std::size_t i, const Answer& answer, qint64 nowMs) {
    Source& source = Sources[i];
    const SourceKind kind = source.Config.Kind;
    const std::string name = SourceName(kind);
    const double poll = source.Config.PollSeconds;
    ++source.Requests;
    source.TransferStartMs = 0;
    source.OnlyOld = false;
    std::string error = answer.Error;
    if (error.empty() && answer.Status != 200)
        error = "HTTP status " + std::to_string(answer.Status);
    if (error.empty()) {
        const QByteArray body = QByteArray::fromStdString(answer.Body);
        Parsed parsed = kind == SourceKind::Portal ? ParsePortal(body)
                        : kind == SourceKind::Boc  ? ParseBoc(body)
                                                   : ParseEcb(body);
        // Each value on its own first; how it stands against the other sources and the value
        // shown before is settled across them all.
        std::map<QString, QString> refused;
        bool onlyOld = !parsed.Quotes.empty();
        std::erase_if(parsed.Quotes, [&](const auto& entry) {
            const auto refusal = CheckQuote(entry.second, entry.first, 0, nowMs, StaleSeconds);
            if (entry.second.Time.isValid())
                source.NewestQuoteMs =
                    std::max(source.NewestQuoteMs, entry.second.Time.toMSecsSinceEpoch());
            onlyOld = onlyOld && refusal && refusal->Shown == ShownReason(kOutdatedText);
            if (refusal) {
                parsed.Problems.push_back({entry.first.toStdString(), refusal->Reason});
                refused[entry.first] = refusal->Shown;
            }
            return refusal.has_value();
        });
        std::map<std::string, std::string> logged;
        for (const Dropped& d : parsed.Problems) {
            // Once per symbol and reason, not once per poll.
            if (source.Logged[d.Key] != d.Reason)
                Say(name + ": dropped " + d.Key + ": " + d.Reason);
            logged[d.Key] = d.Reason;
        }
        source.Logged = std::move(logged);
        source.Refused = refused;
        source.OnlyOld = onlyOld;
        if (parsed.Quotes.empty()) {
            // Named by the first instrument of the page that was refused, not by the status.
            error = CacheTexts::tr("答复中没有可用的报价").toStdString();
            for (const QString& instrument : PageInstruments()) {
                if (const auto it = refused.find(instrument); it != refused.end()) {
                    error = (instrument + u' ' + it->second).toStdString();
                    break;
                }
            }
        }
        for (auto& [instrument, quote] : parsed.Quotes) {
            quote.ConfirmedMs = nowMs;
            source.Quotes[instrument] = quote;
        }
        if (!parsed.Quotes.empty()) {
            for (const Served& s : Settled(nowMs).Shown)
                Accepted[s.Name] = {s.Value.Price, nowMs, false};
        }
    }
    if (error.empty()) {
        if (source.Failures > 0)
            Say(name + ": answering again");
        source.LastSuccessMs = nowMs;
        source.LastError.clear();  // its time stays, to say when the last one was
        source.Failures = 0;
        source.BackoffSeconds = 0;
        source.NextPollMs = nowMs + qint64(poll * 1000);
        return poll;
    }
    if (source.Failures == 0 || error != source.LastError)
        Say(name + ": " + error);
    source.LastError = error;
    source.LastStatus = answer.Error.empty() && answer.Status != 200 ? answer.Status : 0;
    source.LastErrorMs = nowMs;
    // Doubling after each failure: a service that is refused or overloaded bans addresses that
    // keep asking. A daily file is retried at the cap rather than a day later.
    // A service that says how long to stay away is obeyed, within the same ceiling.
    ++source.Failures;
    source.BackoffSeconds =
        std::max(std::min(poll * std::pow(2.0, std::min(source.Failures, 30)), BackoffMaxSeconds),
                 std::min(answer.RetryAfterSeconds, BackoffMaxSeconds));
    source.NextPollMs = nowMs + qint64(source.BackoffSeconds * 1000);
    return source.BackoffSeconds;
}

// Each source's values that are still fresh, with the crosses of its own legs.
std::vector<QuoteMap> FeedCache::FreshQuotes(qint64 nowMs,
                                             std::map<QString, QString>& refused) const {
    std::vector<QuoteMap> fresh;
    for (const Source& source : Sources) {
        // A value lives one poll interval plus the grace a failing source is given.
        const qint64 life = qint64((source.Config.PollSeconds + StaleSeconds) * 1000);
        QuoteMap quotes;
        for (const auto& [name, quote] : source.Quotes) {
            if (nowMs - quote.ConfirmedMs <= life)
                quotes[name] = quote;
        }
        AddCrosses(quotes, kCrossSkewMs);
        // A cross of two sound legs can still be nothing a page can show.
        std::erase_if(quotes, [&refused](const auto& entry) {
            if (!ImplausibleValue(entry.second.Price, entry.first))
                return false;
            refused.try_emplace(
                entry.first,
                CacheTexts::tr("%1 超出合理范围").arg(QString::number(entry.second.Price, 'g', 8)));
            return true;
        });
        fresh.push_back(std::move(quotes));
    }
    return fresh;
}

FeedCache::Decision FeedCache::Settled(qint64 nowMs) const {
    std::map<QString, QString> refusedCrosses;
    const std::vector<QuoteMap> fresh = FreshQuotes(nowMs, refusedCrosses);
    Decision decision;
    for (const QString& name : PageInstruments()) {
        std::vector<double> values;
        for (const QuoteMap& quotes : fresh) {
            const auto it = quotes.find(name);
            values.push_back(it == quotes.end() ? 0 : it->second.Price);
        }
        const auto reference = Accepted.find(name);
        const Verdict verdict = Decide(
            values, reference == Accepted.end() ? std::nullopt : std::optional(reference->second),
            nowMs);
        if (verdict.Source >= 0) {
            decision.Shown.push_back(
                {name, fresh[verdict.Source].at(name), Sources[verdict.Source].Config.Kind});
            continue;
        }
        QString reason = verdict.Reason;
        for (std::size_t i = 0; i < Sources.size() && reason.isEmpty(); ++i) {
            if (const auto it = Sources[i].Refused.find(name); it != Sources[i].Refused.end())
                reason = it->second;
        }
        if (reason.isEmpty() && refusedCrosses.contains(name))
            reason = refusedCrosses.at(name);
        if (!reason.isEmpty())
            decision.Withheld[name] = reason;
    }
    return decision;
}

std::vector<Served> FeedCache::Choose(qint64 nowMs) const {
    return Settled(nowMs).Shown;
}

std::map<QString, QString> FeedCache::Withheld(qint64 nowMs) const {
    return Settled(nowMs).Withheld;
}

void FeedCache::Remember(const std::map<QString, Reference>& values) {
    for (const auto& [name, value] : values) {
        if (PageInstruments().contains(name) && !ImplausibleValue(value.Price, name))
            Accepted.try_emplace(name, value);
    }
}

std::optional<QString> FeedCache::Page(qint64 nowMs) const {
    const std::vector<Served> served = Choose(nowMs);
    if (served.empty())
        return std::nullopt;
    static const QTimeZone beijing(8 * 3600);
    std::vector<PageRow> rows;
    for (const Served& s : served) {
        const Quote& q = s.Value;
        const int decimals = DecimalsFor(s.Name);
        const auto cell = [&s, decimals](double v) {
            return ImplausibleValue(v, s.Name) ? u"--"_s : Decimal(v, decimals + 2);
        };
        QString change = u"--"_s, percent = u"--"_s;
        if (q.PrevClose > 0) {
            const double delta = q.Price - q.PrevClose;
            change = (delta >= 0 ? u"+"_s : QString()) + Decimal(delta, decimals + 2);
            percent = QString::asprintf("%+.2f%%", delta / q.PrevClose * 100);
        }
        // The quote's own time, so that a weekend's last tick says when it was.
        const QString time = q.Reference
                                 ? q.Time.date().toString(u"yyyy-MM-dd") + u" 参考价"_s
                                 : q.Time.toTimeZone(beijing).toString(u"yyyy-MM-dd hh:mm:ss");
        rows.push_back(
            {s.Name, {cell(q.Price), u"--"_s, cell(q.High), cell(q.Low), change, percent, time}});
    }
    return RenderPage(rows, true, u"gb2312"_s);
}

QJsonObject FeedCache::Status(qint64 nowMs) const {
    QJsonArray sources;
    for (const Source& s : Sources) {
        // A request still running past its poll time is the news, not "failures 0".
        const double running = s.TransferStartMs ? (nowMs - s.TransferStartMs) / 1000.0 : 0;
        sources.append(QJsonObject{
            {u"source"_s, SourceName(s.Config.Kind)},
            {u"url"_s, Shown(s.Config.Url)},
            {u"transfer_running_seconds"_s, running},
            {u"transfer_overdue"_s, running > s.Config.PollSeconds},
            {u"poll_seconds"_s, s.Config.PollSeconds},
            {u"requests"_s, qint64(s.Requests)},
            {u"last_success"_s, IsoTime(s.LastSuccessMs)},
            {u"last_error"_s, QString::fromStdString(s.LastError)},
            {u"last_error_time"_s, IsoTime(s.LastErrorMs)},
            {u"failures"_s, s.Failures},
            {u"backoff_seconds"_s, s.BackoffSeconds},
            {u"next_poll_in_seconds"_s, std::max<qint64>(0, s.NextPollMs - nowMs) / 1000.0},
        });
    }
    QJsonArray instruments;
    for (const Served& s : Choose(nowMs)) {
        instruments.append(QJsonObject{
            {u"name"_s, s.Name},
            {u"source"_s, SourceName(s.Source)},
            {u"price"_s, s.Value.Price},
            {u"quote_time"_s, s.Value.Time.toString(Qt::ISODate)},
            {u"age_seconds"_s, s.Value.Time.msecsTo(QDateTime::currentDateTimeUtc()) / 1000},
            {u"received_seconds_ago"_s, (nowMs - s.Value.ConfirmedMs) / 1000},
            {u"reference_rate"_s, s.Value.Reference},
        });
    }
    QJsonObject withheld;
    for (const auto& [name, reason] : Withheld(nowMs))
        withheld[name] = reason;
    return QJsonObject{
        {u"sources"_s, sources}, {u"instruments"_s, instruments}, {u"withheld"_s, withheld}};
}

std::optional<qint64> FeedCache::StoppedSinceMs(qint64 nowMs) const {
    return StoppedSince(Settled(nowMs));
}

std::optional<qint64> FeedCache::StoppedSince(const Decision& decision) const {
    if (!decision.Shown.empty())
        return std::nullopt;
    qint64 newest = 0;
    for (const Source& s : Sources) {
        if (s.Failures > 0 && !s.OnlyOld)
            return std::nullopt;
        if (s.Failures > 0)
            newest = std::max(newest, s.NewestQuoteMs);
    }
    return newest > 0 ? std::optional(newest) : std::nullopt;
}

QString FeedCache::FailureCause(std::size_t i) const {
    const Source& s = Sources[i];
    if (s.Failures == 0)
        return {};
    return s.LastStatus ? u"HTTP "_s + QString::number(s.LastStatus)
                        : QString::fromStdString(s.LastError);
}

QString FeedCache::FailureSummary(qint64 nowMs) const {
    const Decision decision = Settled(nowMs);
    if (!decision.Shown.empty())
        return {};
    if (const auto since = StoppedSince(decision)) {
        return StaleQuotesText(QDateTime::fromMSecsSinceEpoch(*since, Qt::UTC),
                               QDateTime::fromMSecsSinceEpoch(nowMs, Qt::UTC));
    }
    QStringList failing;
    for (std::size_t i = 0; i < Sources.size(); ++i) {
        if (const QString cause = FailureCause(i); !cause.isEmpty())
            failing << CacheTexts::tr("%1：%2").arg(SourceTitle(Sources[i].Config.Kind), cause);
    }
    if (!failing.isEmpty())
        return CacheTexts::tr("数据源均已失效（%1）").arg(failing.join(CacheTexts::tr("；")));
    if (decision.Withheld.empty())
        return CacheTexts::tr("数据源尚无报价");
    // The sources answer, but nothing they say can be vouched for: the first few in page order.
    QStringList withheld;
    for (const QString& name : PageInstruments()) {
        if (const auto it = decision.Withheld.find(name);
            it != decision.Withheld.end() && withheld.size() < 3)
            withheld << CacheTexts::tr("%1：%2").arg(name, it->second);
    }
    return CacheTexts::tr("数据源报价未通过核对（%1）").arg(withheld.join(CacheTexts::tr("；")));
}

QString SourceOf(const QString& name, const ServedMap& served) {
    if (const auto it = served.find(name); it != served.end())
        return QString::fromLatin1(SourceName(it->second.Source));
    QStringList sources;
    for (const QString& leg : MarketLegs(name)) {
        if (const auto it = served.find(leg); it != served.end()) {
            const QString source = QString::fromLatin1(SourceName(it->second.Source));
            if (!sources.contains(source))
                sources << source;
        }
    }
    return sources.join(u'+');
}

}  // namespace kestrel::feeds
