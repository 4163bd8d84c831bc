#include "feeds/builtin.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QThreadPool>
#include <algorithm>

#include "feeds/lastvalues.h"
#include "feeds/upstream.h"
#include "quotes/messages.h"
#include "settings/settingsload.h"

namespace kestrel::feeds {

namespace {

// The values shown are written at most this often, on a pool thread.
constexpr qint64 kLastValuesEveryMs = 5 * 60 * 1000;

bool SameSources(const std::vector<SourceConfig>& a, const std::vector<SourceConfig>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.Kind == y.Kind && x.Url == y.Url && x.PollSeconds == y.PollSeconds;
    });
}

}  // namespace

std::vector<SourceConfig> BuiltinSources(const Settings& settings) {
    std::vector<SourceConfig> sources;
    for (const QString& name : settings.SourceOrder) {
        const SourceKind kind = name == u"portal" ? SourceKind::Portal
                                : name == u"boc"  ? SourceKind::Boc
                                                  : SourceKind::Ecb;
        const QString& url = kind == SourceKind::Portal ? settings.PortalURL
                             : kind == SourceKind::Boc  ? settings.BocURL
                                                        : settings.EcbURL;
        sources.push_back({kind, url.toStdString(), LeastPoll(kind)});
    }
    return sources;
}

BuiltinSource::BuiltinSource(TransferFactory factory)
    : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }), Factory(std::move(factory)) {
    SetSources({});
}

BuiltinSource::~BuiltinSource() = default;

void BuiltinSource::SetSources(const std::vector<SourceConfig>& sources) {
    if (Cache && SameSources(sources, Configs))
        return;
    Abort();
    Configs = sources;
    std::map<QString, Reference> shown;
    if (Cache)
        shown = Cache->LastValues();
    // Ten minutes of grace for a failing source, as the gateway gives; a source that keeps
    // failing is asked at most every five minutes.
    Cache = std::make_unique<FeedCache>(Configs, 600, 300);
    Cache->Remember(shown);
    Clients.clear();
    Asking.assign(Configs.size(), false);
    Gave.assign(Configs.size(), {});
    LastRenewed.clear();
    for (std::size_t i = 0; i < Configs.size(); ++i) {
        auto client = std::make_unique<THTTPClient>(Factory);
        client->URL = QString::fromStdString(Cache->RequestUrl(i));
        client->Agent = QString::fromLatin1(kBrowserAgent);
        client->AcceptTypes = QStringLiteral("*/*");
        for (const std::string& line : RequestHeaders(Configs[i].Kind))
            client->AddHeaders << QString::fromStdString(line);
        client->UseCache = false;
        client->MaxBodySize = kMaxAnswerBytes;
        THTTPClient* http = client.get();
        client->OnDone = [this, i](TCustomHTTPClient*, const QString&, qint64, QIODevice* stream) {
            Answer answer;
            answer.Status = 200;
            if (stream)
                answer.Body = stream->readAll().toStdString();
            Answered(i, answer);
        };
        const auto failed = [this, i, http](int status) {
            Answer answer;
            answer.Status = status;
            answer.RetryAfterSeconds = http->RetryAfter();
            if (status <= 0)
                answer.Error =
                    DescribeFailure(http->URL, status, http->LastFailure()).toStdString();
            Answered(i, answer);
        };
        client->OnHTTPError = [failed](TCustomHTTPClient*, int status, QIODevice*) {
            failed(status);
        };
        client->OnHostUnreachable = [failed](TCustomHTTPClient*) { failed(-1); };
        client->OnConnLost = [this, i](TCustomHTTPClient*, const QString&, qint64, qint64,
                                       QIODevice*) {
            Answered(
                i,
                Answer{
                    0, {}, QCoreApplication::translate("Feeds", "连接在传送中断开").toStdString()});
        };
        Clients.push_back(std::move(client));
    }
    Configure(Proxy, MaxTransferMs);
}

void BuiltinSource::KeepLastValues(const QString& path) {
    LastValuesFile = path;
    Cache->Remember(ReadLastValues(path));
}

void BuiltinSource::Configure(const THTTPProxy& proxy, int maxTransferMs) {
    Proxy = proxy;
    MaxTransferMs = maxTransferMs;
    for (auto& client : Clients) {
        client->Proxy = proxy;
        client->MaxTransferTime = maxTransferMs;
    }
}

void BuiltinSource::Refresh() {
    const qint64 now = Clock();
    bool asked = false;
    for (std::size_t i = 0; i < Clients.size(); ++i) {
        if (Asking[i] || !Cache->Due(i, now) || !Clients[i]->Read())
            continue;
        Asking[i] = true;
        Cache->Started(i, now);
        asked = true;
    }
    if (asked)
        return;
    // Nothing to ask yet: the cache answers, after the caller has returned, as a download would.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, token = std::weak_ptr<int>(Generation), generation = *Generation] {
            const auto alive = token.lock();
            if (!alive || *alive != generation)
                return;
            LastRenewed.clear();
            if (OnRefreshed)
                OnRefreshed();
        },
        Qt::QueuedConnection);
}

void BuiltinSource::Abort() {
    ++*Generation;
    for (auto& client : Clients)
        client->Abort();
    Asking.assign(Asking.size(), false);
}

bool BuiltinSource::Busy() const {
    return std::find(Asking.begin(), Asking.end(), true) != Asking.end();
}

void BuiltinSource::Answered(std::size_t source, const Answer& answer) {
    Asking[source] = false;
    const qint64 now = Clock();
    Cache->Record(source, answer, now);
    if (!LastValuesFile.isEmpty() && now - LastValuesWrittenMs >= kLastValuesEveryMs &&
        !Cache->LastValues().empty()) {
        LastValuesWrittenMs = now;
        QThreadPool::globalInstance()->start([path = LastValuesFile, values = Cache->LastValues()] {
            WriteLastValues(path, values);
        });
    }
    const SourceKind kind = Configs[source].Kind;
    LastRenewed.clear();
    for (const Served& s : Cache->Choose(now)) {
        if (s.Source != kind)
            continue;
        Gave[source].insert(s.Name);
        if (s.Value.ConfirmedMs == now)
            LastRenewed.insert(s.Name);
    }
    if (OnRefreshed)
        OnRefreshed();
}

bool BuiltinSource::Reading(const QString& name) const {
    for (std::size_t i = 0; i < Asking.size(); ++i) {
        if (Asking[i] && (Gave[i].isEmpty() || Gave[i].contains(name)))
            return true;
    }
    return false;
}

std::map<QString, QString> BuiltinSource::Withheld() const {
    std::map<QString, QString> withheld = Cache->Withheld(Clock());
    // "11.712 超出合理范围": the value itself is what the line does not show.
    for (auto& [name, reason] : withheld)
        reason = reason.section(u' ', -1);
    return withheld;
}

QStringList BuiltinSource::FailingFor(const QString& name) const {
    QStringList failing;
    for (std::size_t i = 0; i < Configs.size(); ++i) {
        const QString cause = Cache->FailureCause(i);
        if (!cause.isEmpty() && (Gave[i].isEmpty() || Gave[i].contains(name)))
            failing << SourceTitle(Configs[i].Kind) + u'：' + cause;
    }
    return failing;
}

qint64 BuiltinSource::ReceivedMs(const QStringList& names) const {
    qint64 shown = 0, any = 0;
    for (const Served& s : Cache->Choose(Clock())) {
        any = std::max(any, s.Value.ConfirmedMs);
        if (names.contains(s.Name))
            shown = std::max(shown, s.Value.ConfirmedMs);
    }
    return shown ? shown : any;
}

std::optional<QString> BuiltinSource::Page() const {
    return Cache->Page(Clock());
}

std::vector<Served> BuiltinSource::Quotes() const {
    return Cache->Choose(Clock());
}

QString BuiltinSource::FailureSummary() const {
    return Cache->FailureSummary(Clock());
}

std::optional<qint64> BuiltinSource::StoppedSinceMs() const {
    return Cache->StoppedSinceMs(Clock());
}

}  // namespace kestrel::feeds
