// The backends that the program's components use without naming them, put in place at start.
#pragma once

namespace kestrel {

// The HTTP transfer (the network module) and the desktop's keyring for the proxy password.
void InstallPlatformServices();

}  // namespace kestrel
