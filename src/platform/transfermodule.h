// The HTTP transfer of the network module (kestrel-net.so: libcurl, with libproxy for the
// desktop's proxy).
#pragma once

#include <QString>

#include "platform/modules.h"

namespace kestrel {

// Makes the network module's transfer the transfer of every HTTP client created from now on
// (call once at start-up). The module is loaded by the first transfer made, on the worker thread
// that makes it: the window comes up without libcurl and its libraries, and the GUI thread never
// waits for them. Without the module every transfer fails as one that found no way out, and the
// reason is logged once.
void InstallTransferModule(const QString& folder = ModuleFolder());

}  // namespace kestrel
