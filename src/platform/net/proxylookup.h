// The desktop's or environment's proxy, as libproxy finds it.
#pragma once

#include <QByteArray>
#include <functional>
#include <optional>

namespace kestrel {

// The desktop's or environment's proxy for a URL, as libproxy finds it: an empty text for a
// direct connection. The lookup may fetch a configuration script or resolve names and cannot be
// interrupted, so it runs on a thread of its own that a stopped or late transfer leaves behind
// (nullopt) instead of waiting for it. Lookups that hang for good are not piled up without end:
// past a few of them the next transfer fails at once.
// giveUp is asked every few milliseconds while the lookup runs.
std::optional<QByteArray> SystemProxy(const QByteArray& url, const std::function<bool()>& giveUp);

}  // namespace kestrel
