// A loopback HTTP server for the client tests, on an ephemeral port, running in its own thread.
#pragma once

#include <httplib.h>

#include <QByteArray>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kestrel::test {

struct SeenRequest {
    std::string Method, Body;
    httplib::Headers Headers;
    std::string Header(const std::string& name) const {
        const auto it = Headers.find(name);
        return it == Headers.end() ? std::string("<none>") : it->second;
    }
};

class HttpServer {
public:
    HttpServer() {
        Server.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hello page", "text/html; charset=GBK");
        });
        Server.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain",
                                             [](size_t offset, httplib::DataSink& sink) {
                                                 if (offset == 0) {
                                                     sink.write("part one, ", 10);
                                                     sink.write("part two", 8);
                                                 }
                                                 sink.done();
                                                 return true;
                                             });
        });
        Server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        Server.Get("/error", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("broken", "text/plain");
        });
        Server.Get("/busy", [](const httplib::Request&, httplib::Response& res) {
            res.status = 503;
            res.set_header("Retry-After", "30");
            res.set_content("later", "text/plain");
        });
        // Announces 100 bytes, sends 10 and hangs up.
        Server.Get("/short", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(100, "text/plain",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset != 0)
                                             return false;
                                         sink.write("0123456789", 10);
                                         return true;
                                     });
        });
        Server.Get("/denied", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == "Basic dXNlcjpwYXNz") {
                res.set_content("welcome", "text/plain");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"kestrel\"");
            res.set_content("denied", "text/plain");
        });
        // 100 blocks of 1000 bytes, one every 20 ms, until the server stops.
        Server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                100000, "text/plain", [this](size_t offset, size_t, httplib::DataSink& sink) {
                    if (Stopping)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(offset == 0 ? 0 : 20));
                    const std::string block(1000, 'x');
                    sink.write(block.data(), block.size());
                    return true;
                });
        });
        Server.Get("/delayed", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            res.set_content("late", "text/plain");
        });
        Server.Get("/cookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=k42; Path=/");
            res.set_content("cookie set", "text/plain");
        });
        const auto record = [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(Lock);
            Last = {req.method, req.body, req.headers};
            ++Requests;
            res.set_content("recorded", "text/plain");
        };
        Server.Get("/record", record);
        Server.Post("/record", record);
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        while (!Server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HttpServer() {
        Stopping = true;
        Server.stop();
        Thread.join();
    }

    QString Url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(Port).arg(QLatin1String(path));
    }
    SeenRequest LastRequest() {
        std::lock_guard lock(Lock);
        return Last;
    }
    int RequestCount() {
        std::lock_guard lock(Lock);
        return Requests;
    }

    int Port = 0;

private:
    httplib::Server Server;
    std::thread Thread;
    std::atomic<bool> Stopping{false};
    std::mutex Lock;
    SeenRequest Last;
    int Requests = 0;
};

}  // namespace kestrel::test
