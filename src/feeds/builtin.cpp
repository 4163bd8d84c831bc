#include "feeds/builtin.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QThreadPool>

#include "feeds/lastvalues.h"
#include "feeds/upstream.h"
#include "quotes/messages.h"
#include "settings/settingsload.h"

namespace kestrel::feeds {

namespace {

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

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

BuiltinSource::BuiltinSource(TransferFactory factory) : Factory(std::move(factory)) {
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
            Answered(i, Answer{0, {}, "连接在传送中断开"});
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
    if (Busy())
        return;
    const qint64 now = NowMs();
    for (std::size_t i = 0; i < Clients.size(); ++i) {
        if (Cache->Due(i, now) && !Clients[i]->Busy() && Clients[i]->Read())
            ++Pending;
    }
    if (Pending > 0)
        return;
    // Nothing to ask yet: the cache answers, after the caller has returned, as a download would.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, token = std::weak_ptr<int>(Generation), generation = *Generation] {
            if (const auto alive = token.lock(); alive && *alive == generation && OnRefreshed)
                OnRefreshed();
        },
        Qt::QueuedConnection);
}

void BuiltinSource::Abort() {
    ++*Generation;
    for (auto& client : Clients)
        client->Abort();
    Pending = 0;
}

void BuiltinSource::Answered(std::size_t source, const Answer& answer) {
    const qint64 now = NowMs();
    Cache->Record(source, answer, now);
    if (!LastValuesFile.isEmpty() && now - LastValuesWrittenMs >= kLastValuesEveryMs &&
        !Cache->LastValues().empty()) {
        LastValuesWrittenMs = now;
        QThreadPool::globalInstance()->start([path = LastValuesFile, values = Cache->LastValues()] {
            WriteLastValues(path, values);
        });
    }
    if (Pending > 0 && --Pending == 0 && OnRefreshed)
        OnRefreshed();
}

std::optional<QString> BuiltinSource::Page() const {
    return Cache->Page(NowMs());
}

std::vector<Served> BuiltinSource::Quotes() const {
    return Cache->Choose(NowMs());
}

QString BuiltinSource::FailureSummary() const {
    return Cache->FailureSummary(NowMs());
}

}  // namespace kestrel::feeds
