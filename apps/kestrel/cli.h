// The command-line modes: --print, --history, --show-settings, --help, --version.
#pragma once

#include <optional>

namespace kestrel {

// Runs a command-line mode when the arguments ask for one and returns its exit status;
// std::nullopt means that the ticker window is to start.
std::optional<int> RunCommandLine(int argc, char* argv[]);

}  // namespace kestrel
