#include "board.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cstdio>

#include "quotes/quoterecord.h"

namespace kestrel::gateway {

namespace {

// The page may run its own script and style and read this server, nothing else.
const char* const kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::string Resource(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

QJsonValue IsoOrNull(qint64 ms) {
    return ms > 0 ? QJsonValue(IsoLocalTime(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())))
                  : QJsonValue();
}

}  // namespace

void DayLines::Add(const QString& name, qint64 ms, double price) {
    std::lock_guard lock(Mutex);
    std::map<qint64, double>& line = Lines[name];
    line[ms / kStepMs] = price;
    // A day and a step: what Points can still ask for.
    while (line.size() > std::size_t(kSteps) + 1)
        line.erase(line.begin());
}

void DayLines::AddEarlier(const QString& name, qint64 ms, double price) {
    std::lock_guard lock(Mutex);
    std::map<qint64, double>& line = Lines[name];
    line.try_emplace(ms / kStepMs, price);
    while (line.size() > std::size_t(kSteps) + 1)
        line.erase(line.begin());
}

QJsonArray DayLines::Points(const QString& name, qint64 nowMs) const {
    std::lock_guard lock(Mutex);
    QJsonArray points;
    const auto it = Lines.find(name);
    const std::map<qint64, double>* line = it == Lines.end() ? nullptr : &it->second;
    const qint64 last = nowMs / kStepMs;
    for (qint64 step = last - kSteps + 1; step <= last; ++step) {
        const auto point = line ? line->find(step) : std::map<qint64, double>::const_iterator();
        points.append(line && point != line->end() ? QJsonValue(point->second) : QJsonValue());
    }
    return points;
}

std::string QuotesJson(const BoardState& state, const DayLines& lines, qint64 nowMs) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs, QTimeZone::utc());
    const auto make = [&](bool withLines) {
        QJsonArray quotes;
        for (const BoardRow& row : state.Rows) {
            QJsonObject record =
                RecordJson(MakeQuoteRecord({row.Name, row.Value, row.PreviousClose, row.Time, now,
                                            row.Source, state.Demo, row.Reason}));
            record.insert(QStringLiteral("quote_time"),
                          row.Time.isValid() ? QJsonValue(IsoLocalTime(row.Time)) : QJsonValue());
            record.insert(QStringLiteral("source_title"), row.SourceTitle);
            record.insert(QStringLiteral("reference_rate"), row.Reference);
            if (withLines)
                record.insert(QStringLiteral("day"), lines.Points(row.Name, nowMs));
            quotes.append(record);
        }
        const qint64 firstStep = nowMs / DayLines::kStepMs - DayLines::kSteps + 1;
        QJsonObject document{
            {QStringLiteral("time"), IsoOrNull(nowMs)},
            {QStringLiteral("updated"), IsoOrNull(state.UpdatedMs)},
            {QStringLiteral("poll_seconds"), state.PollSeconds},
            {QStringLiteral("demo"), state.Demo},
            {QStringLiteral("day_start"), IsoOrNull(firstStep * DayLines::kStepMs)},
            {QStringLiteral("day_step_seconds"), DayLines::kStepMs / 1000},
            {QStringLiteral("quotes"), quotes},
        };
        if (!state.Error.isEmpty())
            document.insert(QStringLiteral("error"), state.Error);
        return QJsonDocument(document).toJson(QJsonDocument::Compact).toStdString();
    };
    std::string json = make(true);
    if (json.size() > kMaxQuotesJsonBytes)
        json = make(false);
    return json;
}

void ServeCached(const http::Request& req, http::Response& res, std::string body, std::string type,
                 int maxAge) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "\"%016zx\"", std::hash<std::string>{}(body));
    res.Headers.emplace_back("ETag", tag);
    res.Headers.emplace_back("Cache-Control", "max-age=" + std::to_string(maxAge));
    if (req.Header("If-None-Match") == tag) {
        res.Set(304, std::string(), std::string());
        return;
    }
    res.Set(200, std::move(body), std::move(type));
}

Board::Board(std::function<BoardState()> state, std::function<std::uint64_t()> version,
             const DayLines& lines)
    : State(std::move(state)), Version(std::move(version)), Lines(lines) {}

std::string Board::Json(qint64 nowMs, int& pollSeconds, bool& failed) {
    std::lock_guard lock(Mutex);
    const std::uint64_t version = Version();
    if (nowMs / 1000 != MadeSecond || version != MadeVersion || Made.empty()) {
        const BoardState state = State();
        Made = QuotesJson(state, Lines, nowMs);
        MadeSecond = nowMs / 1000;
        MadeVersion = state.Version;
        MadePoll = state.PollSeconds;
        MadeFailed = !state.Error.isEmpty();
    }
    pollSeconds = MadePoll;
    failed = MadeFailed;
    return Made;
}

void Board::Register(http::Server& server) {
    const auto file = [](const char* resource, const char* type) {
        return [body = Resource(resource), type](const http::Request& req, http::Response& res) {
            ServeCached(req, res, body, type, 300);
            res.Headers.emplace_back("Content-Security-Policy", kPolicy);
            res.Headers.emplace_back("X-Content-Type-Options", "nosniff");
            res.Headers.emplace_back("Referrer-Policy", "no-referrer");
        };
    };
    server.Route("/", file(":/board/board.html", "text/html; charset=utf-8"));
    server.Route("/board.js", file(":/board/board.js", "text/javascript; charset=utf-8"));
    server.Route("/board.css", file(":/board/board.css", "text/css; charset=utf-8"));
    server.Route("/quotes.json", [this](const http::Request& req, http::Response& res) {
        int poll = 10;
        bool failed = false;
        std::string json = Json(QDateTime::currentMSecsSinceEpoch(), poll, failed);
        if (failed) {
            res.Set(503, std::move(json), "application/json");
            res.Headers.emplace_back("Cache-Control", "no-store");
            return;
        }
        ServeCached(req, res, std::move(json), "application/json", poll);
        res.Headers.emplace_back("X-Content-Type-Options", "nosniff");
    });
}

}  // namespace kestrel::gateway
