// The server's stop, seen by waiting requests and by the pollers alike.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kestrel::gateway {

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
        return !Changed.wait_for(lock, time, [this] { return Stopped.load(); });
    }
    bool Raised() const { return Stopped; }
    // For a transfer that polls it while it blocks.
    const std::atomic<bool>& Flag() const { return Stopped; }

private:
    std::mutex Mutex;
    std::condition_variable Changed;
    std::atomic<bool> Stopped = false;
};

}  // namespace kestrel::gateway
