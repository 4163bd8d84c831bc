// Name lookups that hang: every name under "slow.test" takes KESTREL_SLOW_RESOLVE_MS (3000 by
// default) and then resolves to the loopback address; other names are looked up as usual.
// Linked into a test it replaces getaddrinfo for the libraries of that test; built as a module
// it does the same for any program through LD_PRELOAD.
#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** res) {
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    static const char kSuffix[] = "slow.test";
    const size_t length = node ? std::strlen(node) : 0;
    if (length >= sizeof kSuffix - 1 &&
        std::strcmp(node + length - (sizeof kSuffix - 1), kSuffix) == 0) {
        const char* ms = std::getenv("KESTREL_SLOW_RESOLVE_MS");
        std::this_thread::sleep_for(std::chrono::milliseconds(ms ? std::atoi(ms) : 3000));
        node = "127.0.0.1";
    }
    return real(node, service, hints, res);
}
