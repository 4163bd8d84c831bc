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
#include <functional>
#include <list>
#include <string>
#include <thread>

namespace kestrel::test {

class RawServer {
public:
    // Runs on a thread of its own for each connection, given the request head.
    using Script = std::function<void(RawServer& server, int socket, const std::string& request)>;

    explicit RawServer(Script script) : Run(std::move(script)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(Listener, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(Listener, 16);
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        Acceptor = std::thread([this] {
            for (int socket; (socket = ::accept(Listener, nullptr, nullptr)) >= 0;) {
                Accepted++;
                Connections.emplace_back([this, socket] {
                    std::string request;
                    while (request.find("\r\n\r\n") == std::string::npos &&
                           Receive(socket, request)) {
                    }
                    if (request.find("\r\n\r\n") != std::string::npos)
                        Run(*this, socket, request);
                    ::close(socket);
                });
            }
        });
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

    // False once the client has gone or the server stops.
    bool Send(int socket, const std::string& data) {
        for (size_t sent = 0; sent < data.size();) {
            const ssize_t n =
                Stopping ? -1
                         : ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return true;
    }

    // Reads what comes until the client hangs up or the server stops.
    void AwaitHangUp(int socket) {
        std::string ignored;
        while (Receive(socket, ignored)) {
        }
        if (!Stopping)
            HangUps++;
    }

    int Port = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> Accepted{0}, HangUps{0};

private:
    // Waits a moment for bytes; false when the client has hung up or the server stops.
    bool Receive(int socket, std::string& into) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            return !Stopping;
        char buffer[4096];
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n > 0)
            into.append(buffer, size_t(n));
        return n > 0 && !Stopping;
    }

    Script Run;
    int Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::thread Acceptor;
    std::list<std::thread> Connections;
};

}  // namespace kestrel::test
