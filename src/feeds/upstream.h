// How a request to a public service presents itself: the services answer browsers and their
// own pages only.
#pragma once

#include <string>
#include <vector>

#include "cache.h"

namespace kestrel::feeds {

// The agent and extra header lines a source's requests carry.
extern const char* const kBrowserAgent;
std::vector<std::string> RequestHeaders(SourceKind kind);
// Largest answer kept; a longer one fails the request.
constexpr long kMaxAnswerBytes = 4 << 20;

}  // namespace kestrel::feeds
