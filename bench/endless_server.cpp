// A loopback HTTP server that answers every request with a body that never ends, for measuring
// what a client keeps of it. Prints its port, serves until killed.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

int main() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listener, 8) != 0)
        return 1;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::printf("%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int socket = ::accept(listener, nullptr, nullptr);
        if (socket < 0)
            return 1;
        std::thread([socket] {
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, size_t(n));
            }
            std::string block = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
            while (::send(socket, block.data(), block.size(), MSG_NOSIGNAL) > 0)
                block.assign(65536, 'x');
            ::close(socket);
        }).detach();
    }
}
