// The demo source: plausible prices that walk from request to request, seeded, with switches for
// every way a real server misbehaves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "commandline.h"
#include "http.h"
#include "stopsignal.h"

namespace kestrel::gateway {

struct WalkOptions {
    std::uint64_t Seed = 1;
    bool Fixed = false;
    int Status = 200;
    long DelayMs = 0;
    bool Hang = false, ShortBody = false, Garbage = false, NoMarker = false, Utf8 = false;
    bool Queries = true;  // the query may choose faults and set prices
};

extern const char* const kWalkUsage;

// --seed, --fixed and the fault switches.
Parsed ParseWalkOption(Arguments& args, WalkOptions& options);

// The query switches reach a request only on this machine, or with --test-switches.
void ExposeWalk(WalkOptions& options, const Exposure& exposure);

// The faults of one request: the server's switches, overridden by the query.
struct RequestFaults {
    int Status;
    long DelayMs, Steps;
    bool Hang, ShortBody, Garbage, NoMarker, Utf8;
};

class Market;

class WalkSource {
public:
    WalkSource(const WalkOptions& options, StopSignal& stop);
    ~WalkSource();
    // /rates/index.aspx and /status.
    void Register(http::Server& server);
    // The prices as they stand; the walk moves only when its page is asked for.
    BoardState BoardRows() const;
    std::uint64_t BoardVersion() const;
    const DayLines& Lines() const { return Day; }
    // The board of made-up prices reads them this often.
    static constexpr int kBoardPollSeconds = 2;

private:
    void ServeRates(const http::Request& req, http::Response& res);
    // The walk's state as JSON, so that /status answers in every mode.
    std::string Status() const;
    static std::vector<std::string> SetParams(const http::Request& req);
    void Answer(const RequestFaults& faults, const std::vector<std::string>& sets,
                http::Response& res);

    const WalkOptions Options;
    StopSignal& Stop;
    std::unique_ptr<Market> Prices;
    DayLines Day;
};

}  // namespace kestrel::gateway
