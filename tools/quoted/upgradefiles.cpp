#include "upgradefiles.h"

#include <httplib.h>
#include <sys/stat.h>

#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "util.h"

namespace upgradefiles {

const char* const kUsage = R"(
Online upgrade:
  --upgrade-info FILE    serve FILE as /kestrelmv/kestrelmv.inf (read at each request); without
                         it a built-in file announces version 0.91 with a web page to open
  --upgrade-dir DIR      serve the files of DIR as /kestrelmv/files/NAME, and behind a login
                         as /kestrelmv/private/NAME
  --upgrade-login U:P    the login of /kestrelmv/private/ (default kestrel:demo)
  In the information file "{server}" stands for this server's address (http://host:port).
  The upgrade paths take the queries ?status=N, ?delay_ms=N, ?short_body=1 and ?chunked=1
  (the body without a Content-Length).
)";

namespace {

// A built-in announcement of 0.91 that points the user to a page of this server.
constexpr const char* kBuiltInInfo =
    "Kestrel upgrade information\r\n"
    "#version=0.91\r\n"
    "#date=12/01/2025\r\n"
    "#method=2\r\n"
    "#url={server}/kestrelmv/download.htm\r\n"
    "#message={改进牌价读取的稳定性。\r\n增加在线升级的演示。}\r\n";

constexpr const char* kDownloadPage =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
    "<title>Kestrel 0.91</title></head>\n<body><h1>Kestrel 0.91</h1>\n"
    "<p>新版本的下载页（演示服务器）。</p></body></html>\n";

std::string Server(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        host = req.local_addr + ":" + std::to_string(req.local_port);
    return "http://" + host;
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    content = bytes.str();
    return true;
}

// Only a plain name inside the folder: nothing that climbs out of it or hides.
bool PlainName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

std::string HttpDate(std::time_t when) {
    char text[64];
    std::tm gmt{};
    gmtime_r(&when, &gmt);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &gmt);
    return text;
}

// The query's faults: a status other than 200, a wait, a body cut short, or one sent without a
// length. True when the request has been answered by them.
bool Fault(const httplib::Request& req, httplib::Response& res, std::string& body,
           const std::string& type) {
    if (req.has_param("delay_ms")) {
        const long ms = std::strtol(req.get_param_value("delay_ms").c_str(), nullptr, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 0L, 60000L)));
    }
    if (req.has_param("status")) {
        const int status = std::atoi(req.get_param_value("status").c_str());
        if (status >= 100 && status <= 599 && status != 200) {
            res.status = status;
            res.set_content("<html><body>error " + std::to_string(status) + "</body></html>\r\n",
                            "text/html");
            return true;
        }
    }
    if (req.has_param("short_body") && req.get_param_value("short_body") != "0") {
        kestrel::quoted::SendShortBody(res, body, type);
        return true;
    }
    if (req.has_param("chunked") && req.get_param_value("chunked") != "0") {
        res.set_chunked_content_provider(type, [body](size_t, httplib::DataSink& sink) {
            sink.write(body.data(), body.size());
            sink.done();
            return true;
        });
        return true;
    }
    return false;
}

void ServeFile(const httplib::Request& req, httplib::Response& res, const Options& options) {
    const std::string name = req.matches[1];
    std::string content;
    struct stat info {};
    const std::string path = options.Folder + "/" + name;
    if (options.Folder.empty() || !PlainName(name) || ::stat(path.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode) || !ReadFile(path, content)) {
        res.status = 404;
        res.set_content("<html><body>not found</body></html>\r\n", "text/html");
        return;
    }
    if (Fault(req, res, content, "application/octet-stream"))
        return;
    res.set_header("Last-Modified", HttpDate(info.st_mtime));
    res.set_content(content, "application/octet-stream");
}

}  // namespace

bool ParseOption(int argc, char** argv, int& i, Options& options, bool& ok) {
    const std::string arg = argv[i];
    std::string* value = arg == "--upgrade-info"    ? &options.InfoFile
                         : arg == "--upgrade-dir"   ? &options.Folder
                         : arg == "--upgrade-login" ? &options.Login
                                                    : nullptr;
    if (!value)
        return false;
    ok = i + 1 < argc;
    if (ok)
        *value = argv[++i];
    return true;
}

void Register(httplib::Server& server, const Options& options) {
    server.Get("/kestrelmv/kestrelmv.inf",
               [options](const httplib::Request& req, httplib::Response& res) {
                   std::string info = kBuiltInInfo;
                   if (!options.InfoFile.empty() && !ReadFile(options.InfoFile, info)) {
                       res.status = 404;
                       res.set_content("<html><body>not found</body></html>\r\n", "text/html");
                       return;
                   }
                   ReplaceAll(info, "{server}", Server(req));
                   if (!Fault(req, res, info, "text/plain"))
                       res.set_content(info, "text/plain");
               });
    server.Get("/kestrelmv/download.htm", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kDownloadPage, "text/html; charset=utf-8");
    });
    server.Get(R"(/kestrelmv/files/([^/]+))",
               [options](const httplib::Request& req, httplib::Response& res) {
                   ServeFile(req, res, options);
               });
    server.Get(R"(/kestrelmv/private/([^/]+))",
               [options](const httplib::Request& req, httplib::Response& res) {
                   const std::string expected =
                       "Basic " + QByteArray::fromStdString(options.Login).toBase64().toStdString();
                   if (req.get_header_value("Authorization") != expected) {
                       res.status = 401;
                       res.set_header("WWW-Authenticate", "Basic realm=\"Kestrel upgrade\"");
                       res.set_content("<html><body>login required</body></html>\r\n", "text/html");
                       return;
                   }
                   ServeFile(req, res, options);
               });
}

}  // namespace upgradefiles
