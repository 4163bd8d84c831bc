#include "gateway.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "fetch.h"
#include "history/historystore.h"
#include "logging.h"
#include "quotes/catalogue.h"
#include "text/encodings.h"

namespace kestrel::gateway {

Gateway::Gateway(GatewayOptions options, StopSignal& stop)
    : Options(std::move(options)),
      Stop(stop),
      Cache(Options.Sources, Options.StaleSeconds, Options.BackoffMaxSeconds) {
    Cache.Log = [](const std::string& line) { qCWarning(lcGateway, "%s", line.c_str()); };
    for (std::size_t i = 0; i < Cache.Count(); ++i)
        Threads.emplace_back([this, i] { Run(i); });
    // The sparklines of a restart begin with the day the history kept.
    if (Options.History) {
        Threads.emplace_back([this] {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (const QString& name : feeds::PageInstruments()) {
                if (Stop.Raised())
                    return;
                // Newest first: each quarter hour keeps its last price.
                const QVector<HistoryBar> bars =
                    Options.History->Bars(InstrumentCode(name), now - 86400 * 1000LL, now);
                for (auto bar = bars.rbegin(); bar != bars.rend(); ++bar)
                    Day.AddEarlier(name, bar->minuteMs, bar->close);
            }
        });
    }
}

Gateway::~Gateway() {
    for (std::thread& thread : Threads)
        thread.join();
}

void Gateway::Run(std::size_t source) {
    std::string url;
    {
        std::lock_guard lock(Mutex);
        url = Cache.RequestUrl(source);
    }
    const SourceKind kind = Options.Sources[source].Kind;
    while (!Stop.Raised()) {
        {
            std::lock_guard lock(Mutex);
            Cache.Started(source, QDateTime::currentMSecsSinceEpoch());
        }
        const feeds::Answer answer = Fetch(url, kind, Options.Proxy, Stop.Flag());
        double wait = 0;
        {
            std::lock_guard lock(Mutex);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            wait = Cache.Record(source, answer, now);
            PageSecond = -1;
            ++Version;
            QVector<HistoryTick> ticks;
            for (const feeds::Served& served : Cache.Choose(now)) {
                Day.Add(served.Name, now, served.Value.Price);
                // What this answer brought, live prices only: a daily rate is no tick.
                const feeds::Quote& q = served.Value;
                if (served.Source == kind && q.ConfirmedMs == now && !q.Reference)
                    ticks.push_back({InstrumentCode(served.Name), q.Price,
                                     q.Time.toMSecsSinceEpoch(),
                                     QString::fromLatin1(feeds::SourceName(kind))});
            }
            if (Options.History && !ticks.isEmpty())
                Options.History->Record(std::move(ticks));
        }
        if (!Stop.WaitFor(std::chrono::milliseconds(qint64(wait * 1000))))
            break;
    }
}

std::optional<std::string> Gateway::Page() {
    std::lock_guard lock(Mutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // Values expire by the second at the finest (the page shows no finer time), so a page made
    // within this second is still the truth.
    if (now / 1000 != PageSecond) {
        const std::optional<QString> page = Cache.Page(now);
        LastPage = page ? std::optional(ToCp936(*page).toStdString()) : std::nullopt;
        PageSecond = now / 1000;
    }
    return LastPage;
}

int Gateway::CacheSeconds() const {
    double least = Options.Sources.empty() ? 0 : Options.Sources.front().PollSeconds;
    for (const SourceConfig& source : Options.Sources)
        least = std::min(least, source.PollSeconds);
    return std::max(1, int(least));
}

std::string Gateway::Reason() {
    std::lock_guard lock(Mutex);
    return (QStringLiteral("报价服务的") +
            Cache.FailureSummary(QDateTime::currentMSecsSinceEpoch()))
        .toStdString();
}

std::uint64_t Gateway::BoardVersion() {
    std::lock_guard lock(Mutex);
    return Version;
}

BoardState Gateway::BoardRows() {
    std::lock_guard lock(Mutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    BoardState state;
    state.PollSeconds = CacheSeconds();
    state.Version = Version;
    std::map<QString, const feeds::Served*> byName;
    const std::vector<feeds::Served> served = Cache.Choose(now);
    for (const feeds::Served& s : served)
        byName[s.Name] = &s;
    const std::map<QString, QString> withheld = Cache.Withheld(now);
    for (const QString& name : feeds::PageInstruments()) {
        if (const auto it = byName.find(name); it != byName.end()) {
            const feeds::Served& s = *it->second;
            state.Rows.push_back({name, s.Value.Price, s.Value.PrevClose, s.Value.Time,
                                  QString::fromLatin1(feeds::SourceName(s.Source)),
                                  feeds::SourceTitle(s.Source), s.Value.Reference, QString()});
            state.UpdatedMs = std::max(state.UpdatedMs, s.Value.ConfirmedMs);
        } else if (const auto why = withheld.find(name); why != withheld.end()) {
            state.Rows.push_back(
                {name, 0, 0, QDateTime(), QString(), QString(), false, why->second});
        }
    }
    if (served.empty())
        state.Error = QStringLiteral("报价服务的") + Cache.FailureSummary(now);
    return state;
}

namespace {

QString StateName(HistoryStore::State state) {
    switch (state) {
        case HistoryStore::State::Starting:
            return QStringLiteral("starting");
        case HistoryStore::State::On:
            return QStringLiteral("on");
        case HistoryStore::State::Off:
            return QStringLiteral("off");
        case HistoryStore::State::Locked:
            return QStringLiteral("locked");
        case HistoryStore::State::Full:
            return QStringLiteral("full");
        case HistoryStore::State::SetAside:
            return QStringLiteral("set_aside");
        case HistoryStore::State::Failed:
            break;
    }
    return QStringLiteral("failed");
}

}  // namespace

std::string Gateway::Status() {
    std::lock_guard lock(Mutex);
    QJsonObject status = Cache.Status(QDateTime::currentMSecsSinceEpoch());
    if (Options.History) {
        status.insert(
            QStringLiteral("history"),
            QJsonObject{{QStringLiteral("file"), Options.History->Path()},
                        {QStringLiteral("state"), StateName(Options.History->CurrentState())},
                        {QStringLiteral("note"), Options.History->Note()}});
    }
    return QJsonDocument(status).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kestrel::gateway
