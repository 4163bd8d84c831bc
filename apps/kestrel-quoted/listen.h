// Where the server listens, and the rule that keeps it on this machine unless told otherwise.
#pragma once

#include <optional>
#include <string>

#include "commandline.h"

namespace kestrel::gateway {

struct ListenOptions {
    int Port = 8936;
    std::string Bind = "127.0.0.1";
    bool AllowRemote = false;
    bool TestSwitches = false;
};

// --port, --bind, --allow-remote, --test-switches.
Parsed ParseListenOption(Arguments& args, ListenOptions& options);

// What the address exposes, or nothing (with the reason on standard error) when it reaches
// beyond this machine without --allow-remote.
std::optional<Exposure> CheckListen(ListenOptions& options, bool walk);

}  // namespace kestrel::gateway
