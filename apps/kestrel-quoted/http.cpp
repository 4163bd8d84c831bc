#include "http.h"

#include "logging.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace kestrel::gateway::http {

namespace {

using Clock = std::chrono::steady_clock;

// One request from its first line to its end.
struct Exchange {
    std::string Target;
    std::string Remote;
    std::string Method;
    bool Started = false;
    bool Queued = false;
    bool Resumed = false;  // has waited
    std::size_t BodyBytes = 0;
    Response Reply;
    int Status = 0;  // as queued, for the log
    std::size_t Bytes = 0;
};

int FromHex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The path of a target, percent-decoded; nothing when it holds a control byte or a broken escape.
std::optional<std::string> DecodePath(const std::string& target) {
    const std::string raw = target.substr(0, target.find('?'));
    std::string path;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c == '%') {
            const int high = i + 2 < raw.size() ? FromHex(raw[i + 1]) : -1;
            const int low = high >= 0 ? FromHex(raw[i + 2]) : -1;
            if (low < 0)
                return std::nullopt;
            c = static_cast<unsigned char>(high * 16 + low);
            i += 2;
        }
        if (c < 0x20 || c == 0x7f)
            return std::nullopt;
        path += char(c);
    }
    return path;
}

std::string Address(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

MHD_Result Collect(void* fields, MHD_ValueKind, const char* key, const char* value) {
    static_cast<Fields*>(fields)->emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

// The body of a short answer: all of it, then an error that makes the server cut the connection.
struct ShortBody {
    std::string Bytes;
};

ssize_t ReadShort(void* cls, uint64_t pos, char* buf, size_t max) {
    const std::string& bytes = static_cast<ShortBody*>(cls)->Bytes;
    if (pos >= bytes.size())
        return MHD_CONTENT_READER_END_WITH_ERROR;
    const std::size_t n = std::min<std::size_t>(max, bytes.size() - pos);
    std::memcpy(buf, bytes.data() + pos, n);
    return ssize_t(n);
}

ssize_t ReadChunked(void* cls, uint64_t pos, char* buf, size_t max) {
    const std::string& bytes = static_cast<ShortBody*>(cls)->Bytes;
    if (pos >= bytes.size())
        return MHD_CONTENT_READER_END_OF_STREAM;
    const std::size_t n = std::min<std::size_t>(max, bytes.size() - pos);
    std::memcpy(buf, bytes.data() + pos, n);
    return ssize_t(n);
}

void FreeBody(void* cls) {
    delete static_cast<ShortBody*>(cls);
}

}  // namespace

Response::~Response() {
    if (Fd >= 0)
        ::close(Fd);
}

void Response::Set(int status, std::string content, std::string type) {
    Status = status;
    Content = std::move(content);
    Type = std::move(type);
}

void Response::Error(int status, const std::string& text) {
    Set(status, "<html><body>" + text + "</body></html>\r\n", "text/html");
}

bool Request::Has(const std::string& key) const {
    return Count(key) > 0;
}

std::size_t Request::Count(const std::string& key) const {
    return std::size_t(std::count_if(Query.begin(), Query.end(),
                                     [&key](const auto& field) { return field.first == key; }));
}

std::string Request::Param(const std::string& key, std::size_t index) const {
    for (const auto& [name, value] : Query) {
        if (name == key && index-- == 0)
            return value;
    }
    return {};
}

std::size_t Request::HeaderCount(const std::string& name) const {
    return std::size_t(std::count_if(Headers.begin(), Headers.end(), [&name](const auto& field) {
        return strcasecmp(field.first.c_str(), name.c_str()) == 0;
    }));
}

std::string Request::Header(const std::string& name) const {
    for (const auto& [key, value] : Headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return {};
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7f || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

// The library's own complaints (a request too large, a client gone) as one escaped line each.
void LogLibrary(void*, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '.'))
        line.pop_back();
    qCWarning(lcGateway, "http: %s", Escape(line).c_str());
}

struct Server::Impl {
    std::map<std::string, Handler> Exact, Prefixes;
    MHD_Daemon* Daemon = nullptr;
    std::string LocalHost;

    // Parked requests by the time they are due.
    std::mutex Mutex;
    std::condition_variable Changed;
    std::multimap<Clock::time_point, std::pair<MHD_Connection*, Exchange*>> Parked;
    bool Stopping = false;
    std::thread Timer;

    // False when the server is stopping and nothing may wait any more.
    bool Park(MHD_Connection* connection, Exchange& x, Clock::time_point due) {
        std::lock_guard lock(Mutex);
        if (Stopping)
            return false;
        x.Resumed = true;
        MHD_suspend_connection(connection);
        Parked.emplace(due, std::make_pair(connection, &x));
        Changed.notify_all();
        return true;
    }

    void RunTimer() {
        std::unique_lock lock(Mutex);
        while (true) {
            if (Parked.empty()) {
                if (Stopping)
                    return;
                Changed.wait(lock);
                continue;
            }
            const auto first = Parked.begin();
            if (!Stopping && first->first > Clock::now()) {
                Changed.wait_until(lock, first->first);
                continue;
            }
            auto [connection, x] = first->second;
            Parked.erase(first);
            lock.unlock();
            Response& reply = x->Reply;
            if (reply.Then) {
                const auto then = std::move(reply.Then);
                reply.Then = nullptr;
                then(reply);
            }
            MHD_resume_connection(connection);
            lock.lock();
        }
    }

    static void* Begin(void*, const char* uri, MHD_Connection* connection) {
        auto* x = new Exchange;
        x->Target = uri ? uri : "";
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        x->Remote = Address(info ? info->client_addr : nullptr);
        return x;
    }

    static void End(void*, MHD_Connection*, void** cls, MHD_RequestTerminationCode code) {
        auto* x = static_cast<Exchange*>(*cls);
        if (!x)
            return;
        *cls = nullptr;
        if (!x->Started) {  // refused by the library (too large, broken) or abandoned
            std::fprintf(stderr, "%s - %s -> not read whole\n", x->Remote.c_str(),
                         Escape(x->Target).c_str());
            delete x;
            return;
        }
        const char* how = code == MHD_REQUEST_TERMINATED_COMPLETED_OK ? ""
                          : x->Queued                                 ? ", not delivered"
                                                                      : ", closed unanswered";
        std::fprintf(stderr, "%s %s %s -> %d, %zu bytes%s\n", x->Remote.c_str(),
                     Escape(x->Method).c_str(), Escape(x->Target).c_str(), x->Status, x->Bytes,
                     how);
        delete x;
    }

    MHD_Result Queue(MHD_Connection* connection, Exchange& x) {
        Response& r = x.Reply;
        MHD_Response* response = nullptr;
        std::size_t bytes = r.Content.size();
        switch (r.Mode) {
            case Response::Body::Whole:
                response = MHD_create_response_from_buffer(r.Content.size(), r.Content.data(),
                                                           MHD_RESPMEM_MUST_COPY);
                break;
            case Response::Body::Short:
                response = MHD_create_response_from_callback(
                    r.Content.size() + r.Content.size() / 2 + 1, 64 * 1024, ReadShort,
                    new ShortBody{r.Content}, FreeBody);
                break;
            case Response::Body::Chunked:
                response = MHD_create_response_from_callback(
                    MHD_SIZE_UNKNOWN, 64 * 1024, ReadChunked, new ShortBody{r.Content}, FreeBody);
                break;
            case Response::Body::File:
                response = MHD_create_response_from_fd(r.FileSize, r.Fd);
                if (response)
                    r.Fd = -1;  // the response closes it
                bytes = r.FileSize;
                break;
        }
        if (!response)
            return MHD_NO;
        if (!r.Type.empty())
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, r.Type.c_str());
        for (const auto& [name, value] : r.Headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        x.Status = r.Status;
        x.Bytes = x.Method == "HEAD" ? 0 : bytes;
        x.Queued = true;
        const MHD_Result queued = MHD_queue_response(connection, unsigned(r.Status), response);
        MHD_destroy_response(response);
        return queued;
    }

    void Dispatch(MHD_Connection* connection, Exchange& x) {
        Response& r = x.Reply;
        const std::optional<std::string> path = DecodePath(x.Target);
        if (!path) {
            r.Error(400, "bad request");
            return;
        }
        Request req;
        req.Method = x.Method;
        req.Path = *path;
        req.Target = x.Target;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, Collect, &req.Query);
        MHD_get_connection_values(connection, MHD_HEADER_KIND, Collect, &req.Headers);
        req.Host = req.Header("Host");
        if (req.Host.empty())
            req.Host = LocalHost;
        const Handler* handler = nullptr;
        if (const auto it = Exact.find(req.Path); it != Exact.end()) {
            handler = &it->second;
        } else {
            for (const auto& [prefix, h] : Prefixes) {
                if (req.Path.size() > prefix.size() &&
                    req.Path.compare(0, prefix.size(), prefix) == 0 &&
                    req.Path.find('/', prefix.size()) == std::string::npos) {
                    req.Rest = req.Path.substr(prefix.size());
                    handler = &h;
                }
            }
        }
        if (!handler) {
            r.Error(404, "not found");
            return;
        }
        (*handler)(req, r);
    }

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char*, const char* method,
                             const char*, const char*, size_t* uploadSize, void** conCls) {
        auto& d = *static_cast<Impl*>(cls);
        auto& x = *static_cast<Exchange*>(*conCls);
        Response& r = x.Reply;
        if (!x.Started) {
            x.Started = true;
            x.Method = method;
            if (x.Method != "GET" && x.Method != "HEAD") {
                r.Error(405, "method not allowed");
                r.Headers.emplace_back("Allow", "GET, HEAD");
                return d.Queue(connection, x);
            }
            const char* length =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
            if (length && std::strtoull(length, nullptr, 10) > kMaxBodyBytes) {
                r.Error(413, "request too large");
                return d.Queue(connection, x);
            }
            return MHD_YES;
        }
        if (x.Queued)  // the body of a request already refused
            return *uploadSize = 0, MHD_YES;
        if (*uploadSize > 0) {
            x.BodyBytes += *uploadSize;
            *uploadSize = 0;
            if (x.BodyBytes > kMaxBodyBytes) {
                r.Error(413, "request too large");
                return d.Queue(connection, x);
            }
            return MHD_YES;
        }
        if (x.Resumed) {
            if (r.Hang)  // the deadline has come: close without a word
                return MHD_NO;
            return d.Queue(connection, x);
        }
        d.Dispatch(connection, x);
        if (!r.Hang && r.Wait.count() == 0) {
            if (r.Then)
                std::exchange(r.Then, nullptr)(r);
            return d.Queue(connection, x);
        }
        const auto wait = r.Hang ? kDeadline : std::min<Clock::duration>(r.Wait, kDeadline);
        if (d.Park(connection, x, Clock::now() + wait))
            return MHD_YES;
        // Stopping: no more waiting.
        if (r.Hang)
            return MHD_NO;
        if (r.Then)
            r.Then(r);
        return d.Queue(connection, x);
    }
};

Server::Server() : D(std::make_unique<Impl>()) {}

Server::~Server() {
    Stop();
}

void Server::Route(const std::string& path, Handler handler) {
    D->Exact[path] = std::move(handler);
}

void Server::RoutePrefix(const std::string& prefix, Handler handler) {
    D->Prefixes[prefix] = std::move(handler);
}

std::optional<int> Server::Start(const ServerOptions& options) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options.Port);
    if (getaddrinfo(options.Bind.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        qCWarning(lcGateway, "%s is not a numeric address", options.Bind.c_str());
        return std::nullopt;
    }
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    const bool six = found->ai_family == AF_INET6;
    freeaddrinfo(found);

    // Every held connection is a descriptor: take all the system grants (a service's soft limit
    // is often 1,024), and stop accepting before running out rather than failing at random.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    const unsigned connections = unsigned(std::clamp<rlim_t>(files.rlim_cur, 128, 16064) - 64);

    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_TURBO |
                     MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (six)
        flags |= MHD_USE_IPv6;
    // The logger goes first: the library complains of any option before it.
    D->Daemon = MHD_start_daemon(
        flags, uint16_t(options.Port), nullptr, nullptr, &Impl::Access, D.get(),
        MHD_OPTION_EXTERNAL_LOGGER, LogLibrary, nullptr, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr*>(&address), MHD_OPTION_THREAD_POOL_SIZE,
        std::max(1u, options.Threads), MHD_OPTION_CONNECTION_TIMEOUT, unsigned(kIdleSeconds),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kMaxHeaderBytes, MHD_OPTION_CONNECTION_LIMIT,
        connections, MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u, MHD_OPTION_URI_LOG_CALLBACK,
        &Impl::Begin, nullptr, MHD_OPTION_NOTIFY_COMPLETED, &Impl::End, nullptr, MHD_OPTION_END);
    if (!D->Daemon) {
        qCWarning(lcGateway, "cannot listen on %s:%d", options.Bind.c_str(), options.Port);
        return std::nullopt;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(D->Daemon, MHD_DAEMON_INFO_BIND_PORT);
    const int bound = info ? info->port : options.Port;
    D->LocalHost = (six ? "[" + options.Bind + "]" : options.Bind) + ":" + std::to_string(bound);
    D->Timer = std::thread([this] { D->RunTimer(); });
    return bound;
}

void Server::Stop() {
    if (!D->Daemon)
        return;
    {
        std::lock_guard lock(D->Mutex);
        D->Stopping = true;
        // Parked requests are answered now; the timer ends once none is left.
        std::multimap<Clock::time_point, std::pair<MHD_Connection*, Exchange*>> now;
        for (auto& [due, parked] : D->Parked)
            now.emplace(Clock::time_point(), parked);
        D->Parked.swap(now);
    }
    D->Changed.notify_all();
    D->Timer.join();
    MHD_stop_daemon(D->Daemon);
    D->Daemon = nullptr;
}

}  // namespace kestrel::gateway::http
