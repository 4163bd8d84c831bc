#include "listen.h"

#include <iostream>

namespace kestrel::gateway {

Parsed ParseListenOption(Arguments& args, ListenOptions& options) {
    const std::string arg = args.Name();
    if (arg == "--port") {
        const std::optional<qint64> port = args.Number(0, 65535);
        if (!port)
            return Parsed::Bad;
        options.Port = int(*port);
    } else if (arg == "--bind") {
        const std::optional<std::string> bind = args.Value();
        if (!bind)
            return Parsed::Bad;
        options.Bind = *bind;
    } else if (arg == "--allow-remote") {
        options.AllowRemote = true;
    } else if (arg == "--test-switches") {
        options.TestSwitches = true;
    } else {
        return Parsed::NotMine;
    }
    return Parsed::Taken;
}

std::optional<Exposure> CheckListen(ListenOptions& options, bool walk) {
    if (options.Bind == "localhost")
        options.Bind = "127.0.0.1";
    const bool loopback = options.Bind.starts_with("127.") || options.Bind == "::1";
    if (!loopback) {
        std::cerr << "kestrel-quoted: warning: listening on " << options.Bind
                  << " lets other machines in\n";
        if (!options.AllowRemote) {
            std::cerr << "kestrel-quoted: add --allow-remote to mean it\n";
            return std::nullopt;
        }
    }
    return Exposure{loopback, options.TestSwitches, walk};
}

}  // namespace kestrel::gateway
