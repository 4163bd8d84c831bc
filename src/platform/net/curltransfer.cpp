#include "platform/net/curltransfer.h"

#include <curl/curl.h>

#include <QElapsedTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>

#include "platform/net/proxylookup.h"

namespace kestrel {

namespace {

// How long one wait for the network may last before the abort flag is looked at again.
constexpr int kPollMs = 20;
// Content a paused transfer may hold before the reader drains it, beyond one block.
constexpr qint64 kDefaultLimit = 16 * 1024;
// Connect and idle time-outs when the caller sets none.
constexpr quint32 kDefaultTimeoutMs = 60000;
// The redirects libcurl follows for one request.
constexpr int kMaxRedirects = 10;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// "a;b; c" (the bypass list as it is stored) → "a,b,c" (as libcurl reads it).
QByteArray NoProxyList(const QString& bypass) {
    QStringList hosts;
    for (const QString& entry : bypass.split(u';', Qt::SkipEmptyParts)) {
        const QString host = entry.trimmed();
        if (!host.isEmpty())
            hosts << host;
    }
    return hosts.join(u',').toUtf8();
}

// Whether a Location leads to http or https: a reference without a scheme stays on the scheme
// of the request, which is one of them.
bool StaysOnTheWeb(const QByteArray& location) {
    const qsizetype colon = location.indexOf(':');
    const QByteArray scheme = location.left(colon);
    const bool hasScheme =
        colon > 0 && std::all_of(scheme.begin(), scheme.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
    if (!hasScheme)
        return true;
    const QByteArray lower = scheme.toLower();
    return lower == "http" || lower == "https";
}

class CurlTransfer final : public ITransfer {
public:
    CurlTransfer() { GlobalInit(); }
    ~CurlTransfer() override {
        // Removing the handle may run the progress callback once more, and the job that owned
        // the abort flag may already be gone.
        Options.AbortFlag = nullptr;
        if (Multi && Easy && Added)
            curl_multi_remove_handle(Multi, Easy);
        if (Easy)
            curl_easy_cleanup(Easy);
        if (Multi)
            curl_multi_cleanup(Multi);
        curl_slist_free_all(HeaderList);
    }

    bool Open(const TransferSessionOptions& options) override {
        Options = options;
        // Without a cache there is nothing to serve while offline.
        if (options.Offline)
            return false;
        Easy = curl_easy_init();
        Multi = curl_multi_init();
        return Easy && Multi;
    }

    bool Send(const TransferRequest& request) override;

    int StatusCode() const override { return Status; }

    std::optional<QString> Header(TransferHeader header) const override;

    qint64 Read(char* buffer, qint64 size) override;

    TransferFailure Failure() const override { return Failed; }

private:
    bool Aborted() const { return Options.AbortFlag && Options.AbortFlag->load(); }
    // Stopped by the owner, out of time, or silent for longer than the idle time-out.
    bool MustEnd();
    qint64 Available() const { return Pending.size() - PendingAt; }
    // The parts of Send: what every request sets, the method, body and header lines (false
    // when they cannot be held), the time-outs and logins, and the status the response gives
    // (0 for none).
    void SetCommonOptions(const QByteArray& url);
    bool SetContent(const TransferRequest& request);
    void SetLimitsAndLogins(const TransferRequest& request);
    long ResponseCode();
    bool ApplyProxy(const QByteArray& url);
    void NoteFailure(bool ended);
    // The value of a header of the final response, by its lower-case name.
    std::optional<QByteArray> Value(const QByteArray& name) const;
    void LoadCookies();
    void SaveCookies();
    void Perform();  // the network work that can be done now
    void Wait() { curl_multi_poll(Multi, nullptr, 0, kPollMs, nullptr); }
    void Reset();

    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static int OnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    TransferSessionOptions Options;
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    curl_slist* HeaderList = nullptr;
    bool Added = false;
    std::shared_ptr<CookieJar> Cookies;
    QDeadlineTimer Deadline;
    quint32 IdleMs = kDefaultTimeoutMs;
    bool Connected = false;  // the idle time-out counts from here
    QElapsedTimer Silence;   // since the connection was made or the last byte came or went
    quint32 MinRate = 0;     // bytes per second; 0 = no bound
    QElapsedTimer Window;    // one idle time-out's worth of traffic, for the low-speed bound
    qint64 WindowBytes = 0;
    bool Stalled = false;
    curl_off_t Uploaded = 0;

    int MaxRedirects = kMaxRedirects;
    qint64 MaxBody = 0;  // 0 = no bound
    char ErrorText[CURL_ERROR_SIZE] = {};

    // The response in progress.
    int Status = -1;
    int Redirects = 0;
    qint64 BodyBytes = 0;
    // The proxy's first 407 is a challenge that libcurl answers with the login on its own.
    bool ProxyLoginPending = false;
    QByteArray ProxyChallenge;  // the Proxy-Authenticate of that 407
    bool HeadersComplete = false;
    bool Done = false;
    CURLcode Result = CURLE_OK;
    QList<QByteArray> HeaderLines;  // of the latest response block, without line ends
    QByteArray RawHeaders;
    // Body bytes received and not yet read: those from PendingAt on. Reading moves the offset
    // instead of shifting what is left to the front for every block.
    QByteArray Pending;
    qsizetype PendingAt = 0;
    qint64 Limit = kDefaultLimit;
    bool Paused = false;
    QString ProxyHost;  // host:port the request goes through, empty when direct
    TransferFailure Failed;
};

void CurlTransfer::Reset() {
    if (Added)
        curl_multi_remove_handle(Multi, Easy);
    Added = false;
    Connected = false;
    WindowBytes = 0;
    Stalled = false;
    Uploaded = 0;
    Status = -1;
    Redirects = 0;
    BodyBytes = 0;
    ErrorText[0] = '\0';
    ProxyLoginPending = false;
    ProxyChallenge.clear();
    HeadersComplete = false;
    Done = false;
    Result = CURLE_OK;
    HeaderLines.clear();
    RawHeaders.clear();
    Pending.clear();
    PendingAt = 0;
    Paused = false;
    ProxyHost.clear();
    Failed = {};
    curl_slist_free_all(HeaderList);
    HeaderList = nullptr;
}

bool CurlTransfer::ApplyProxy(const QByteArray& url) {
    if (Options.EnvironmentProxy) {
        // Left unset, both are read from the environment by libcurl.
        const QByteArray proxy = Options.ProxyServer.toUtf8();
        curl_easy_setopt(Easy, CURLOPT_PROXY, proxy.isEmpty() ? nullptr : proxy.constData());
        curl_easy_setopt(Easy, CURLOPT_NOPROXY, nullptr);
        return true;
    }
    QByteArray proxy;
    QByteArray noProxy = "*";
    switch (Options.AccessType) {
        case THTTPAccessType::atDirect:
            break;
        case THTTPAccessType::atUseProxy:
            proxy = Options.ProxyServer.toUtf8();
            noProxy = NoProxyList(Options.ProxyBypass);
            break;
        case THTTPAccessType::atPreconfig: {
            const std::optional<QByteArray> found = SystemProxy(url, [this] { return MustEnd(); });
            if (!found)
                return false;
            proxy = *found;
            if (!proxy.isEmpty())
                noProxy.clear();
            break;
        }
    }
    // Which proxy a failure to connect is blamed on: none when the host is on the bypass list.
    const QString host = QUrl(QString::fromUtf8(url)).host();
    bool bypassed = noProxy == "*";
    for (const QByteArray& entry : noProxy.split(','))
        bypassed =
            bypassed || (!entry.isEmpty() && (host == QString::fromUtf8(entry) ||
                                              host.endsWith(u'.' + QString::fromUtf8(entry))));
    if (!proxy.isEmpty() && !bypassed) {
        const QUrl proxyUrl(QString::fromUtf8(proxy.contains("://") ? proxy : "http://" + proxy));
        ProxyHost = proxyUrl.host() + u':' + QString::number(proxyUrl.port(1080));
    }
    // Set both every time, so that libcurl never falls back to the environment on its own.
    curl_easy_setopt(Easy, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(Easy, CURLOPT_NOPROXY, noProxy.constData());
    return true;
}

bool CurlTransfer::MustEnd() {
    if (Aborted() || Deadline.hasExpired())
        return true;
    if (!Connected) {
        curl_off_t sent = 0;
        if (Easy && Added &&
            curl_easy_getinfo(Easy, CURLINFO_PRETRANSFER_TIME_T, &sent) == CURLE_OK && sent > 0) {
            Connected = true;
            Silence.start();
            Window.start();
        }
        return false;
    }
    // A paused transfer is silent because its reader is busy, not because of the server.
    if (Paused)
        return false;
    if (Silence.hasExpired(IdleMs))
        return true;
    if (MinRate != 0 && Window.hasExpired(IdleMs)) {
        Stalled = WindowBytes * 1000 < qint64(MinRate) * Window.elapsed();
        if (Stalled)
            return true;
        Window.restart();
        WindowBytes = 0;
    }
    return false;
}

void CurlTransfer::LoadCookies() {
    if (!Cookies)
        return;
    std::lock_guard lock(Cookies->Lock);
    for (const QByteArray& line : Cookies->Lines)
        curl_easy_setopt(Easy, CURLOPT_COOKIELIST, line.constData());
}

void CurlTransfer::SaveCookies() {
    curl_slist* list = nullptr;
    if (!Cookies || curl_easy_getinfo(Easy, CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return;
    QList<QByteArray> lines;
    for (const curl_slist* item = list; item; item = item->next)
        lines << QByteArray(item->data);
    curl_slist_free_all(list);
    std::lock_guard lock(Cookies->Lock);
    Cookies->Lines = lines;
}

bool CurlTransfer::Send(const TransferRequest& request) {
    if (!Easy || Aborted())
        return false;
    Reset();
    Deadline = request.Deadline;
    const QByteArray url = request.URL.toUtf8();
    SetCommonOptions(url);
    MaxRedirects = request.MaxRedirects ? int(request.MaxRedirects) : kMaxRedirects;
    curl_easy_setopt(Easy, CURLOPT_MAXREDIRS, long(MaxRedirects));
    curl_easy_setopt(Easy, CURLOPT_ACCEPT_ENCODING, request.Compressed ? "" : nullptr);
    MaxBody = request.MaxBodyBytes;
    if (!ApplyProxy(url)) {
        Failed.Kind = TransferFailureKind::Other;
        return false;
    }
    if (!SetContent(request))
        return false;
    SetLimitsAndLogins(request);

    if (curl_multi_add_handle(Multi, Easy) != CURLM_OK)
        return false;
    Added = true;
    bool ended = false;
    while (!HeadersComplete && !Done && !(ended = MustEnd())) {
        Perform();
        if (!HeadersComplete && !Done)
            Wait();
    }
    if (ended) {
        NoteFailure(true);
        return false;
    }
    SaveCookies();

    const long code = ResponseCode();
    if (code == 0) {
        NoteFailure(false);
        return false;
    }
    Status = int(code);
    return true;
}

void CurlTransfer::SetCommonOptions(const QByteArray& url) {
    curl_easy_setopt(Easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(Easy, CURLOPT_NOSIGNAL, 1L);
    // Freeing the handle must not wait for a name lookup that is still under way.
    curl_easy_setopt(Easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(Easy, CURLOPT_USERAGENT, Options.Agent.toUtf8().constData());
    // Only the web, also where a redirect points: no file, ftp or other scheme libcurl knows.
    curl_easy_setopt(Easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(Easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(Easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(Easy, CURLOPT_ERRORBUFFER, ErrorText);
    curl_easy_setopt(Easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

bool CurlTransfer::SetContent(const TransferRequest& request) {
    if (request.Method == "POST") {
        curl_easy_setopt(Easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.Body.size()));
        curl_easy_setopt(Easy, CURLOPT_COPYPOSTFIELDS, request.Body.constData());
    } else {
        curl_easy_setopt(Easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(Easy, CURLOPT_REFERER,
                     request.Referer.isEmpty() ? nullptr : request.Referer.toUtf8().constData());
    // A session keeps its cookies across re-sends; "" starts an empty store without a file. The
    // owner's jar carries them from one transfer to the next.
    Cookies = request.UseCookies ? request.Cookies : nullptr;
    curl_easy_setopt(Easy, CURLOPT_COOKIEFILE, request.UseCookies ? "" : nullptr);
    LoadCookies();

    QList<QByteArray> lines;
    if (!request.Accept.isEmpty())
        lines << "Accept: " + request.Accept.toUtf8();
    if (request.NoCache)
        lines << "Cache-Control: no-cache"
              << "Pragma: no-cache";
    if (!request.BodyContentType.isEmpty())
        lines << "Content-Type: " + request.BodyContentType;
    // A server that ignores "Expect: 100-continue" would cost every POST a second.
    if (request.Method == "POST")
        lines << "Expect:";
    for (const QString& line : request.Headers)
        lines << line.toUtf8();
    for (const QByteArray& line : lines) {
        curl_slist* list = curl_slist_append(HeaderList, line.constData());
        if (!list)
            return false;
        HeaderList = list;
    }
    curl_easy_setopt(Easy, CURLOPT_HTTPHEADER, HeaderList);
    return true;
}

void CurlTransfer::SetLimitsAndLogins(const TransferRequest& request) {
    // A server that hangs ends as a failed transfer: a minute to connect, and a minute without
    // a single byte (MustEnd), unless the caller asked for other limits.
    curl_easy_setopt(Easy, CURLOPT_CONNECTTIMEOUT_MS,
                     long(request.ConnectTimeout ? request.ConnectTimeout : kDefaultTimeoutMs));
    IdleMs = std::max(request.ReceiveTimeout, request.SendTimeout);
    if (IdleMs == 0)
        IdleMs = kDefaultTimeoutMs;
    MinRate = request.MinBytesPerSecond;

    const auto credential = [this](CURLoption option, const QString& text) {
        curl_easy_setopt(Easy, option, text.isEmpty() ? nullptr : text.toUtf8().constData());
    };
    credential(CURLOPT_USERNAME, request.Username);
    credential(CURLOPT_PASSWORD, request.Password);
    credential(CURLOPT_PROXYUSERNAME, request.ProxyUsername);
    credential(CURLOPT_PROXYPASSWORD, request.ProxyPassword);
    curl_easy_setopt(Easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    // Basic or Digest, whichever the proxy offers: libcurl asks without a login first and
    // answers the proxy's challenge once (ProxyLoginPending).
    curl_easy_setopt(Easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    ProxyLoginPending = !request.ProxyUsername.isEmpty();

    curl_easy_setopt(Easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite);
    curl_easy_setopt(Easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(Easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
    curl_easy_setopt(Easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(Easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(Easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnXferInfo);
    curl_easy_setopt(Easy, CURLOPT_XFERINFODATA, this);
}

long CurlTransfer::ResponseCode() {
    long code = 0;
    curl_easy_getinfo(Easy, CURLINFO_RESPONSE_CODE, &code);
    // Some proxies (tinyproxy among them) refuse a wrong login with 401 and the challenge they
    // sent as a 407 before: that is the proxy refusing its login, not the server asking for one.
    if (code == 0 && Done) {
        // A proxy that refused the tunnel of an https request answered the CONNECT only, and
        // whatever it answered is about the proxy.
        curl_easy_getinfo(Easy, CURLINFO_HTTP_CONNECTCODE, &code);
        if (code == 401)
            code = 407;
    } else if (code == 401 && !ProxyChallenge.isEmpty() &&
               Value("www-authenticate") == ProxyChallenge) {
        code = 407;
    }
    return code;
}

void CurlTransfer::NoteFailure(bool ended) {
    Failed.Proxy = ProxyHost;
    Failed.Detail = QString::fromUtf8(ErrorText);
    if (ended) {
        Failed.Kind = Aborted() ? TransferFailureKind::Other : TransferFailureKind::TimedOut;
        Failed.Stalled = Stalled && !Aborted();
        return;
    }
    switch (Result) {
        case CURLE_COULDNT_RESOLVE_HOST:
            Failed.Kind = TransferFailureKind::HostNotFound;
            break;
        case CURLE_COULDNT_RESOLVE_PROXY:
            Failed.Kind = TransferFailureKind::ProxyNotFound;
            break;
        case CURLE_COULDNT_CONNECT:
            Failed.Kind = ProxyHost.isEmpty() ? TransferFailureKind::Refused
                                              : TransferFailureKind::ProxyRefused;
            break;
        case CURLE_OPERATION_TIMEDOUT:
            Failed.Kind = TransferFailureKind::TimedOut;
            break;
        default:
            Failed.Kind = TransferFailureKind::Other;
            break;
    }
}

void CurlTransfer::Perform() {
    int running = 0;
    curl_multi_perform(Multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi, &queued)) {
        if (message->msg == CURLMSG_DONE) {
            Done = true;
            Result = message->data.result;
        }
    }
}

qint64 CurlTransfer::Read(char* buffer, qint64 size) {
    if (!Added || size <= 0)
        return -1;
    Limit = std::max(size, kDefaultLimit);
    if (Available() < size) {
        // Less than a block is left, so moving it to the front is cheap.
        Pending.remove(0, PendingAt);
        PendingAt = 0;
    }
    bool ended = false;
    const QDeadlineTimer partial(kPartialReadMs);
    while (Available() < size && !Done && !(Available() > 0 && partial.hasExpired()) &&
           !(ended = MustEnd())) {
        if (Paused) {
            Paused = false;
            Silence.restart();
            Window.restart();
            WindowBytes = 0;
            curl_easy_pause(Easy, CURLPAUSE_CONT);
            continue;
        }
        Perform();
        if (Available() < size && !Done && !Paused)
            Wait();
    }
    // What came before the end is still handed out; the failure follows on the next call.
    if (Available() == 0) {
        if (!ended && Done && Result == CURLE_OK)
            return 0;
        NoteFailure(ended);
        return -1;
    }
    const qint64 n = std::min<qint64>(size, Available());
    std::copy_n(Pending.constData() + PendingAt, n, buffer);
    PendingAt += n;
    return n;
}

std::optional<QByteArray> CurlTransfer::Value(const QByteArray& name) const {
    for (const QByteArray& line : HeaderLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return std::nullopt;
}

std::optional<QString> CurlTransfer::Header(TransferHeader header) const {
    if (header == TransferHeader::RawHeadersCRLF)
        return RawHeaders.isEmpty() ? std::nullopt : std::optional(QString::fromLatin1(RawHeaders));
    // A chunked body is read by its chunks, and a length sent beside them means nothing.
    if (header == TransferHeader::ContentLength &&
        Value("transfer-encoding").value_or(QByteArray()).toLower().contains("chunked"))
        return std::nullopt;
    static constexpr const char* kNames[] = {
        "content-type",     "content-length",   "",     "content-language",
        "content-encoding", "location",         "date", "last-modified",
        "expires",          "www-authenticate",
    };
    const std::optional<QByteArray> value = Value(kNames[static_cast<int>(header)]);
    return value ? std::optional(QString::fromLatin1(*value)) : std::nullopt;
}

size_t CurlTransfer::OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    // The body of an answer that libcurl goes past (a challenge, a redirect) is nobody's.
    if (!t->HeadersComplete)
        return size * count;
    if (t->Available() >= t->Limit) {
        t->Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->BodyBytes += qint64(size * count);
    if (t->MaxBody != 0 && t->BodyBytes > t->MaxBody)
        return 0;  // ends the transfer as failed
    t->Pending.append(data, qsizetype(size * count));
    t->WindowBytes += qint64(size * count);
    t->Silence.restart();
    return size * count;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    t->Silence.restart();
    const QByteArray line(data, qsizetype(size * count));
    if (line.startsWith("HTTP/")) {
        // A new response block: an interim one (100 Continue) or a redirect went before.
        t->HeaderLines.clear();
        t->RawHeaders.clear();
        t->HeadersComplete = false;
    }
    t->RawHeaders += line;
    const QByteArray text = line.trimmed();
    if (!text.isEmpty()) {
        t->HeaderLines << text;
        return size * count;
    }
    // The blank line after a block: the final one unless libcurl goes on to another, as it does
    // after an interim answer and after a redirect (any 3xx with a Location) that it may follow.
    const QList<QByteArray> status = t->HeaderLines.value(0).split(' ');
    const int code = status.value(1).toInt();
    bool followed = false;
    if (code >= 300 && code < 400 && t->Redirects < t->MaxRedirects) {
        for (const QByteArray& h : t->HeaderLines)
            if (h.toLower().startsWith("location:"))
                followed = StaysOnTheWeb(h.mid(9).trimmed());
    }
    if (followed)
        ++t->Redirects;
    if (code == 407 && t->ProxyLoginPending) {
        t->ProxyLoginPending = false;
        t->ProxyChallenge = t->Value("proxy-authenticate").value_or(QByteArray());
        followed = true;
    }
    t->HeadersComplete = !(code >= 100 && code < 200) && !followed;
    return size * count;
}

int CurlTransfer::OnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
    auto* t = static_cast<CurlTransfer*>(self);
    // Bytes going out count against the idle time-out as much as bytes coming in.
    if (sent != t->Uploaded) {
        t->Uploaded = sent;
        t->Silence.restart();
    }
    return t->Aborted() ? 1 : 0;
}

}  // namespace

std::unique_ptr<ITransfer> MakeCurlTransfer() {
    return std::make_unique<CurlTransfer>();
}

}  // namespace kestrel
