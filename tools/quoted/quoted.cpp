// kestrel-quoted: a small quote server for demos, tests and benchmarks. It serves a rates page
// laid out as the ticker reads one, with prices that walk randomly from request to request, and
// can be told to misbehave in the ways a real server does.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "quotes/catalogue.h"
#include "settings/encodings.h"
#include "upgradefiles.h"

namespace {

using namespace kestrel;
using namespace Qt::Literals::StringLiterals;

constexpr const char* kUsage = R"(Usage: kestrel-quoted [options]

Serves the rates page /rates/index.aspx (GBK, charset=gb2312) for the ticker.

Options:
  --port N        port to listen on (default 8936; 0 picks a free one)
  --bind ADDR     address to listen on (default 127.0.0.1)
  --seed N        seed of the random walk (default 1); the same seed gives the same prices
  --fixed         prices stay put between requests (see step and set below)
  --status N      answer with HTTP status N and a short error page instead of the rates
  --delay-ms N    wait N ms before answering
  --hang          accept requests and never answer them until the server stops
  --short-body    announce a Content-Length larger than the body, send the body, then close
  --garbage       answer with random bytes
  --no-marker     leave the chart marker line out of the page
  --utf8          send the page in UTF-8 with charset=utf-8
  --help          this text

Each fault switch can also be chosen for one request by a query parameter, which overrides
the switch (value 0 turns a switch off):
  ?status=500  ?delay_ms=2000  ?hang=1  ?short_body=1  ?garbage=1  ?no_marker=1  ?utf8=1

Pinning prices (for tests that need a rise or a fall):
  ?step=N               advance the walk by N steps for this request (default 1, 0 with --fixed)
  ?set=NAME:PRICE       set an instrument's price for this and all later requests; NAME is the
                        instrument's Chinese name in UTF-8 percent-encoding, several may be given
                        separated by "," or as repeated set parameters
                        e.g. ?set=%E6%AC%A7%E5%85%83%E7%BE%8E%E5%85%83:1.1700 (欧元美元)
  With --fixed a set price stays exactly as given until the next set.

The server prints "listening on http://ADDR:PORT/" when it is ready, logs one line per request
to standard error, and stops on SIGTERM or SIGINT.
)";

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

struct Options {
    upgradefiles::Options Upgrade;
    int Port = 8936;
    std::string Bind = "127.0.0.1";
    std::uint64_t Seed = 1;
    bool Fixed = false;
    int Status = 200;
    long DelayMs = 0;
    bool Hang = false, ShortBody = false, Garbage = false, NoMarker = false, Utf8 = false;
};

struct Quote {
    QString Name;
    int Decimals = 4;
    double Open = 0, Price = 0, High = 0, Low = 0;
};

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return value;
}

// The market: every page instrument with its walk, shared by all request threads.
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

    QString Page(bool marker, const char* charset) {
        std::lock_guard lock(Mutex);
        const QString time = QDateTime::currentDateTime().toString(u"hh:mm:ss");
        QString page;
        page +=
            u"<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
            u"charset="_s +
            QString::fromLatin1(charset) +
            u"\">\r\n<title>外汇牌价</title>\r\n</head>\r\n"
            u"<body>\r\n<table class=\"rates\">\r\n"_s;
        page +=
            u"<tr><th>名称</th><th>买入价</th><th>卖出价</th><th>最高</th><th>最低</th>"
            u"<th>涨跌</th><th>涨跌幅</th><th>时间</th></tr>\r\n"_s;
        if (marker)
            page += u"<tr><td colspan=\"8\"><a href=\"/chart/\">货币走势图</a></td></tr>\r\n"_s;
        for (const Quote& q : Quotes) {
            const double spread = q.Price * 0.0002;
            const double change = q.Price - q.Open;
            const auto number = [&q](double v) { return QString::number(v, 'f', q.Decimals); };
            page += u"<tr><td><a href=\"/chart/?name="_s + q.Name + u"\" title=\""_s + q.Name +
                    u"\">"_s + q.Name + u"</a></td>\r\n"_s;
            for (const QString& cell :
                 {number(q.Price), number(q.Price + spread), number(q.High), number(q.Low),
                  (change >= 0 ? u"+"_s : QString()) + number(change),
                  QString::asprintf("%+.2f%%", change / q.Open * 100), time}) {
                page += u"<td>"_s + cell + u"</td>\r\n"_s;
            }
            page += u"</tr>\r\n"_s;
        }
        page += u"</table>\r\n</body>\r\n</html>\r\n"_s;
        return page;
    }

private:
    Quote* Find(const QString& name) {
        const auto it = std::find_if(Quotes.begin(), Quotes.end(),
                                     [&name](const Quote& q) { return q.Name == name; });
        return it == Quotes.end() ? nullptr : &*it;
    }

    static void Track(Quote& quote) {
        quote.High = std::max(quote.High, quote.Price);
        quote.Low = std::min(quote.Low, quote.Price);
    }

    std::mutex Mutex;
    std::mt19937_64 Walk, Noise;
    std::vector<Quote> Quotes;
};

// Lets waiting requests (delay, hang) end as soon as the server stops.
class StopSignal {
public:
    void Raise() {
        {
            std::lock_guard lock(Mutex);
            Stopped = true;
        }
        Changed.notify_all();
    }
    // Waits until the time has passed (true) or the server stops (false).
    bool WaitFor(std::chrono::milliseconds time) {
        std::unique_lock lock(Mutex);
        return !Changed.wait_for(lock, time, [this] { return Stopped; });
    }
    bool Raised() {
        std::lock_guard lock(Mutex);
        return Stopped;
    }
    void Wait() {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [this] { return Stopped; });
    }

private:
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Stopped = false;
};

// The faults of one request: the server's switches, overridden by the query.
struct Faults {
    int Status;
    long DelayMs, Steps;
    bool Hang, ShortBody, Garbage, NoMarker, Utf8;
};

std::optional<std::string> ReadFaults(const httplib::Request& req, const Options& options,
                                      Faults& faults) {
    const auto flag = [&req](const char* key, bool value) {
        if (!req.has_param(key))
            return value;
        const std::string text = req.get_param_value(key);
        return text != "0" && text != "false";
    };
    const auto number = [&req](const char* key, long value, long low, long high,
                               std::optional<std::string>& error) {
        if (!req.has_param(key))
            return value;
        const std::optional<long> parsed = ParseNumber(req.get_param_value(key), low, high);
        if (!parsed)
            error = std::string("bad value of ") + key;
        return parsed.value_or(value);
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

void ServeRates(const httplib::Request& req, httplib::Response& res, const Options& options,
                Market& market, StopSignal& stop) {
    Faults faults{};
    if (const auto error = ReadFaults(req, options, faults)) {
        res.status = 400;
        res.set_content(*error + "\n", "text/plain");
        return;
    }
    if (faults.DelayMs > 0 && !stop.WaitFor(std::chrono::milliseconds(faults.DelayMs))) {
        res.status = 503;
        return;
    }
    if (faults.Hang) {
        stop.Wait();
        res.status = 503;
        return;
    }
    market.Step(faults.Steps);
    for (std::size_t i = 0; i < req.get_param_value_count("set"); ++i) {
        if (const auto error = market.Set(req.get_param_value("set", i))) {
            res.status = 400;
            res.set_content(*error + "\n", "text/plain");
            return;
        }
    }
    const std::string type = faults.Utf8 ? "text/html; charset=utf-8" : "text/html; charset=gb2312";
    if (faults.Status != 200) {
        res.status = faults.Status;
        res.set_content("<html><body>error " + std::to_string(faults.Status) + "</body></html>\r\n",
                        "text/html");
        return;
    }
    std::string body;
    if (faults.Garbage) {
        body = market.Garbage(4096);
    } else {
        const QString page = market.Page(!faults.NoMarker, faults.Utf8 ? "utf-8" : "gb2312");
        body = (faults.Utf8 ? page.toUtf8() : ToCp936(page)).toStdString();
    }
    if (faults.ShortBody) {
        // The connection closes once the body is out, well short of the announced length.
        const std::size_t announced = body.size() + body.size() / 2 + 1;
        res.set_content_provider(announced, type,
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset > 0)
                                         return false;
                                     sink.write(body.data(), body.size());
                                     return true;
                                 });
        return;
    }
    res.set_content(body, type);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](long low, long high) -> std::optional<long> {
            if (i + 1 >= argc)
                return std::nullopt;
            return ParseNumber(argv[++i], low, high);
        };
        std::optional<long> number;
        bool upgradeOk = true;
        if (upgradefiles::ParseOption(argc, argv, i, options.Upgrade, upgradeOk)) {
            if (!upgradeOk) {
                std::cerr << "kestrel-quoted: missing value of " << arg << "\n";
                return std::nullopt;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << upgradefiles::kUsage;
            std::exit(0);
        } else if (arg == "--port" && (number = value(0, 65535))) {
            options.Port = int(*number);
        } else if (arg == "--bind" && i + 1 < argc) {
            options.Bind = argv[++i];
        } else if (arg == "--seed" && (number = value(0, LONG_MAX))) {
            options.Seed = std::uint64_t(*number);
        } else if (arg == "--status" && (number = value(100, 599))) {
            options.Status = int(*number);
        } else if (arg == "--delay-ms" && (number = value(0, 3600000))) {
            options.DelayMs = *number;
        } else if (arg == "--fixed") {
            options.Fixed = true;
        } else if (arg == "--hang") {
            options.Hang = true;
        } else if (arg == "--short-body") {
            options.ShortBody = true;
        } else if (arg == "--garbage") {
            options.Garbage = true;
        } else if (arg == "--no-marker") {
            options.NoMarker = true;
        } else if (arg == "--utf8") {
            options.Utf8 = true;
        } else {
            std::cerr << "kestrel-quoted: bad argument " << arg << "\n" << kUsage;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return 2;

    // Every thread inherits the blocked signals; one thread waits for them and stops the server.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Market market(options->Seed);
    StopSignal stop;
    httplib::Server server;
    server.set_keep_alive_timeout(2);
    server.Get("/rates/index.aspx", [&](const httplib::Request& req, httplib::Response& res) {
        ServeRates(req, res, *options, market, stop);
    });
    upgradefiles::Register(server, options->Upgrade);
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        std::string target = req.target.empty() ? req.path : req.target;
        std::fprintf(stderr, "%s %s %s -> %d, %zu bytes\n", req.remote_addr.c_str(),
                     req.method.c_str(), target.c_str(), res.status,
                     res.content_length_ ? res.content_length_ : res.body.size());
    });

    const int port = options->Port == 0 ? server.bind_to_any_port(options->Bind)
                     : server.bind_to_port(options->Bind, options->Port) ? options->Port
                                                                         : -1;
    if (port < 0) {
        std::cerr << "kestrel-quoted: cannot listen on " << options->Bind << ":" << options->Port
                  << "\n";
        return 1;
    }
    std::printf("listening on http://%s:%d/\n", options->Bind.c_str(), port);
    std::fflush(stdout);

    std::thread stopper([&] {
        int received = 0;
        sigwait(&stopSignals, &received);
        stop.Raise();
        server.stop();
    });
    const bool listened = server.listen_after_bind();
    if (!stop.Raised())
        kill(getpid(), SIGTERM);  // the server ended on its own: release the stopper
    stopper.join();
    return listened ? 0 : 1;
}
