#include "office.h"

#include <QUrl>

#include "board.h"
#include "logging.h"

namespace kestrel::gateway {

const char* const kOfficeUsage = R"(Options of the real feeds:
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
  --history-file PATH     keep the price history there (default
                          $XDG_DATA_HOME/kestrel/gateway-history.sqlite)
  --no-history            keep no history
  GET /status answers JSON with each source's last success, last error and back-off, a
  transfer under way, the age of each instrument and the state of the history file.
  A value is served only when it is plausible: finite and positive, within 25% of the previous
  close the source gives and of the value last accepted, and not older than --stale by its own
  time when it arrives (a daily reference rate: five days). A symbol given twice in one answer
  is dropped. The page carries Cache-Control: max-age of the shortest poll and an ETag.
  GET /history?code=EURUSD[&from=T&to=T][&format=csv] answers the minute bars of up to 7 days
  (default: the last 24 hours; T is Unix seconds or ISO 8601 with an offset).
  GET / is the board for a browser, reading GET /quotes.json at every poll.

)";

namespace {

// The least poll intervals protect the real services; a feed on this machine (a test's fake)
// may be asked as often as wanted.
bool IsLoopback(const std::string& url) {
    const QString host = QUrl(QString::fromStdString(url)).host();
    return host == u"localhost" || host == u"::1" || host.startsWith(u"127.");
}

std::string* TextOption(const std::string& arg, OfficeOptions& options) {
    return arg == "--portal-url"     ? &options.Urls[int(SourceKind::Portal)]
           : arg == "--boc-url"      ? &options.Urls[int(SourceKind::Boc)]
           : arg == "--ecb-url"      ? &options.Urls[int(SourceKind::Ecb)]
           : arg == "--proxy"        ? &options.Gateway.Proxy
           : arg == "--history-file" ? &options.HistoryFile
                                     : nullptr;
}

// The page with what a cache in front needs: its lifetime and a tag to revalidate by.
void ServePage(Gateway& gateway, const http::Request& req, http::Response& res) {
    const std::optional<std::string> page = gateway.Page();
    if (!page) {
        // The ticker shows this line as the cause.
        res.Set(503, gateway.Reason() + "\n", "text/plain; charset=utf-8");
        res.Headers.emplace_back("Cache-Control", "no-store");
        return;
    }
    ServeCached(req, res, *page, "text/html; charset=gb2312", gateway.CacheSeconds());
}

}  // namespace

Parsed ParseOfficeOption(Arguments& args, OfficeOptions& options) {
    const std::string arg = args.Name();
    if (arg == "--poll" || arg == "--stale" || arg == "--backoff-max") {
        const std::optional<double> seconds = args.Seconds(0.05);
        if (!seconds)
            return Parsed::Bad;
        if (arg == "--poll")
            options.Poll = *seconds;
        else if (arg == "--stale")
            options.Gateway.StaleSeconds = *seconds;
        else
            options.Gateway.BackoffMaxSeconds = *seconds;
        return Parsed::Taken;
    }
    if (arg == "--no-history") {
        options.NoHistory = true;
        return Parsed::Taken;
    }
    if (std::string* text = TextOption(arg, options)) {
        const std::optional<std::string> value = args.Value();
        if (!value)
            return Parsed::Bad;
        *text = *value;
        return Parsed::Taken;
    }
    return Parsed::NotMine;
}

GatewayOptions FeedSources(const OfficeOptions& options) {
    GatewayOptions gateway = options.Gateway;
    for (SourceKind kind : options.Feeds) {
        const std::string& url = options.Urls[int(kind)];
        double poll = options.Poll.value_or(feeds::DefaultPoll(kind));
        if (poll < feeds::LeastPoll(kind) && !IsLoopback(url)) {
            qCWarning(lcGateway, "polling %s every %g seconds, not more often",
                      feeds::SourceName(kind), feeds::LeastPoll(kind));
            poll = feeds::LeastPoll(kind);
        }
        gateway.Sources.push_back({kind, url, poll});
    }
    return gateway;
}

void RegisterOffice(http::Server& server, Gateway& gateway) {
    server.Route("/rates/index.aspx", [&gateway](const http::Request& req, http::Response& res) {
        ServePage(gateway, req, res);
    });
    server.Route("/status", [&gateway](const http::Request&, http::Response& res) {
        res.Set(200, gateway.Status(), "application/json");
    });
}

}  // namespace kestrel::gateway
