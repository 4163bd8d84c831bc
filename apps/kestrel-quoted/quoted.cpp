// kestrel-quoted: the quote server. It serves a rates page laid out as the ticker reads one, either
// from a random walk for demos and tests (with switches for every way a real server misbehaves)
// or from public market-data feeds that it polls on its own schedule.
#include <curl/curl.h>
#include <signal.h>
#include <unistd.h>

#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gateway.h"
#include "http.h"
#include "upgradefiles.h"
#include "util.h"
#include "walk.h"

namespace {

using namespace kestrel::quoted;
using namespace kestrel::feeds;

constexpr const char* kUsage = R"(Usage: kestrel-quoted [options]

Serves the rates page /rates/index.aspx (GBK, charset=gb2312) for the ticker.

Options:
  --port N        port to listen on (default 8936; 0 picks a free one)
  --bind ADDR     numeric address to listen on (default 127.0.0.1); any other than loopback
                  needs --allow-remote
  --allow-remote  agree to listen beyond this machine; the walk's query switches and the
                  upgrade paths then stay off unless --test-switches or an upgrade option
                  asks for them
  --test-switches the query switches of the walk and of the upgrade paths, on any address
  --source NAME   where the prices come from: portal (real-time quotes), boc (the bank's
                  board), ecb (daily reference rates), given in order of preference (default
                  --source portal --source ecb); or walk, a random walk for demos and tests,
                  whose pages say that their prices are made up
  --help          this text

Options of the real feeds:
  --poll SECONDS          one request per source every SECONDS (defaults: portal 10, boc 600,
                          ecb 3600; at least 5, 60 and 300)
  --stale SECONDS         withdraw a source's values once it has failed this long (default 600);
                          with nothing left the page answers 503
  --backoff-max SECONDS   longest wait after repeated failures (default 300)
  --portal-url URL        the quote service's address, symbols appended (default
                          https://hq.sinajs.cn/list=)
  --boc-url URL           the bank's board (default https://www.boc.cn/sourcedb/whpj/)
  --ecb-url URL           the reference rate file (default
                          https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml)
  --proxy URL             proxy for the upstream requests (default: http_proxy, https_proxy and
                          no_proxy from the environment)
  GET /status answers JSON with each source's last success, last error and back-off, a
  transfer under way, and the age of each instrument.
  A value is served only when it is plausible: finite and positive, within 25% of the previous
  close the source gives and of the value last accepted, and not older than --stale by its own
  time when it arrives (a daily reference rate: five days). A symbol given twice in one answer
  is dropped. The page carries Cache-Control: max-age of the shortest poll and an ETag.

Options of the walk:
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

A request waits (delay, hang) at most 30 seconds; idle connections are closed after 5 seconds;
request headers over 16 KiB are refused with 431, bodies over 16 KiB with 413, methods other
than GET and HEAD with 405.

The server prints "listening on http://ADDR:PORT/" when it is ready, logs one line per request
to standard error, and stops on SIGTERM or SIGINT.
)";

struct Options {
    upgradefiles::Options Upgrade;
    int Port = 8936;
    std::string Bind = "127.0.0.1";
    bool AllowRemote = false;
    bool TestSwitches = false;
    std::vector<SourceKind> Feeds;  // empty: the walk
    std::optional<double> Poll;
    std::string Urls[3] = {DefaultUrl(SourceKind::Portal), DefaultUrl(SourceKind::Boc),
                           DefaultUrl(SourceKind::Ecb)};
    GatewayOptions Gateway;
    WalkOptions Walk;
};

// The least poll intervals protect the real services; a feed on this machine (a test's fake)
// may be asked as often as wanted.
bool IsLoopback(const std::string& url) {
    const QString host = QUrl(QString::fromStdString(url)).host();
    return host == u"localhost" || host == u"::1" || host.startsWith(u"127.");
}

GatewayOptions FeedSources(Options& options) {
    GatewayOptions gateway = options.Gateway;
    for (SourceKind kind : options.Feeds) {
        const std::string& url = options.Urls[int(kind)];
        double poll = options.Poll.value_or(DefaultPoll(kind));
        if (poll < LeastPoll(kind) && !IsLoopback(url)) {
            std::cerr << "kestrel-quoted: polling " << SourceName(kind) << " every "
                      << LeastPoll(kind) << " seconds, not more often\n";
            poll = LeastPoll(kind);
        }
        gateway.Sources.push_back({kind, url, poll});
    }
    return gateway;
}

// The cached page with what a cache in front needs: its lifetime and a tag to revalidate by.
void ServeGatewayPage(Gateway& gateway, const http::Request& req, http::Response& res) {
    const std::optional<std::string> page = gateway.Page();
    if (!page) {
        // The ticker shows this line as the cause.
        res.Set(503, gateway.Reason() + "\n", "text/plain; charset=utf-8");
        res.Headers.emplace_back("Cache-Control", "no-store");
        return;
    }
    char tag[32];
    std::snprintf(tag, sizeof tag, "\"%016zx\"", std::hash<std::string>{}(*page));
    res.Headers.emplace_back("ETag", tag);
    res.Headers.emplace_back("Cache-Control", "max-age=" + std::to_string(gateway.CacheSeconds()));
    if (req.Header("If-None-Match") == tag) {
        res.Set(304, std::string(), std::string());
        return;
    }
    res.Set(200, *page, "text/html; charset=gb2312");
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    bool walk = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](long low, long high) -> std::optional<long> {
            if (i + 1 >= argc)
                return std::nullopt;
            return ParseNumber(argv[++i], low, high);
        };
        const auto seconds = [&](double low) -> std::optional<double> {
            if (i + 1 >= argc)
                return std::nullopt;
            return ParseSeconds(argv[++i], low, 30 * 86400.0);
        };
        const auto url = [&](SourceKind kind) {
            if (i + 1 >= argc)
                return false;
            options.Urls[int(kind)] = argv[++i];
            return true;
        };
        std::optional<long> number;
        std::optional<double> time;
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
        } else if (arg == "--allow-remote") {
            options.AllowRemote = true;
        } else if (arg == "--test-switches") {
            options.TestSwitches = true;
        } else if (arg == "--source" && i + 1 < argc) {
            const std::string name = argv[++i];
            if (name == "walk" && options.Feeds.empty() && !walk) {
                walk = true;
            } else if (name == "portal" || name == "boc" || name == "ecb") {
                const SourceKind kind = name == "portal" ? SourceKind::Portal
                                        : name == "boc"  ? SourceKind::Boc
                                                         : SourceKind::Ecb;
                // A source named twice is still polled once.
                if (std::find(options.Feeds.begin(), options.Feeds.end(), kind) ==
                    options.Feeds.end())
                    options.Feeds.push_back(kind);
            } else {
                std::cerr << "kestrel-quoted: unknown source " << name
                          << " (the walk stands alone)\n";
                return std::nullopt;
            }
        } else if (arg == "--poll" && (time = seconds(0.05))) {
            options.Poll = *time;
        } else if (arg == "--stale" && (time = seconds(0.05))) {
            options.Gateway.StaleSeconds = *time;
        } else if (arg == "--backoff-max" && (time = seconds(0.05))) {
            options.Gateway.BackoffMaxSeconds = *time;
        } else if (arg == "--portal-url" && url(SourceKind::Portal)) {
        } else if (arg == "--boc-url" && url(SourceKind::Boc)) {
        } else if (arg == "--ecb-url" && url(SourceKind::Ecb)) {
        } else if (arg == "--proxy" && i + 1 < argc) {
            options.Gateway.Proxy = argv[++i];
        } else if (arg == "--seed" && (number = value(0, LONG_MAX))) {
            options.Walk.Seed = std::uint64_t(*number);
        } else if (arg == "--status" && (number = value(100, 599))) {
            options.Walk.Status = int(*number);
        } else if (arg == "--delay-ms" && (number = value(0, 3600000))) {
            options.Walk.DelayMs = *number;
        } else if (arg == "--fixed") {
            options.Walk.Fixed = true;
        } else if (arg == "--hang") {
            options.Walk.Hang = true;
        } else if (arg == "--short-body") {
            options.Walk.ShortBody = true;
        } else if (arg == "--garbage") {
            options.Walk.Garbage = true;
        } else if (arg == "--no-marker") {
            options.Walk.NoMarker = true;
        } else if (arg == "--utf8") {
            options.Walk.Utf8 = true;
        } else {
            std::cerr << "kestrel-quoted: bad argument " << arg << "\n" << kUsage;
            return std::nullopt;
        }
    }
    if (walk && !options.Feeds.empty()) {
        std::cerr << "kestrel-quoted: the walk stands alone\n";
        return std::nullopt;
    }
    if (!walk && options.Feeds.empty())
        options.Feeds = {SourceKind::Portal, SourceKind::Ecb};
    if (options.Bind == "localhost")
        options.Bind = "127.0.0.1";
    const bool loopback = options.Bind.starts_with("127.") || options.Bind == "::1";
    if (!loopback) {
        std::cerr << "kestrel-quoted: warning: listening on " << options.Bind
                  << " lets other machines in\n";
        if (!options.AllowRemote) {
            std::cerr << "kestrel-quoted: add --allow-remote to mean it\n";
            return std::nullopt;
        }
    }
    const bool switches = options.TestSwitches || (options.Feeds.empty() && loopback);
    options.Walk.Queries = switches;
    options.Upgrade.Switches = switches;
    options.Upgrade.Routes = loopback || upgradefiles::Asked(options.Upgrade);
    if (const auto problem = upgradefiles::Check(options.Upgrade)) {
        std::cerr << "kestrel-quoted: " << *problem << "\n";
        return std::nullopt;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return 2;

    // Every thread inherits the blocked signals; one thread waits for them and stops the server.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    StopSignal stop;
    http::Server server;

    // The routes. The walk serves a page made up per request; the feeds serve their cache.
    std::unique_ptr<WalkSource> walk;
    std::unique_ptr<Gateway> gateway;
    if (options->Feeds.empty()) {
        walk = std::make_unique<WalkSource>(options->Walk, stop);
        server.Route("/rates/index.aspx", [&](const http::Request& req, http::Response& res) {
            walk->ServeRates(req, res);
        });
        server.Route("/status", [&](const http::Request&, http::Response& res) {
            res.Set(200, walk->Status(), "application/json");
        });
    } else {
        gateway = std::make_unique<Gateway>(FeedSources(*options), stop);
        server.Route("/rates/index.aspx", [&](const http::Request& req, http::Response& res) {
            ServeGatewayPage(*gateway, req, res);
        });
        server.Route("/status", [&](const http::Request&, http::Response& res) {
            res.Set(200, gateway->Status(), "application/json");
        });
    }
    if (options->Upgrade.Routes)
        upgradefiles::Register(server, options->Upgrade);

    const std::optional<int> port = server.Start(
        {options->Bind, options->Port, std::max(2u, std::thread::hardware_concurrency())});
    if (!port) {
        stop.Raise();
        return 1;
    }
    std::printf("listening on http://%s:%d/\n", options->Bind.c_str(), *port);
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    stop.Raise();
    server.Stop();
    gateway.reset();  // the pollers have seen the stop signal
    curl_global_cleanup();
    return 0;
}
