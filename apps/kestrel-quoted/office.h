// The office server: the real feeds polled once for every ticker, served as a rates page with
// /status, and the options that choose and pace them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "commandline.h"
#include "gateway.h"
#include "http.h"

namespace kestrel::gateway {

struct OfficeOptions {
    std::vector<SourceKind> Feeds;  // in order of preference
    std::optional<double> Poll;
    std::string Urls[3] = {feeds::DefaultUrl(SourceKind::Portal),
                           feeds::DefaultUrl(SourceKind::Boc), feeds::DefaultUrl(SourceKind::Ecb)};
    GatewayOptions Gateway;
    std::string HistoryFile;  // empty: DefaultGatewayHistoryPath()
    bool NoHistory = false;
};

extern const char* const kOfficeUsage;

// --poll, --stale, --backoff-max, the feeds' addresses, --proxy and the history's options.
Parsed ParseOfficeOption(Arguments& args, OfficeOptions& options);

// The sources to poll, each at its pace: never more often than a public service allows.
GatewayOptions FeedSources(const OfficeOptions& options);

// /rates/index.aspx from the gateway's cache, /status with the sources' health.
void RegisterOffice(http::Server& server, Gateway& gateway);

}  // namespace kestrel::gateway
