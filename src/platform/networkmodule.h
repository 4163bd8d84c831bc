// The network modules: libcurl transfers with libproxy's lookups (kestrel-net.so), and the
// system's network information through Qt Network (kestrel-online.so). Each is loaded the first
// time it is needed, so that the window comes up without them and the thirty-odd libraries they
// bring, and the quotes are read without Qt Network.
#pragma once

#include <QString>

#include "platform/modules.h"

namespace kestrel {

// Makes the module's transfer the transfer of every HTTP client created from now on (call once
// at start-up). The module is loaded by the first transfer made, on the worker thread that makes
// it, so the GUI thread never waits for it. Without the module every transfer fails as one that
// found no way out, and the reason is logged once.
void InstallTransferModule(const QString& folder = ModuleFolder());

// Whether the computer is online, as the network information module says; false, with the
// reason logged once, when the module cannot be loaded (nothing could be downloaded anyway).
bool NetworkModuleSaysOnline();

}  // namespace kestrel
