#include "walk.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "feeds/page.h"
#include "quotes/catalogue.h"
#include "text/encodings.h"
#include "text/numbertext.h"

namespace kestrel::gateway {

using namespace Qt::Literals::StringLiterals;
using feeds::PageRow;
using feeds::RenderPage;

namespace {

// Opening prices, round about the market of late 2025.
const std::map<QString, double>& BasePrices() {
    static const std::map<QString, double> prices = {
        {QStringLiteral("美元指数"), 99.2},     {QStringLiteral("欧元美元"), 1.1612},
        {QStringLiteral("英镑美元"), 1.3315},   {QStringLiteral("美元日元"), 155.30},
        {QStringLiteral("澳元美元"), 0.6552},   {QStringLiteral("美元加元"), 1.3810},
        {QStringLiteral("美元瑞郎"), 0.8025},   {QStringLiteral("纽元美元"), 0.5710},
        {QStringLiteral("美元人民币"), 7.0815}, {QStringLiteral("美元坡元"), 1.2985},
        {QStringLiteral("瑞典克郎"), 9.4520},   {QStringLiteral("美元港币"), 7.7830},
        {QStringLiteral("欧元英镑"), 0.8721},   {QStringLiteral("欧元日元"), 180.33},
        {QStringLiteral("澳元日元"), 101.75},   {QStringLiteral("英镑日元"), 206.78},
        {QStringLiteral("欧元瑞郎"), 0.9319},   {QStringLiteral("欧元加元"), 1.6036},
        {QStringLiteral("欧元澳元"), 1.7723},   {QStringLiteral("英镑港币"), 10.3631},
        {QStringLiteral("英镑瑞郎"), 1.0685},   {QStringLiteral("英镑坡元"), 1.7290},
        {QStringLiteral("英镑加元"), 1.8388},   {QStringLiteral("英镑澳元"), 2.0322},
        {QStringLiteral("澳元加元"), 0.9048},   {QStringLiteral("澳元瑞郎"), 0.5258},
        {QStringLiteral("澳元港币"), 5.0995},   {QStringLiteral("加元日元"), 112.45},
        {QStringLiteral("瑞郎日元"), 193.52},   {QStringLiteral("NYMEX原油"), 58.45},
        {QStringLiteral("布伦特原油"), 62.30},  {QStringLiteral("天然气"), 4.812},
        {QStringLiteral("现货黄金"), 4205.60},  {QStringLiteral("现货白银"), 58.12},
    };
    return prices;
}

struct Quote {
    QString Name;
    int Decimals = 4;
    double Open = 0, Price = 0, High = 0, Low = 0;
};

// The market: every page instrument with its walk, shared by all request threads.
}  // namespace

class Market {
public:
    explicit Market(std::uint64_t seed) : Walk(seed), Noise(seed ^ 0x9e3779b97f4a7c15ULL) {
        for (const QString& name : InstrumentCatalogue()) {
            if (IsDerivedInstrument(name))
                continue;
            const double price = BasePrices().at(name);
            Quotes.push_back({name, DecimalsFor(name), price, price, price, price});
        }
    }

    // Applies NAME:PRICE settings; an error text for the first bad one.
    std::optional<std::string> Set(const std::string& settings) {
        std::lock_guard lock(Mutex);
        for (const QString& item : QString::fromUtf8(settings).split(u',', Qt::SkipEmptyParts)) {
            const qsizetype colon = item.lastIndexOf(u':');
            bool ok = false;
            const double price = colon < 0 ? 0 : item.mid(colon + 1).toDouble(&ok);
            Quote* quote = Find(item.left(colon));
            if (!quote)
                return "unknown instrument in set=" + item.toStdString();
            if (!ok || !(price > 0) || !std::isfinite(price)) {
                return "bad price in set=" + item.toStdString();
            }
            quote->Price = price;
            Track(*quote);
        }
        return std::nullopt;
    }

    void Step(long steps) {
        std::lock_guard lock(Mutex);
        for (long i = 0; i < steps; ++i) {
            for (Quote& quote : Quotes) {
                // A step of up to ±0.05 %, drawn from the raw generator so that a seed gives
                // the same prices with every standard library.
                const double u = double(Walk() >> 11) * 0x1.0p-53;
                quote.Price *= 1 + (2 * u - 1) * 0.0005;
                Track(quote);
            }
        }
    }

    std::string Garbage(std::size_t size) {
        std::lock_guard lock(Mutex);
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = char(Noise() & 0xff);
        return bytes;
    }

    // The page in its encoding. Many tickers asking within one second of unchanged prices get
    // the same bytes, made once.
    std::string Page(bool marker, bool utf8) {
        std::lock_guard lock(Mutex);
        const std::time_t second = std::time(nullptr);
        Made& made = Cache[marker][utf8];
        if (made.Version == Version && made.Second == second && !made.Bytes.empty())
            return made.Bytes;
        const QString time = QDateTime::currentDateTime().toString(u"hh:mm:ss");
        const QString page = Render(time, marker, utf8 ? u"utf-8"_s : u"gb2312"_s);
        made = {Version, second, (utf8 ? page.toUtf8() : ToCp936(page)).toStdString()};
        return made.Bytes;
    }

    std::uint64_t CurrentVersion() const {
        std::lock_guard lock(Mutex);
        return Version;
    }

    // Every price as it stands, without a step.
    std::vector<BoardRow> Rows(std::uint64_t& version) const {
        std::lock_guard lock(Mutex);
        version = Version;
        std::vector<BoardRow> rows;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (const Quote& q : Quotes)
            rows.push_back({q.Name, q.Price, q.Open, now, u"walk"_s, u"演示"_s, false, QString()});
        return rows;
    }

private:
    QString Render(const QString& time, bool marker, const QString& charset) const {
        std::vector<PageRow> rows;
        for (const Quote& q : Quotes) {
            const double spread = q.Price * 0.0002;
            const double change = q.Price - q.Open;
            const auto number = [&q](double v) { return QString::number(v, 'f', q.Decimals); };
            rows.push_back({q.Name,
                            {number(q.Price), number(q.Price + spread), number(q.High),
                             number(q.Low), (change >= 0 ? u"+"_s : QString()) + number(change),
                             QString::asprintf("%+.2f%%", change / q.Open * 100), time}});
        }
        return RenderPage(rows, marker, charset, true);
    }

    Quote* Find(const QString& name) {
        const auto it = std::find_if(Quotes.begin(), Quotes.end(),
                                     [&name](const Quote& q) { return q.Name == name; });
        return it == Quotes.end() ? nullptr : &*it;
    }

    void Track(Quote& quote) {
        ++Version;
        quote.High = std::max(quote.High, quote.Price);
        quote.Low = std::min(quote.Low, quote.Price);
    }

    struct Made {
        std::uint64_t Version = 0;
        std::time_t Second = 0;
        std::string Bytes;
    };

    mutable std::mutex Mutex;
    std::uint64_t Version = 1;  // counts the changes of any price
    Made Cache[2][2];           // by marker and UTF-8
    std::mt19937_64 Walk, Noise;
    std::vector<Quote> Quotes;
};

namespace {

std::optional<std::string> ReadFaults(const http::Request& req, const WalkOptions& options,
                                      RequestFaults& faults) {
    const bool queries = options.Queries;
    const auto flag = [&req, queries](const char* key, bool value) {
        if (!queries || !req.Has(key))
            return value;
        const std::string text = req.Param(key);
        return text != "0" && text != "false";
    };
    const auto number = [&req, queries](const char* key, long value, long low, long high,
                                        std::optional<std::string>& error) {
        if (!queries || !req.Has(key))
            return value;
        const std::optional<qint64> parsed =
            ToWholeNumber(QString::fromStdString(req.Param(key)), low, high);
        if (!parsed)
            error = std::string("bad value of ") + key;
        return long(parsed.value_or(value));
    };
    std::optional<std::string> error;
    faults.Status = int(number("status", options.Status, 100, 599, error));
    faults.DelayMs = number("delay_ms", options.DelayMs, 0, 3600000, error);
    faults.Steps = number("step", options.Fixed ? 0 : 1, 0, 100000, error);
    faults.Hang = flag("hang", options.Hang);
    faults.ShortBody = flag("short_body", options.ShortBody);
    faults.Garbage = flag("garbage", options.Garbage);
    faults.NoMarker = flag("no_marker", options.NoMarker);
    faults.Utf8 = flag("utf8", options.Utf8);
    return error;
}

}  // namespace

const char* const kWalkUsage = R"(Options of the walk:
  --seed N        seed of the random walk (default 1); the same seed gives the same prices
  --fixed         prices stay put between requests (see step and set below)
  --status N      answer with HTTP status N and a short error page instead of the rates
  --delay-ms N    wait N ms before answering
  --hang          accept requests and never answer them until the server stops
  --short-body    announce a Content-Length larger than the body, send the body, then close
  --garbage       answer with random bytes
  --no-marker     leave the chart marker line out of the page
  --utf8          send the page in UTF-8 with charset=utf-8

With the walk on loopback (or --test-switches) each fault switch can also be chosen for one
request by a query parameter, which overrides the switch (value 0 turns a switch off):
  ?status=500  ?delay_ms=2000  ?hang=1  ?short_body=1  ?garbage=1  ?no_marker=1  ?utf8=1

Pinning prices (for tests that need a rise or a fall):
  ?step=N               advance the walk by N steps for this request (default 1, 0 with --fixed)
  ?set=NAME:PRICE       set an instrument's price for this and all later requests; NAME is the
                        instrument's Chinese name in UTF-8 percent-encoding, several may be given
                        separated by "," or as repeated set parameters
                        e.g. ?set=%E6%AC%A7%E5%85%83%E7%BE%8E%E5%85%83:1.1700 (欧元美元)
  With --fixed a set price stays exactly as given until the next set.

)";

Parsed ParseWalkOption(Arguments& args, WalkOptions& options) {
    const std::string arg = args.Name();
    bool* flag = arg == "--fixed"        ? &options.Fixed
                 : arg == "--hang"       ? &options.Hang
                 : arg == "--short-body" ? &options.ShortBody
                 : arg == "--garbage"    ? &options.Garbage
                 : arg == "--no-marker"  ? &options.NoMarker
                 : arg == "--utf8"       ? &options.Utf8
                                         : nullptr;
    if (flag) {
        *flag = true;
        return Parsed::Taken;
    }
    std::optional<qint64> number;
    if (arg == "--seed" && (number = args.Number(0, LONG_MAX)))
        options.Seed = std::uint64_t(*number);
    else if (arg == "--status" && (number = args.Number(100, 599)))
        options.Status = int(*number);
    else if (arg == "--delay-ms" && (number = args.Number(0, 3600000)))
        options.DelayMs = long(*number);
    else if (arg == "--seed" || arg == "--status" || arg == "--delay-ms")
        return Parsed::Bad;
    else
        return Parsed::NotMine;
    return Parsed::Taken;
}

void ExposeWalk(WalkOptions& options, const Exposure& exposure) {
    options.Queries = exposure.TestSwitches || exposure.Loopback;
}

WalkSource::WalkSource(const WalkOptions& options, StopSignal& stop)
    : Options(options), Stop(stop), Prices(std::make_unique<Market>(options.Seed)) {}

WalkSource::~WalkSource() = default;

void WalkSource::Register(http::Server& server) {
    server.Route("/rates/index.aspx",
                 [this](const http::Request& req, http::Response& res) { ServeRates(req, res); });
    server.Route("/status", [this](const http::Request&, http::Response& res) {
        res.Set(200, Status(), "application/json");
    });
}

std::uint64_t WalkSource::BoardVersion() const {
    return Prices->CurrentVersion();
}

BoardState WalkSource::BoardRows() const {
    BoardState state;
    state.Demo = true;
    state.PollSeconds = kBoardPollSeconds;
    state.Rows = Prices->Rows(state.Version);
    state.UpdatedMs = QDateTime::currentMSecsSinceEpoch();
    return state;
}

void WalkSource::ServeRates(const http::Request& req, http::Response& res) {
    RequestFaults faults{};
    if (const auto error = ReadFaults(req, Options, faults)) {
        res.Set(400, *error + "\n", "text/plain");
        return;
    }
    if (faults.Hang) {
        res.Hang = true;
        return;
    }
    // The page is made when the wait is over, with the prices of that moment.
    res.Wait = std::chrono::milliseconds(faults.DelayMs);
    res.Then = [this, faults, sets = Options.Queries ? SetParams(req) : std::vector<std::string>()](
                   http::Response& later) {
        if (Stop.Raised()) {
            later.Error(503, "stopping");
            return;
        }
        Answer(faults, sets, later);
    };
}

std::vector<std::string> WalkSource::SetParams(const http::Request& req) {
    std::vector<std::string> sets;
    for (std::size_t i = 0; i < req.Count("set"); ++i)
        sets.push_back(req.Param("set", i));
    return sets;
}

void WalkSource::Answer(const RequestFaults& faults, const std::vector<std::string>& sets,
                        http::Response& res) {
    Prices->Step(faults.Steps);
    for (const std::string& set : sets) {
        if (const auto error = Prices->Set(set)) {
            res.Set(400, *error + "\n", "text/plain");
            return;
        }
    }
    std::uint64_t version = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const BoardRow& row : Prices->Rows(version))
        Day.Add(row.Name, now, row.Value);
    const std::string type = faults.Utf8 ? "text/html; charset=utf-8" : "text/html; charset=gb2312";
    if (faults.Status != 200) {
        res.Error(faults.Status, "error " + std::to_string(faults.Status));
        return;
    }
    std::string body;
    if (faults.Garbage) {
        body = Prices->Garbage(4096);
    } else {
        body = Prices->Page(!faults.NoMarker, faults.Utf8);
    }
    res.Set(200, std::move(body), type);
    if (faults.ShortBody)
        res.Mode = http::Response::Body::Short;
}

std::string WalkSource::Status() const {
    return "{\n    \"source\": \"walk\",\n    \"demo\": true,\n    \"seed\": " +
           std::to_string(Options.Seed) +
           ",\n    \"fixed\": " + (Options.Fixed ? "true" : "false") + "\n}\n";
}

}  // namespace kestrel::gateway
