// The demo source: plausible prices that walk from request to request, seeded, with switches for
// every way a real server misbehaves.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <memory>

#include "util.h"

namespace kestrel::quoted {

struct WalkOptions {
    std::uint64_t Seed = 1;
    bool Fixed = false;
    int Status = 200;
    long DelayMs = 0;
    bool Hang = false, ShortBody = false, Garbage = false, NoMarker = false, Utf8 = false;
};

class Market;

class WalkSource {
public:
    WalkSource(const WalkOptions& options, StopSignal& stop);
    ~WalkSource();
    void ServeRates(const httplib::Request& req, httplib::Response& res);

private:
    const WalkOptions Options;
    StopSignal& Stop;
    std::unique_ptr<Market> Prices;
};

}  // namespace kestrel::quoted
