#include "history.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include "board.h"
#include "feeds/feeds.h"
#include "history/historystore.h"
#include "history/historytext.h"
#include "quotes/catalogue.h"
#include "text/numbertext.h"

namespace kestrel::gateway {

namespace {

constexpr std::size_t kRecentAnswers = 32;

QString UtcTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

// The page instrument of a code, or nothing for a code the gateway does not serve.
std::optional<QString> ServedName(const std::string& code) {
    for (const QString& name : feeds::PageInstruments()) {
        if (InstrumentCode(name).toStdString() == code)
            return name;
    }
    return std::nullopt;
}

std::string Csv(const QVector<HistoryBar>& bars) {
    return HistoryBarsCsv(bars, UtcTime).toStdString();
}

std::string Json(const QString& name, qint64 fromMs, qint64 toMs, const QVector<HistoryBar>& bars) {
    QJsonArray rows;
    for (const HistoryBar& bar : bars)
        rows.append(HistoryBarJson(bar, UtcTime(bar.minuteMs)));
    const QJsonObject document{{QStringLiteral("code"), InstrumentCode(name)},
                               {QStringLiteral("name"), name},
                               {QStringLiteral("from"), UtcTime(fromMs)},
                               {QStringLiteral("to"), UtcTime(toMs)},
                               {QStringLiteral("bars"), rows}};
    return QJsonDocument(document).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

QString DefaultGatewayHistoryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kestrel/gateway-history.sqlite");
}

std::optional<qint64> ParseQueryTime(const std::string& text) {
    // A "+" of an offset that was not percent-encoded arrives as a space.
    const QString value = QString::fromStdString(text).replace(u' ', u'+');
    if (const std::optional<qint64> seconds = ToWholeNumber(value, 0, 32503680000LL))
        return *seconds * 1000;
    const QDateTime time = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return std::nullopt;
    return time.toMSecsSinceEpoch();
}

HistoryRoutes::HistoryRoutes(const HistoryStore& store, int cacheSeconds)
    : Store(store), CacheSeconds(cacheSeconds) {}

void HistoryRoutes::Register(http::Server& server) {
    server.Route("/history",
                 [this](const http::Request& req, http::Response& res) { Serve(req, res); });
}

void HistoryRoutes::Serve(const http::Request& req, http::Response& res) {
    for (const char* key : {"code", "from", "to", "format"}) {
        if (req.Count(key) > 1)
            return res.Set(400, std::string(key) + " given twice\n", "text/plain");
    }
    const std::string code = req.Param("code");
    if (code.empty())
        return res.Set(400, "code is missing (code=EURUSD)\n", "text/plain");
    const std::optional<QString> name = ServedName(code);
    if (!name)
        return res.Set(404, "no such instrument here\n", "text/plain");
    const std::string format = req.Has("format") ? req.Param("format") : "json";
    if (format != "json" && format != "csv")
        return res.Set(400, "format is json or csv\n", "text/plain");
    // By the second, so that the answers to a span that ends now are kept a while.
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    const std::optional<qint64> to = req.Has("to") ? ParseQueryTime(req.Param("to")) : now;
    const std::optional<qint64> from =
        req.Has("from") ? ParseQueryTime(req.Param("from"))
                        : std::optional(to.value_or(now) - kDefaultHistorySpanMs);
    if (!from || !to)
        return res.Set(400, "from and to are Unix seconds or ISO 8601 times with an offset\n",
                       "text/plain");
    if (*from > *to)
        return res.Set(400, "from is after to\n", "text/plain");
    if (*to - *from > kMaxHistorySpanMs)
        return res.Set(400, "at most 7 days at once\n", "text/plain");

    const std::string key =
        code + ' ' + format + ' ' + std::to_string(*from) + ' ' + std::to_string(*to);
    std::string body;
    {
        std::lock_guard lock(Mutex);
        const auto it = Recent.find(key);
        if (it != Recent.end() && now / 1000 - it->second.first < CacheSeconds)
            body = it->second.second;
    }
    if (body.empty()) {
        const QVector<HistoryBar> bars = Store.Bars(InstrumentCode(*name), *from, *to);
        body = format == "csv" ? Csv(bars) : Json(*name, *from, *to, bars);
        std::lock_guard lock(Mutex);
        if (Recent.size() >= kRecentAnswers)
            Recent.clear();
        Recent[key] = {now / 1000, body};
    }
    ServeCached(req, res, std::move(body),
                format == "csv" ? "text/csv; charset=utf-8" : "application/json", CacheSeconds);
}

}  // namespace kestrel::gateway
