#include "upgradefiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "text/numbertext.h"

namespace kestrel::gateway::upgradefiles {

using http::Request;
using http::Response;

const char* const kUsage = R"(
Online upgrade:
  --upgrade-info FILE    serve FILE as /kestrelmv/kestrelmv.inf (read at each request), and
                         FILE.minisig, when there is one, as /kestrelmv/kestrelmv.inf.minisig;
                         without it a built-in file announces version 0.91 with a web page
  --upgrade-dir DIR      serve the regular files of DIR as /kestrelmv/files/NAME
  --private-upgrade-dir DIR
                         serve the regular files of DIR as /kestrelmv/private/NAME behind a login
  --upgrade-login U:P    the login of /kestrelmv/private/ (there is no default)
  --upgrade-login-file FILE
                         the same, read from the first line of FILE
  Links are never followed and only regular files directly inside a folder are served.
  In the information file "{server}" stands for this server's address (http://host:port).
  With the walk (or --test-switches) the upgrade paths take the queries ?status=N,
  ?delay_ms=N, ?short_body=1 and ?chunked=1 (the body without a Content-Length).
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

std::string HttpDate(std::time_t when) {
    char text[64];
    std::tm gmt{};
    gmtime_r(&when, &gmt);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &gmt);
    return text;
}

// Opens NAME directly inside FOLDER: a plain name, no link, a regular file, and a resolved path
// that is still inside the folder. -1 when any of that fails.
int OpenInside(const std::string& folder, const std::string& name, struct stat& info) {
    if (folder.empty() || name.empty() || name[0] == '.' ||
        name.find_first_of("/\\") != std::string::npos)
        return -1;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return -1;
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(dir);
    if (fd < 0)
        return -1;
    char resolved[PATH_MAX] = {}, real[PATH_MAX] = {};
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(self.c_str(), resolved, sizeof resolved - 1);
    const bool inside =
        length > 0 && ::realpath(folder.c_str(), real) &&
        std::string(resolved, std::size_t(length)) == std::string(real) + "/" + name;
    if (!inside || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadAll(int fd, std::string& content) {
    char buffer[64 * 1024];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, std::size_t(got));
    return got == 0;
}

void NotFound(Response& res) {
    res.Error(404, "not found");
}

// An error page in place of the file or page about to be served.
void ErrorInstead(Response& res, int status, const std::string& text) {
    res.Headers.clear();
    res.Mode = Response::Body::Whole;
    res.Error(status, text);
}

// The query's faults, with the test switches only: a status other than 200, a wait, a body cut
// short, or one sent without a length. Leaves a whole answer as it is when none applies.
void Fault(const Request& req, Response& res, const Options& options) {
    if (!options.Switches)
        return;
    const auto number = [&req, &res](const char* key) -> std::optional<qint64> {
        const std::optional<qint64> value =
            ToWholeNumber(QString::fromStdString(req.Param(key)), LLONG_MIN, LLONG_MAX);
        if (!value)
            ErrorInstead(res, 400, std::string("bad value of ") + key);
        return value;
    };
    if (req.Has("delay_ms")) {
        const std::optional<qint64> ms = number("delay_ms");
        if (!ms)
            return;
        res.Wait = std::chrono::milliseconds(std::clamp<qint64>(*ms, 0, 60000));
    }
    if (req.Has("status")) {
        const std::optional<qint64> status = number("status");
        if (!status)
            return;
        if (*status >= 100 && *status <= 599 && *status != 200) {
            ErrorInstead(res, int(*status), "error " + std::to_string(*status));
            return;
        }
    }
    const bool shortBody = req.Has("short_body") && req.Param("short_body") != "0";
    const bool chunked = req.Has("chunked") && req.Param("chunked") != "0";
    if (!shortBody && !chunked)
        return;
    if (res.Mode == Response::Body::File) {
        std::string content;
        if (!ReadAll(res.Fd, content)) {
            ErrorInstead(res, 500, "cannot read");
            return;
        }
        res.Content = std::move(content);
    }
    res.Mode = shortBody ? Response::Body::Short : Response::Body::Chunked;
}

void ServeFile(const Request& req, Response& res, const Options& options,
               const std::string& folder) {
    struct stat info {};
    const int fd = OpenInside(folder, req.Rest, info);
    if (fd < 0) {
        NotFound(res);
        return;
    }
    res.Type = "application/octet-stream";
    res.Mode = Response::Body::File;
    res.Fd = fd;
    res.FileSize = std::size_t(info.st_size);
    res.Headers.emplace_back("Last-Modified", HttpDate(info.st_mtime));
    Fault(req, res, options);
}

}  // namespace

Parsed ParseOption(Arguments& args, Options& options) {
    const std::string arg = args.Name();
    std::string* value = arg == "--upgrade-info"          ? &options.InfoFile
                         : arg == "--upgrade-dir"         ? &options.Folder
                         : arg == "--private-upgrade-dir" ? &options.PrivateFolder
                         : arg == "--upgrade-login"       ? &options.Login
                         : arg == "--upgrade-login-file"  ? &options.LoginFile
                                                          : nullptr;
    if (!value)
        return Parsed::NotMine;
    const std::optional<std::string> given = args.Value();
    if (!given) {
        std::cerr << "kestrel-quoted: missing value of " << arg << "\n";
        return Parsed::Refused;
    }
    *value = *given;
    return Parsed::Taken;
}

std::optional<std::string> Check(Options& options, const Exposure& exposure) {
    // Beyond this machine the paths exist only when an upgrade option asks for them, and their
    // fault queries only with --test-switches.
    const bool asked =
        !options.InfoFile.empty() || !options.Folder.empty() || !options.PrivateFolder.empty();
    options.Routes = exposure.Loopback || asked;
    options.Switches = exposure.TestSwitches || (exposure.Walk && exposure.Loopback);
    if (!options.LoginFile.empty()) {
        std::ifstream in(options.LoginFile);
        if (!in || !std::getline(in, options.Login))
            return "cannot read the login file " + options.LoginFile;
        if (!options.Login.empty() && options.Login.back() == '\r')
            options.Login.pop_back();
    }
    if (options.PrivateFolder.empty())
        return std::nullopt;
    const std::size_t colon = options.Login.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == options.Login.size())
        return std::string(
            "the private upgrade folder needs --upgrade-login USER:PASSWORD or "
            "--upgrade-login-file");
    return std::nullopt;
}

void Register(http::Server& server, const Options& options) {
    server.Route("/kestrelmv/kestrelmv.inf", [options](const Request& req, Response& res) {
        std::string info = kBuiltInInfo;
        if (!options.InfoFile.empty() && !ReadFile(options.InfoFile, info)) {
            NotFound(res);
            return;
        }
        ReplaceAll(info, "{server}", "http://" + req.Host);
        res.Set(200, std::move(info), "text/plain");
        Fault(req, res, options);
    });
    // The signature beside the information file, for clients that check one.
    server.Route("/kestrelmv/kestrelmv.inf.minisig", [options](const Request& req, Response& res) {
        const std::size_t slash = options.InfoFile.rfind('/');
        const std::string folder =
            slash == std::string::npos ? "." : options.InfoFile.substr(0, slash);
        Request file = req;
        file.Rest = options.InfoFile.substr(slash + 1) + ".minisig";
        if (options.InfoFile.empty()) {
            NotFound(res);
            return;
        }
        ServeFile(file, res, options, folder);
        res.Type = "text/plain";
    });
    server.Route("/kestrelmv/download.htm", [](const Request&, Response& res) {
        res.Set(200, kDownloadPage, "text/html; charset=utf-8");
    });
    server.RoutePrefix("/kestrelmv/files/", [options](const Request& req, Response& res) {
        ServeFile(req, res, options, options.Folder);
    });
    server.RoutePrefix("/kestrelmv/private/", [options](const Request& req, Response& res) {
        if (req.HeaderCount("Authorization") > 1) {
            res.Error(400, "one Authorization header");
            return;
        }
        const std::string expected =
            "Basic " + QByteArray::fromStdString(options.Login).toBase64().toStdString();
        if (options.PrivateFolder.empty() || req.Header("Authorization") != expected) {
            res.Error(401, "login required");
            res.Headers.emplace_back("WWW-Authenticate", "Basic realm=\"Kestrel upgrade\"");
            return;
        }
        ServeFile(req, res, options, options.PrivateFolder);
    });
}

}  // namespace kestrel::gateway::upgradefiles
