// The server's HTTP layer: an event-driven server in which no client, however slow, idle or
// large, holds a thread; requests that must wait are parked and answered by a timer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::gateway::http {

// Limits of one request. Anything larger is answered 413 or 431 and costs no more than these.
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;  // request line and headers together
constexpr std::size_t kMaxBodyBytes = 16 * 1024;
// Idle keep-alive connections and clients that stop sending are closed after this.
constexpr int kIdleSeconds = 5;
// A request that waits (a delay, a hang) is answered or closed by then.
constexpr std::chrono::seconds kDeadline{30};

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string Method;
    std::string Path;    // percent-decoded
    std::string Target;  // as sent, for the log
    std::string Rest;    // what a prefix route matched after its prefix
    Fields Query;        // decoded; a repeated key appears once per occurrence
    Fields Headers;
    std::string Host;  // the Host header, else the address the request came in on

    bool Has(const std::string& key) const;
    std::size_t Count(const std::string& key) const;
    std::string Param(const std::string& key, std::size_t index = 0) const;
    // Header names are compared without case.
    std::size_t HeaderCount(const std::string& name) const;
    std::string Header(const std::string& name) const;
};

struct Response {
    enum class Body {
        Whole,
        Short,    // announces more than it sends, then the connection is cut
        Chunked,  // no length, chunked transfer coding
        File,     // Fd, FileSize bytes
    };
    int Status = 200;
    std::string Type = "text/plain";
    std::string Content;
    Fields Headers;
    Body Mode = Body::Whole;
    int Fd = -1;  // owned once set
    std::size_t FileSize = 0;

    // Answers only after the wait (at most the deadline), with what then() writes into this
    // response; the request holds no thread meanwhile.
    std::chrono::milliseconds Wait{0};
    std::function<void(Response&)> Then;
    // Never answers: the connection is closed at the deadline.
    bool Hang = false;

    Response() = default;
    Response(const Response&) = delete;
    Response& operator=(const Response&) = delete;
    ~Response();

    void Set(int status, std::string content, std::string type);
    // A plain short page for errors.
    void Error(int status, const std::string& text);
};

using Handler = std::function<void(const Request&, Response&)>;

struct ServerOptions {
    std::string Bind = "127.0.0.1";
    int Port = 0;  // 0 picks a free one
    unsigned Threads = 2;
};

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // GET and HEAD of this exact path.
    void Route(const std::string& path, Handler handler);
    // GET and HEAD of prefix + one plain name (no slash); the name is in Request::Rest.
    void RoutePrefix(const std::string& prefix, Handler handler);

    // Listens; the port actually bound, or nothing with the reason logged.
    std::optional<int> Start(const ServerOptions& options);
    // Answers every parked request and stops. Safe to call once Start has returned.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> D;
};

// Control bytes and bytes outside ASCII as \xHH, so that a log line stays one honest line.
std::string Escape(const std::string& text);

}  // namespace kestrel::gateway::http
