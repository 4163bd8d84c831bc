// slowloris HOST PORT IDLE DRIPPING: holds IDLE connections that send nothing and DRIPPING ones
// that send a header line every 3 s, then times fresh clients asking for the rates page. Prints
// the slowest answer in milliseconds; exits 1 when a fresh client got no answer at all.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int Connect(const sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool Send(int fd, const std::string& text) {
    return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
}

// One fresh client: the milliseconds until its whole answer came, or -1.
double Fresh(const sockaddr_in& address) {
    const auto start = Clock::now();
    const int fd = Connect(address);
    if (fd < 0)
        return -1;
    const timeval wait{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string answer;
    if (Send(fd, "GET /rates/index.aspx HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n")) {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, std::size_t(n));
    }
    close(fd);
    if (answer.rfind("HTTP/1.1 200", 0) != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: slowloris HOST PORT IDLE DRIPPING\n");
        return 2;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1)
        return 2;
    const int idle = std::atoi(argv[3]), dripping = std::atoi(argv[4]);

    std::vector<int> held, drips;
    for (int i = 0; i < idle; ++i) {
        if (const int fd = Connect(address); fd >= 0)
            held.push_back(fd);
    }
    for (int i = 0; i < dripping; ++i) {
        const int fd = Connect(address);
        if (fd >= 0 && Send(fd, "GET /rates/index.aspx HTTP/1.1\r\nHost: a\r\n"))
            drips.push_back(fd);
    }
    std::printf("held %zu idle and %zu dripping connections\n", held.size(), drips.size());

    // Fresh clients now and after each drip, while everything is still held.
    double slowest = 0;
    bool failed = false;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 5; ++i) {
            const double ms = Fresh(address);
            failed = failed || ms < 0;
            slowest = std::max(slowest, ms);
        }
        std::this_thread::sleep_for(std::chrono::seconds(3));
        for (const int fd : drips)
            Send(fd, "X-Drip: " + std::to_string(round) + "\r\n");
    }
    std::printf("slowest fresh client: %.1f ms%s\n", slowest, failed ? " (one got no answer)" : "");
    for (const int fd : held)
        close(fd);
    for (const int fd : drips)
        close(fd);
    return failed ? 1 : 0;
}
