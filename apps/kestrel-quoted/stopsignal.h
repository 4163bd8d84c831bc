// Small pieces shared by the server's sources: number options and the stop signal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace kestrel::quoted {

// A whole number in [low, high], or nothing.
std::optional<long> ParseNumber(const std::string& text, long low, long high);

// Seconds with an optional fraction ("10", "0.25") in [low, high], or nothing.
std::optional<double> ParseSeconds(const std::string& text, double low, double high);

// Lets waiting requests and pollers end as soon as the server stops.
class StopSignal {
public:
    void Raise() {
        {
            std::lock_guard lock(Mutex);
            Stopped = true;
        }
        Changed.notify_all();
    }
    // Waits until the time has passed (true) or the server stops (false).
    bool WaitFor(std::chrono::milliseconds time) {
        std::unique_lock lock(Mutex);
        return !Changed.wait_for(lock, time, [this] { return Stopped; });
    }
    bool Raised() {
        std::lock_guard lock(Mutex);
        return Stopped;
    }

private:
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Stopped = false;
};

}  // namespace kestrel::quoted
