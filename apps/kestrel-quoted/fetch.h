// One upstream request as the public services expect it (a browser's agent, the portal's
// referer), bounded in size and time, abandoned as soon as the server stops.
#pragma once

#include <atomic>
#include <string>

#include "feeds/upstream.h"

namespace kestrel::gateway {

// proxy: empty for the environment's proxy (http_proxy, https_proxy, no_proxy).
feeds::Answer Fetch(const std::string& url, feeds::SourceKind kind, const std::string& proxy,
                    const std::atomic<bool>& stopped);

}  // namespace kestrel::gateway
