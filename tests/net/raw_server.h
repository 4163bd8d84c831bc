// A loopback server whose every connection runs a script of the test's own: for servers that
// misbehave in ways an HTTP server library will not (endless or trickling answers, odd headers,
// silence), and to see when the client hangs up.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace kestrel::test {

class RawServer {
public:
    // Runs on a thread of its own for each connection, given the socket and the request head.
    using Script = std::function<void(RawServer& server, int socket, const std::string& request)>;

    explicit RawServer(Script script) : Run(std::move(script)) {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(Listener, 16);
        socklen_t len = sizeof a;
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        Acceptor = std::thread([this] { Accept(); });
    }
    ~RawServer() {
        Stopping = true;
        ::shutdown(Listener, SHUT_RDWR);
        Acceptor.join();
        for (std::thread& t : Connections)
            t.join();
        ::close(Listener);
    }

    QString Url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(Port).arg(QLatin1String(path));
    }

    // Sends all of it; false once the client has gone or the server stops.
    bool Send(int socket, const std::string& data) {
        size_t sent = 0;
        while (sent < data.size() && !Stopping) {
            const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return sent == data.size();
    }

    // Waits up to `ms` for the server to stop; false when it does.
    bool Pause(int ms) {
        for (int waited = 0; waited < ms && !Stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !Stopping;
    }

    // Waits, reading and dropping whatever comes, until the client closes the connection or
    // the server stops.
    void AwaitHangUp(int socket) {
        char buffer[4096];
        while (!Stopping) {
            pollfd p{socket, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(socket, buffer, sizeof buffer, 0) <= 0) {
                HangUps++;
                return;
            }
        }
    }

    int Port = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> Accepted{0};
    std::atomic<int> HangUps{0};

private:
    void Accept() {
        for (;;) {
            const int socket = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                return;
            Accepted++;
            Connections.emplace_back([this, socket] {
                std::string request;
                char buffer[4096];
                while (request.find("\r\n\r\n") == std::string::npos && !Stopping) {
                    pollfd p{socket, POLLIN, 0};
                    if (::poll(&p, 1, 20) <= 0)
                        continue;
                    const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    request.append(buffer, size_t(n));
                }
                if (request.find("\r\n\r\n") != std::string::npos)
                    Run(*this, socket, request);
                ::close(socket);
            });
        }
    }

    Script Run;
    int Listener = -1;
    std::thread Acceptor;
    std::list<std::thread> Connections;
};

}  // namespace kestrel::test
