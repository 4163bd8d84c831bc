// The HTTP transfer over libcurl.
#pragma once

#include <memory>

#include "net/transfer.h"

namespace kestrel {

std::unique_ptr<ITransfer> MakeCurlTransfer();

}  // namespace kestrel
