// The HTTP client component: downloads one URL at a time on a worker thread and reports the
// outcome through events that run in the GUI thread.
//
// A failed transfer raises OnAnyError first, then exactly one of OnConnLost (status 200 but the
// body is incomplete), OnHostUnreachable (no status) or OnHTTPError (any other status). An
// output file that cannot be replaced raises OnAnyError alone. Abort raises OnAborted only; a
// timed-out synchronous Read raises OnWaitTimeoutExpired only. A stream handed to an event is
// positioned at 0, belongs to the component and is freed right after the completion events.
//
// Every transfer is bounded: a body larger than its cap and a transfer still running after
// MaxTransferTime end as if the connection had been cut at that moment (OnConnLost after a 200,
// OnHostUnreachable before any status). Cookies that servers set are kept for the component's
// life and sent with its later requests.
#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "net/transfer.h"
#include "net/workerthread.h"
#include "version.h"

namespace kestrel {

class TLoginComponent {
public:
    QString Username;
    QString Password;
};

struct THTTPProxy {
    THTTPAccessType AccessType = THTTPAccessType::atPreconfig;
    int ProxyPort = 8080;
    QString ProxyServer;
    QString ProxyBypass = QStringLiteral("127.0.0.1;");
    // The login the proxy asks for (Basic or Digest), given with atUseProxy only; a proxy that
    // refuses it ends the transfer with status 407.
    QString ProxyUsername;
    QString ProxyPassword;
};

struct THTTPRange {
    qint64 StartRange = 0;
    qint64 EndRange = 0;
};

struct THTTPTimeouts {
    quint32 ConnectTimeout = 0;  // ms; 0 = the transfer's default
    quint32 ReceiveTimeout = 0;
    quint32 SendTimeout = 0;
    // Bytes per second a body must bring over each receive time-out; 0 = no bound.
    quint32 MinBytesPerSecond = 0;
};

enum class THTTPRequestMethod { rmAutoDetect, rmGET, rmPOST };

class TCustomHTTPClient;
struct TransferJob;

// Dates of OnHeaderInfo are local date-times in days since 1899-12-30 (0 = none).
using THTTPHeaderInfoEvent = std::function<void(
    TCustomHTTPClient* Sender, const QString& RawHeadersCRLF, const QString& ContentType,
    const QString& ContentLanguage, const QString& ContentEncoding, const QString& Location,
    qint64 ContentLength, double Date, double LastModified, double Expires,
    bool& ContinueDownload)>;
using THTTPProgressEvent =
    std::function<void(TCustomHTTPClient* Sender, const QString& ContentType, qint64 DataSize,
                       qint64 BytesRead, qint64 ElapsedTime, qint64 EstimatedTimeLeft,
                       quint8 PercentsDone, float TransferRate, QIODevice* Stream)>;
using THTTPPasswordRequestEvent =
    std::function<void(TCustomHTTPClient* Sender, const QString& Realm, bool& TryAgain)>;
using THTTPProxyAuthenticationEvent = std::function<void(
    TCustomHTTPClient* Sender, QString& ProxyUsername, QString& ProxyPassword, bool& TryAgain)>;
using TQuoteHTTPDoneEvent = std::function<void(
    TCustomHTTPClient* Sender, const QString& ContentType, qint64 FileSize, QIODevice* Stream)>;
using THTTPConnLostEvent =
    std::function<void(TCustomHTTPClient* Sender, const QString& ContentType, qint64 FileSize,
                       qint64 BytesRead, QIODevice* Stream)>;
using THTTPErrorEvent =
    std::function<void(TCustomHTTPClient* Sender, int ErrorCode, QIODevice* Stream)>;
using THTTPNotifyEvent = std::function<void(TCustomHTTPClient* Sender)>;

class TCustomHTTPClient : public TLoginComponent {
public:
    // The factory makes one transfer per Read; the default is the one the platform installed.
    explicit TCustomHTTPClient(TransferFactory factory = DefaultTransferFactory());
    ~TCustomHTTPClient();  // ends a running transfer at once, without events
    TCustomHTTPClient(const TCustomHTTPClient&) = delete;
    TCustomHTTPClient& operator=(const TCustomHTTPClient&) = delete;

    // Starts a transfer of URL. False while Busy (the running transfer is left alone) and when a
    // synchronous Read timed out.
    bool Read();
    // Stops a running transfer (OnAborted) and releases what a finished one left; safe when idle.
    void Abort();
    bool Busy() const { return Thread.Busy(); }

    QString FileName() const;
    QString HostName() const;
    // Status of the last transfer's response; -1 when none was obtained.
    int StatusCode() const { return LastStatusCode; }
    // Seconds the last transfer's refusal (429, 503, ...) asked to wait before the next request,
    // from its Retry-After header; 0 when it asked nothing.
    double RetryAfter() const { return LastRetryAfter; }
    // Why the last transfer got no status or lost its body, as far as the transfer could tell.
    const TransferFailure& LastFailure() const { return LastFailureSeen; }

    TThreadPriority ThreadPriority() const { return Thread.ThreadPriority(); }
    void SetThreadPriority(TThreadPriority priority) { Thread.SetThreadPriority(priority); }
    bool WaitThread() const { return Thread.WaitThread; }
    void SetWaitThread(bool wait) { Thread.WaitThread = wait; }
    int WaitTimeout() const { return Thread.WaitTimeout; }
    void SetWaitTimeout(int ms) { Thread.WaitTimeout = ms; }
    int TransferBufferSize() const { return BufferSize; }
    void SetTransferBufferSize(int size);  // 255 at least

    QStringList AddHeaders;
    QString AcceptTypes = QStringLiteral("text/html, */*");
    QString Agent = QStringLiteral("Kestrel/" KESTREL_VERSION);
    QString OutputFileName;  // the body goes to this file (mode 0600) instead of memory
    // Largest body kept in memory and largest body written to OutputFileName; 0 = no limit.
    qint64 MaxBodySize = 16 * 1024 * 1024;
    qint64 MaxFileSize = 256 * 1024 * 1024;
    // Milliseconds a transfer may take from its start to its last byte; 0 = no limit.
    int MaxTransferTime = 60000;
    bool HideOutputFile = false;
    QString URL;
    QString POSTData;
    QString Referer;
    THTTPRange Range;
    THTTPTimeouts Timeouts;
    THTTPRequestMethod RequestMethod = THTTPRequestMethod::rmAutoDetect;
    THTTPProxy Proxy;
    bool UseCache = true;
    bool UseCookies = true;
    bool WorkOffline = false;

    THTTPHeaderInfoEvent OnHeaderInfo;
    TQuoteHTTPDoneEvent OnDone;
    THTTPNotifyEvent OnDoneInterrupted;
    THTTPProgressEvent OnProgress;
    THTTPNotifyEvent OnAnyError;
    THTTPNotifyEvent OnAborted;
    THTTPConnLostEvent OnConnLost;
    THTTPNotifyEvent OnHostUnreachable;
    THTTPErrorEvent OnHTTPError;
    THTTPPasswordRequestEvent OnPasswordRequest;
    THTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    THTTPNotifyEvent OnWaitTimeoutExpired;

private:
    void CompletionHandler();
    void WaitTimeoutHandler();
    void StopTransfer();  // ends the worker and lets go of its transfer, without events
    void RaiseAnyError();

    TransferFactory Factory;
    std::shared_ptr<CookieJar> Cookies = std::make_shared<CookieJar>();
    TCustomThread Thread;
    std::shared_ptr<TransferJob> Job;  // the transfer in flight or awaiting its completion
    int BufferSize = 4096;
    int LastStatusCode = -1;
    double LastRetryAfter = 0;
    TransferFailure LastFailureSeen;
};

class THTTPClient : public TCustomHTTPClient {
public:
    using TCustomHTTPClient::TCustomHTTPClient;
};

}  // namespace kestrel
