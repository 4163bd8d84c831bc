// The network module (kestrel-net.so): libcurl transfers with libproxy's lookups, and the
// system's network information through Qt Network. It is loaded the first time one of them is
// needed, so that the window comes up without them and the thirty-odd libraries they bring.
#pragma once

#include <QString>

#include "platform/modules.h"

namespace kestrel {

// Makes the module's transfer the transfer of every HTTP client created from now on (call once
// at start-up). The module is loaded by the first transfer made, on the worker thread that makes
// it, so the GUI thread never waits for it. Without the module every transfer fails as one that
// found no way out, and the reason is logged once.
void InstallTransferModule(const QString& folder = ModuleFolder());

// Whether the computer is online, as the module's network information says; false, with the
// reason logged once, when the module cannot be loaded (nothing could be downloaded anyway).
bool NetworkModuleSaysOnline();

}  // namespace kestrel
