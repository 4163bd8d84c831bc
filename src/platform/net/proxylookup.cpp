#include "platform/net/proxylookup.h"

#include <proxy.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kestrel {

namespace {

// How long one wait for the lookup may last before giveUp is asked again.
constexpr int kPollMs = 20;

}  // namespace

std::optional<QByteArray> SystemProxy(const QByteArray& url, const std::function<bool()>& giveUp) {
    static std::atomic<int> running{0};
    constexpr int kMaxRunning = 4;
    struct Answer {
        std::mutex Lock;
        std::condition_variable Ready;
        bool Done = false;
        QByteArray Proxy;
    };
    auto answer = std::make_shared<Answer>();
    if (running.fetch_add(1) >= kMaxRunning) {
        --running;
        return std::nullopt;
    }
    try {
        std::thread([answer, url] {
            QByteArray proxy;
            if (pxProxyFactory* factory = px_proxy_factory_new()) {
                if (char** proxies = px_proxy_factory_get_proxies(factory, url.constData())) {
                    if (proxies[0] && qstrcmp(proxies[0], "direct://") != 0)
                        proxy = proxies[0];
                    px_proxy_factory_free_proxies(proxies);
                }
                px_proxy_factory_free(factory);
            }
            --running;
            {
                std::lock_guard lock(answer->Lock);
                answer->Proxy = proxy;
                answer->Done = true;
            }
            answer->Ready.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        --running;
        return std::nullopt;
    }
    std::unique_lock lock(answer->Lock);
    while (!answer->Ready.wait_for(lock, std::chrono::milliseconds(kPollMs),
                                   [&answer] { return answer->Done; }))
        if (giveUp())
            return std::nullopt;
    return answer->Proxy;
}

}  // namespace kestrel
