// The HTTP transfer over libcurl.
#pragma once

#include <memory>

#include "net/transfer.h"

namespace kestrel {

std::unique_ptr<ITransfer> MakeCurlTransfer();

// Makes libcurl the transfer of every HTTP client created from now on (call once at start-up).
void InstallCurlTransfer();

}  // namespace kestrel
