#include "upstream.h"

namespace kestrel::feeds {

const char* const kBrowserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/120.0 Safari/537.36";

std::vector<std::string> RequestHeaders(SourceKind kind) {
    // The quote service refuses requests that do not come from its own pages.
    if (kind == SourceKind::Portal)
        return {"Referer: https://finance.sina.com.cn/"};
    return {};
}

}  // namespace kestrel::feeds
