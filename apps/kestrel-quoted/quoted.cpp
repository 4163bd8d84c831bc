// kestrel-quoted: the quote server. It serves a rates page laid out as the ticker reads one, either
// from a random walk for demos and tests (with switches for every way a real server misbehaves)
// or from public market-data feeds that it polls on its own schedule.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "board.h"
#include "commandline.h"
#include "gateway.h"
#include "history.h"
#include "history/historystore.h"
#include "http.h"
#include "listen.h"
#include "office.h"
#include "upgradefiles.h"
#include "walk.h"

namespace {

using namespace kestrel::gateway;
using kestrel::feeds::SourceKind;

constexpr const char* kUsageHead = R"(Usage: kestrel-quoted [options]

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

)";

constexpr const char* kUsageTail =
    R"(A request waits (delay, hang) at most 30 seconds; idle connections are closed after 5 seconds;
request headers over 16 KiB are refused with 431, bodies over 16 KiB with 413, methods other
than GET and HEAD with 405.

The server prints "listening on http://ADDR:PORT/" when it is ready, logs one line per request
to standard error, and stops on SIGTERM or SIGINT.
)";

struct Options {
    ListenOptions Listen;
    bool Walk = false;  // else the real feeds
    OfficeOptions Office;
    WalkOptions Demo;
    upgradefiles::Options Upgrade;
};

// --source: the feeds in order of preference, or the walk on its own.
Parsed ParseSource(Arguments& args, Options& options) {
    if (args.Name() != "--source")
        return Parsed::NotMine;
    const std::optional<std::string> name = args.Value();
    if (!name)
        return Parsed::Bad;
    std::vector<SourceKind>& feeds = options.Office.Feeds;
    if (*name == "walk" && feeds.empty() && !options.Walk) {
        options.Walk = true;
    } else if (*name == "portal" || *name == "boc" || *name == "ecb") {
        const SourceKind kind = *name == "portal" ? SourceKind::Portal
                                : *name == "boc"  ? SourceKind::Boc
                                                  : SourceKind::Ecb;
        // A source named twice is still polled once.
        if (std::find(feeds.begin(), feeds.end(), kind) == feeds.end())
            feeds.push_back(kind);
    } else {
        std::cerr << "kestrel-quoted: unknown source " << *name << " (the walk stands alone)\n";
        return Parsed::Refused;
    }
    return Parsed::Taken;
}

void PrintUsage(std::ostream& out) {
    out << kUsageHead << kOfficeUsage << kWalkUsage << kUsageTail << upgradefiles::kUsage;
}

// Each argument goes to the group that knows it.
Parsed ParseArgument(Arguments& args, Options& options) {
    if (args.Name() == "--help" || args.Name() == "-h") {
        PrintUsage(std::cout);
        std::exit(0);
    }
    Parsed parsed = upgradefiles::ParseOption(args, options.Upgrade);
    if (parsed == Parsed::NotMine)
        parsed = ParseListenOption(args, options.Listen);
    if (parsed == Parsed::NotMine)
        parsed = ParseSource(args, options);
    if (parsed == Parsed::NotMine)
        parsed = ParseOfficeOption(args, options.Office);
    if (parsed == Parsed::NotMine)
        parsed = ParseWalkOption(args, options.Demo);
    return parsed;
}

// The groups' rules, once every option is known: what each may offer where the server listens.
bool CheckOptions(Options& options) {
    if (options.Walk && !options.Office.Feeds.empty()) {
        std::cerr << "kestrel-quoted: the walk stands alone\n";
        return false;
    }
    if (options.Walk && !options.Office.HistoryFile.empty()) {
        std::cerr << "kestrel-quoted: the walk's made-up prices are never kept\n";
        return false;
    }
    if (!options.Walk && options.Office.Feeds.empty())
        options.Office.Feeds = {SourceKind::Portal, SourceKind::Ecb};
    const std::optional<Exposure> exposure = CheckListen(options.Listen, options.Walk);
    if (!exposure)
        return false;
    ExposeWalk(options.Demo, *exposure);
    if (const auto problem = upgradefiles::Check(options.Upgrade, *exposure)) {
        std::cerr << "kestrel-quoted: " << *problem << "\n";
        return false;
    }
    return true;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (Arguments args(argc, argv); !args.AtEnd(); args.Next()) {
        const std::string arg = args.Name();
        const Parsed parsed = ParseArgument(args, options);
        if (parsed == Parsed::Refused)
            return std::nullopt;
        if (parsed != Parsed::Taken) {
            std::cerr << "kestrel-quoted: bad argument " << arg << "\n";
            std::cerr << kUsageHead << kOfficeUsage << kWalkUsage << kUsageTail;
            return std::nullopt;
        }
    }
    if (!CheckOptions(options))
        return std::nullopt;
    return options;
}

// Serves until SIGTERM or SIGINT; the exit status.
int Serve(const Options& options, sigset_t& stopSignals) {
    StopSignal stop;
    http::Server server;
    // The walk makes a page per request; the gateway serves its cache of the feeds.
    std::unique_ptr<kestrel::HistoryStore> history;
    std::unique_ptr<HistoryRoutes> historyRoutes;
    std::unique_ptr<WalkSource> walk;
    std::unique_ptr<Gateway> gateway;
    std::unique_ptr<Board> board;
    if (options.Walk) {
        walk = std::make_unique<WalkSource>(options.Demo, stop);
        walk->Register(server);
        board = std::make_unique<Board>([&walk] { return walk->BoardRows(); },
                                        [&walk] { return walk->BoardVersion(); }, walk->Lines());
    } else {
        GatewayOptions sources = FeedSources(options.Office);
        if (!options.Office.NoHistory) {
            const std::string& file = options.Office.HistoryFile;
            history = std::make_unique<kestrel::HistoryStore>(
                file.empty() ? DefaultGatewayHistoryPath() : QString::fromStdString(file));
            sources.History = history.get();
        }
        gateway = std::make_unique<Gateway>(std::move(sources), stop);
        RegisterOffice(server, *gateway);
        board = std::make_unique<Board>([&gateway] { return gateway->BoardRows(); },
                                        [&gateway] { return gateway->BoardVersion(); },
                                        gateway->Lines());
        if (history) {
            historyRoutes = std::make_unique<HistoryRoutes>(*history, gateway->CacheSeconds());
            historyRoutes->Register(server);
        }
    }
    board->Register(server);
    if (options.Upgrade.Routes)
        upgradefiles::Register(server, options.Upgrade);

    const std::optional<int> port =
        server.Start({options.Listen.Bind, options.Listen.Port,
                      std::max(2u, std::thread::hardware_concurrency())});
    if (!port) {
        stop.Raise();
        return 1;
    }
    std::printf("listening on http://%s:%d/\n", options.Listen.Bind.c_str(), *port);
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    stop.Raise();
    server.Stop();
    gateway.reset();  // the pollers have seen the stop signal
    // The last values reach the file before the process ends.
    if (history && !history->WaitForWrites(2000))
        std::cerr << "kestrel-quoted: the history's last writes were not finished\n";
    return 0;
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
    return Serve(*options, stopSignals);
}
