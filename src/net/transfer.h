// The HTTP transfer the client component runs over: one session, one request at a time, the body
// read block by block. The platform layer provides the implementation (libcurl) and installs
// its factory at start-up; core code and its tests only see this interface.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kestrel {

enum class THTTPAccessType { atPreconfig, atDirect, atUseProxy };

struct TransferSessionOptions {
    QString Agent;
    THTTPAccessType AccessType = THTTPAccessType::atPreconfig;
    QString ProxyServer;  // atUseProxy: "server:port"
    QString ProxyBypass;  // atUseProxy: ";"-separated hosts; empty = every host through the proxy
    bool Offline = false;
    // For a service without a desktop: ProxyServer when given, else http_proxy and https_proxy
    // of the environment, with its no_proxy either way, as libcurl reads them; AccessType and
    // ProxyBypass do not apply.
    bool EnvironmentProxy = false;
    // Polled while the transfer blocks; once it is true every call returns promptly as failed.
    const std::atomic<bool>* AbortFlag = nullptr;
};

// The cookies of one component, in the transfer's own text form, shared by its transfers (a
// stopped one may still be running beside the next).
struct CookieJar {
    std::mutex Lock;
    QList<QByteArray> Lines;
};

struct TransferRequest {
    QByteArray Method = "GET";
    QString URL;  // absolute, with scheme
    QString Referer;
    QString Accept;  // sent as it is, one entry
    bool NoCache = false;
    bool UseCookies = true;
    std::shared_ptr<CookieJar> Cookies;  // sent, and filled from the response; none = own store
    // Receive and send time-outs count the silence since the last byte, in milliseconds.
    quint32 ConnectTimeout = 0, ReceiveTimeout = 0, SendTimeout = 0;  // ms; 0 = default
    // A server that drips a byte now and then is never silent for a whole receive time-out: an
    // answer that brings fewer bytes than this per second, over every such time-out, has
    // stalled. 0 = no bound.
    quint32 MinBytesPerSecond = 0;
    // When the whole transfer, the proxy lookup and the body included, must have ended.
    QDeadlineTimer Deadline = QDeadlineTimer::Forever;
    // A body longer than this fails its read. 0 = no bound.
    qint64 MaxBodyBytes = 0;
    quint32 MaxRedirects = 0;  // 0 = the transfer's default
    bool Compressed = false;   // offers every content coding the transfer can undo
    QStringList Headers;       // extra lines without line ends
    QByteArray Body;           // POST body
    QByteArray BodyContentType;
    QString Username, Password;            // server credentials, used when non-empty
    QString ProxyUsername, ProxyPassword;  // proxy credentials, used when non-empty
};

enum class TransferHeader {
    ContentType,
    ContentLength,
    RawHeadersCRLF,
    ContentLanguage,
    ContentEncoding,
    Location,
    Date,
    LastModified,
    Expires,
    WWWAuthenticate,
};

// Why a transfer got no answer, so that a message can name the cause.
enum class TransferFailureKind {
    None,
    HostNotFound,
    ProxyNotFound,
    Refused,
    ProxyRefused,
    TimedOut,
    Other,
};

struct TransferFailure {
    TransferFailureKind Kind = TransferFailureKind::None;
    QString Proxy;  // host:port of the proxy the request went to, empty when it went direct
    // Timed out although bytes kept coming: too few of them (MinBytesPerSecond).
    bool Stalled = false;
    QString Detail;  // the transfer library's own words, for logs; may be empty
};

class ITransfer {
public:
    virtual ~ITransfer() = default;
    virtual bool Open(const TransferSessionOptions& options) = 0;
    // Sends the request and waits for the final response's headers (redirects to http and https
    // are followed). May be called again on the same session (with credentials filled in) to
    // re-send.
    virtual bool Send(const TransferRequest& request) = 0;
    virtual int StatusCode() const = 0;  // -1 when no status was obtained
    // The response header's value; nullopt when the response has none.
    virtual std::optional<QString> Header(TransferHeader header) const = 0;
    // Reads the next block of the body: its length, 0 at the clean end, -1 when the body could
    // not be read to its end (connection lost, aborted, timed out, stalled). A block that is not
    // full after kPartialReadMs is handed out as it is, so that a slow body still shows movement.
    virtual qint64 Read(char* buffer, qint64 size) = 0;
    // After a Send that returned false or a Read that returned -1: why. Transfers that cannot
    // tell say nothing.
    virtual TransferFailure Failure() const { return {}; }
};

inline constexpr int kPartialReadMs = 100;

using TransferFactory = std::function<std::unique_ptr<ITransfer>()>;

void SetDefaultTransferFactory(TransferFactory factory);
TransferFactory DefaultTransferFactory();

}  // namespace kestrel
