#include "gateway.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

#include "feeds.h"
#include "page.h"
#include "plausibility.h"
#include "quotes/catalogue.h"
#include "settings/encodings.h"

namespace kestrel::quoted {

using namespace Qt::Literals::StringLiterals;

namespace {

// Legs received further apart than this are not combined into a cross.
constexpr qint64 kCrossSkewMs = 5000;
constexpr long kMaxAnswerBytes = 4 << 20;
constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/120.0 Safari/537.36";
// The quote service refuses requests that do not come from its own pages.
constexpr const char* kPortalReferer = "Referer: https://finance.sina.com.cn/";

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString IsoTime(qint64 ms) {
    return ms ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate) : QString();
}

struct Answer {
    long Status = 0;
    std::string Body;
    std::string Error;  // a transfer failure, empty when an answer came
};

struct Transfer {
    std::string* Body;
    StopSignal* Stop;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Transfer*>(user)->Body;
    if (body->size() + size * count > size_t(kMaxAnswerBytes))
        return 0;
    body->append(data, size * count);
    return size * count;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->Stop->Raised() ? 1 : 0;
}

Answer Fetch(const std::string& url, SourceKind kind, const std::string& proxy, StopSignal& stop) {
    Answer answer;
    CURL* curl = curl_easy_init();
    if (!curl) {
        answer.Error = "cannot start a transfer";
        return answer;
    }
    Transfer transfer{&answer.Body, &stop};
    curl_slist* headers = nullptr;
    if (kind == SourceKind::Portal)
        headers = curl_slist_append(headers, kPortalReferer);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kBrowserAgent);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    // Without --proxy libcurl takes http_proxy, https_proxy and no_proxy from the environment.
    if (!proxy.empty())
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
    else
        answer.Error = error[0] ? error : curl_easy_strerror(code);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return answer;
}

// The address without user name and password, for the status page and the log.
QString Shown(const std::string& url) {
    return QUrl(QString::fromStdString(url)).toString(QUrl::RemoveUserInfo);
}

QString Decimal(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

}  // namespace

struct Gateway::Source {
    SourceConfig Config;
    QuoteMap Quotes;
    qint64 LastSuccessMs = 0, LastErrorMs = 0, NextPollMs = 0;
    qint64 TransferStartMs = 0;  // 0: no request under way
    std::string LastError;
    int Failures = 0;
    double BackoffSeconds = 0;
    long Requests = 0;
    std::map<std::string, std::string> Logged;  // what was last reported for each symbol
    std::thread Thread;
};

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

Gateway::Gateway(GatewayOptions options, StopSignal& stop)
    : Options(std::move(options)), Stop(stop) {
    for (const SourceConfig& config : Options.Sources) {
        Sources.push_back(std::make_unique<Source>());
        Sources.back()->Config = config;
    }
    for (auto& source : Sources)
        source->Thread = std::thread([this, s = source.get()] { Run(*s); });
}

Gateway::~Gateway() {
    for (auto& source : Sources)
        source->Thread.join();
}

void Gateway::Run(Source& source) {
    while (!Stop.Raised()) {
        const double wait = Poll(source);
        if (!Stop.WaitFor(std::chrono::milliseconds(qint64(wait * 1000))))
            break;
    }
}

double Gateway::Poll(Source& source) {
    const SourceKind kind = source.Config.Kind;
    const std::string url =
        source.Config.Url + (kind == SourceKind::Portal ? PortalSymbols() : std::string());
    {
        std::lock_guard lock(Mutex);
        source.TransferStartMs = NowMs();
    }
    const Answer answer = Fetch(url, kind, Options.Proxy, Stop);
    const char* name = SourceName(kind);
    const double poll = source.Config.PollSeconds;

    std::lock_guard lock(Mutex);
    source.TransferStartMs = 0;
    ++source.Requests;
    const qint64 now = NowMs();
    std::string error = answer.Error;
    if (error.empty() && answer.Status != 200)
        error = "HTTP status " + std::to_string(answer.Status);
    if (error.empty()) {
        const QByteArray body = QByteArray::fromStdString(answer.Body);
        Parsed parsed = kind == SourceKind::Portal ? ParsePortal(body)
                        : kind == SourceKind::Boc  ? ParseBoc(body)
                                                   : ParseEcb(body);
        for (auto it = parsed.Quotes.begin(); it != parsed.Quotes.end();) {
            const auto last = Accepted.find(it->first);
            const bool fresh = last != Accepted.end() &&
                               now - last->second.second <= qint64(Options.StaleSeconds * 1000);
            const auto reason = ImplausibleQuote(
                it->second, it->first, fresh ? last->second.first : 0, now, Options.StaleSeconds);
            if (!reason) {
                ++it;
                continue;
            }
            parsed.Problems.push_back({it->first.toStdString(), *reason});
            it = parsed.Quotes.erase(it);
        }
        std::map<std::string, std::string> logged;
        for (const Dropped& d : parsed.Problems) {
            // Once per symbol and reason, not once per poll.
            if (source.Logged[d.Key] != d.Reason)
                std::fprintf(stderr, "kestrel-quoted: %s: dropped %s: %s\n", name, d.Key.c_str(),
                             d.Reason.c_str());
            logged[d.Key] = d.Reason;
        }
        source.Logged = std::move(logged);
        if (parsed.Quotes.empty())
            error = "no usable quote in the answer";
        for (auto& [instrument, quote] : parsed.Quotes) {
            quote.ConfirmedMs = now;
            source.Quotes[instrument] = quote;
            Accepted[instrument] = {quote.Price, now};
        }
    }
    if (error.empty()) {
        if (source.Failures > 0)
            std::fprintf(stderr, "kestrel-quoted: %s: answering again\n", name);
        source.LastSuccessMs = now;
        source.LastError.clear();  // its time stays, to say when the last one was
        source.Failures = 0;
        source.BackoffSeconds = 0;
        source.NextPollMs = now + qint64(poll * 1000);
        return poll;
    }
    if (source.Failures == 0 || error != source.LastError)
        std::fprintf(stderr, "kestrel-quoted: %s: %s\n", name, error.c_str());
    source.LastError = error;
    source.LastErrorMs = now;
    // Doubling after each failure: a service that is refused or overloaded bans addresses that
    // keep asking. A daily file is retried at the cap rather than a day later.
    ++source.Failures;
    source.BackoffSeconds =
        std::min(poll * std::pow(2.0, std::min(source.Failures, 30)), Options.BackoffMaxSeconds);
    source.NextPollMs = now + qint64(source.BackoffSeconds * 1000);
    return source.BackoffSeconds;
}

// Each source's values that are still fresh, with the crosses of its own legs.
std::vector<QuoteMap> Gateway::FreshQuotes(qint64 now) const {
    std::vector<QuoteMap> fresh;
    for (const auto& source : Sources) {
        // A value lives one poll interval plus the grace a failing source is given.
        const qint64 life = qint64((source->Config.PollSeconds + Options.StaleSeconds) * 1000);
        QuoteMap quotes;
        for (const auto& [name, quote] : source->Quotes) {
            if (now - quote.ConfirmedMs <= life)
                quotes[name] = quote;
        }
        AddCrosses(quotes, kCrossSkewMs);
        // A cross of two sound legs can still be nothing a page can show.
        std::erase_if(quotes, [](const auto& entry) {
            return ImplausibleValue(entry.second.Price, entry.first).has_value();
        });
        fresh.push_back(std::move(quotes));
    }
    return fresh;
}

std::vector<Gateway::Served> Gateway::Choose(qint64 now) const {
    const std::vector<QuoteMap> fresh = FreshQuotes(now);
    std::vector<Served> served;
    for (const QString& name : PageInstruments()) {
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            const auto it = fresh[i].find(name);
            if (it != fresh[i].end()) {
                served.push_back({name, it->second, SourceName(Sources[i]->Config.Kind)});
                break;
            }
        }
    }
    return served;
}

std::optional<std::string> Gateway::Page() {
    std::lock_guard lock(Mutex);
    const std::vector<Served> served = Choose(NowMs());
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
    return ToCp936(RenderPage(rows, true, u"gb2312"_s)).toStdString();
}

int Gateway::CacheSeconds() const {
    double least = Options.Sources.empty() ? 0 : Options.Sources.front().PollSeconds;
    for (const SourceConfig& source : Options.Sources)
        least = std::min(least, source.PollSeconds);
    return std::max(1, int(least));
}

std::string Gateway::Status() {
    std::lock_guard lock(Mutex);
    const qint64 now = NowMs();
    QJsonArray sources;
    for (const auto& s : Sources) {
        // A request that is still running past its poll time is the news, not failures 0.
        const double running = s->TransferStartMs ? (now - s->TransferStartMs) / 1000.0 : 0;
        sources.append(QJsonObject{
            {u"source"_s, SourceName(s->Config.Kind)},
            {u"url"_s, Shown(s->Config.Url)},
            {u"transfer_running_seconds"_s, running},
            {u"transfer_overdue"_s, running > s->Config.PollSeconds},
            {u"poll_seconds"_s, s->Config.PollSeconds},
            {u"requests"_s, qint64(s->Requests)},
            {u"last_success"_s, IsoTime(s->LastSuccessMs)},
            {u"last_error"_s, QString::fromStdString(s->LastError)},
            {u"last_error_time"_s, IsoTime(s->LastErrorMs)},
            {u"failures"_s, s->Failures},
            {u"backoff_seconds"_s, s->BackoffSeconds},
            {u"next_poll_in_seconds"_s, std::max<qint64>(0, s->NextPollMs - now) / 1000.0},
        });
    }
    QJsonArray instruments;
    for (const Served& s : Choose(now)) {
        instruments.append(QJsonObject{
            {u"name"_s, s.Name},
            {u"source"_s, s.Source},
            {u"price"_s, s.Value.Price},
            {u"quote_time"_s, s.Value.Time.toString(Qt::ISODate)},
            {u"age_seconds"_s, s.Value.Time.msecsTo(QDateTime::currentDateTimeUtc()) / 1000},
            {u"received_seconds_ago"_s, (now - s.Value.ConfirmedMs) / 1000},
            {u"reference_rate"_s, s.Value.Reference},
        });
    }
    const QJsonObject status{{u"sources"_s, sources}, {u"instruments"_s, instruments}};
    return QJsonDocument(status).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kestrel::quoted
