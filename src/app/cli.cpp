#include "app/cli.h"

#include <cstdio>
#include <cstring>

namespace kestrel {

std::optional<int> RunCommandLine(int argc, char* argv[]) {
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("Kestrel 0.90\n", stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace kestrel
