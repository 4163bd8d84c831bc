#include "platform/linux/curltransfer.h"

#include <curl/curl.h>
#include <proxy.h>

#include <algorithm>
#include <mutex>

namespace kestrel {

namespace {

// How long one wait for the network may last before the abort flag is looked at again.
constexpr int kPollMs = 20;
// Content a paused transfer may hold before the reader drains it, beyond one block.
constexpr qint64 kDefaultLimit = 16 * 1024;

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
        if (ProxyFactory)
            px_proxy_factory_free(ProxyFactory);
    }

    bool Open(const TransferSessionOptions& options) override {
        Options = options;
        // Without a cache there is nothing to serve while offline.
        if (options.Offline)
            return false;
        Easy = curl_easy_init();
        Multi = curl_multi_init();
        if (!Easy || !Multi)
            return false;
        if (options.AccessType == THTTPAccessType::atPreconfig)
            ProxyFactory = px_proxy_factory_new();
        return true;
    }

    bool Send(const TransferRequest& request) override;

    int StatusCode() const override { return Status; }

    std::optional<QString> Header(TransferHeader header) const override;

    qint64 Read(char* buffer, qint64 size) override;

private:
    bool Aborted() const { return Options.AbortFlag && Options.AbortFlag->load(); }
    qint64 Available() const { return Pending.size() - PendingAt; }
    void ApplyProxy(const QByteArray& url);
    void Perform();  // the network work that can be done now
    void Wait() { curl_multi_poll(Multi, nullptr, 0, kPollMs, nullptr); }
    void Reset();

    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static int OnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    TransferSessionOptions Options;
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    pxProxyFactory* ProxyFactory = nullptr;
    curl_slist* HeaderList = nullptr;
    bool Added = false;

    // The response in progress.
    int Status = -1;
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
};

void CurlTransfer::Reset() {
    if (Added)
        curl_multi_remove_handle(Multi, Easy);
    Added = false;
    Status = -1;
    HeadersComplete = false;
    Done = false;
    Result = CURLE_OK;
    HeaderLines.clear();
    RawHeaders.clear();
    Pending.clear();
    PendingAt = 0;
    Paused = false;
    curl_slist_free_all(HeaderList);
    HeaderList = nullptr;
}

void CurlTransfer::ApplyProxy(const QByteArray& url) {
    QByteArray proxy;
    QByteArray noProxy = "*";
    switch (Options.AccessType) {
        case THTTPAccessType::atDirect:
            break;
        case THTTPAccessType::atUseProxy:
            proxy = Options.ProxyServer.toUtf8();
            noProxy = NoProxyList(Options.ProxyBypass);
            break;
        case THTTPAccessType::atPreconfig:
            if (ProxyFactory) {
                if (char** proxies = px_proxy_factory_get_proxies(ProxyFactory, url.constData())) {
                    if (proxies[0] && qstrcmp(proxies[0], "direct://") != 0) {
                        proxy = proxies[0];
                        noProxy.clear();
                    }
                    px_proxy_factory_free_proxies(proxies);
                }
            }
            break;
    }
    // Set both every time, so that libcurl never falls back to the environment on its own.
    curl_easy_setopt(Easy, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(Easy, CURLOPT_NOPROXY, noProxy.constData());
}

bool CurlTransfer::Send(const TransferRequest& request) {
    if (!Easy || Aborted())
        return false;
    Reset();
    const QByteArray url = request.URL.toUtf8();
    curl_easy_setopt(Easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(Easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(Easy, CURLOPT_USERAGENT, Options.Agent.toUtf8().constData());
    curl_easy_setopt(Easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(Easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(Easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    ApplyProxy(url);

    if (request.Method == "POST") {
        curl_easy_setopt(Easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.Body.size()));
        curl_easy_setopt(Easy, CURLOPT_COPYPOSTFIELDS, request.Body.constData());
    } else {
        curl_easy_setopt(Easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(Easy, CURLOPT_REFERER,
                     request.Referer.isEmpty() ? nullptr : request.Referer.toUtf8().constData());
    // A session keeps its cookies across re-sends; "" starts an empty store without a file.
    curl_easy_setopt(Easy, CURLOPT_COOKIEFILE, request.UseCookies ? "" : nullptr);

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

    // A server that hangs ends as a failed transfer: a minute to connect, and a minute without
    // a single byte in either direction, unless the caller asked for other limits.
    curl_easy_setopt(Easy, CURLOPT_CONNECTTIMEOUT_MS,
                     long(request.ConnectTimeout ? request.ConnectTimeout : 60000));
    quint32 idleMs = std::max(request.ReceiveTimeout, request.SendTimeout);
    if (idleMs == 0)
        idleMs = 60000;
    curl_easy_setopt(Easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(Easy, CURLOPT_LOW_SPEED_TIME, long((idleMs + 999) / 1000));

    const auto credential = [this](CURLoption option, const QString& text) {
        curl_easy_setopt(Easy, option, text.isEmpty() ? nullptr : text.toUtf8().constData());
    };
    credential(CURLOPT_USERNAME, request.Username);
    credential(CURLOPT_PASSWORD, request.Password);
    credential(CURLOPT_PROXYUSERNAME, request.ProxyUsername);
    credential(CURLOPT_PROXYPASSWORD, request.ProxyPassword);
    curl_easy_setopt(Easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    curl_easy_setopt(Easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));

    curl_easy_setopt(Easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite);
    curl_easy_setopt(Easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(Easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
    curl_easy_setopt(Easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(Easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(Easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnXferInfo);
    curl_easy_setopt(Easy, CURLOPT_XFERINFODATA, this);

    if (curl_multi_add_handle(Multi, Easy) != CURLM_OK)
        return false;
    Added = true;
    while (!HeadersComplete && !Done && !Aborted()) {
        Perform();
        if (!HeadersComplete && !Done)
            Wait();
    }
    if (Aborted())
        return false;

    long code = 0;
    curl_easy_getinfo(Easy, CURLINFO_RESPONSE_CODE, &code);
    if (code == 0 && Done) {
        // A proxy that refused the tunnel of an https request answered the CONNECT only.
        curl_easy_getinfo(Easy, CURLINFO_HTTP_CONNECTCODE, &code);
    }
    if (code == 0)
        return false;
    Status = int(code);
    return true;
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
    while (Available() < size && !Done && !Aborted()) {
        if (Paused) {
            Paused = false;
            curl_easy_pause(Easy, CURLPAUSE_CONT);
            continue;
        }
        Perform();
        if (Available() < size && !Done && !Paused)
            Wait();
    }
    if (Aborted())
        return -1;
    if (Available() == 0)
        return Done && Result == CURLE_OK ? 0 : -1;
    const qint64 n = std::min<qint64>(size, Available());
    std::copy_n(Pending.constData() + PendingAt, n, buffer);
    PendingAt += n;
    return n;
}

std::optional<QString> CurlTransfer::Header(TransferHeader header) const {
    if (header == TransferHeader::RawHeadersCRLF)
        return RawHeaders.isEmpty() ? std::nullopt : std::optional(QString::fromLatin1(RawHeaders));
    static constexpr const char* kNames[] = {
        "content-type",     "content-length",   "",     "content-language",
        "content-encoding", "location",         "date", "last-modified",
        "expires",          "www-authenticate",
    };
    const QByteArray name = kNames[static_cast<int>(header)];
    for (const QByteArray& line : HeaderLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return QString::fromLatin1(line.mid(colon + 1).trimmed());
    }
    return std::nullopt;
}

size_t CurlTransfer::OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    if (t->Available() >= t->Limit) {
        t->Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->Pending.append(data, qsizetype(size * count));
    return size * count;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
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
    // The blank line after a block: the final one unless libcurl goes on to another.
    const QList<QByteArray> status = t->HeaderLines.value(0).split(' ');
    const int code = status.value(1).toInt();
    bool hasLocation = false;
    for (const QByteArray& h : t->HeaderLines)
        hasLocation = hasLocation || h.toLower().startsWith("location:");
    const bool interim = code >= 100 && code < 200;
    const bool redirect =
        hasLocation && (code == 301 || code == 302 || code == 303 || code == 307 || code == 308);
    t->HeadersComplete = !interim && !redirect;
    return size * count;
}

int CurlTransfer::OnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlTransfer*>(self)->Aborted() ? 1 : 0;
}

}  // namespace

std::unique_ptr<ITransfer> MakeCurlTransfer() {
    return std::make_unique<CurlTransfer>();
}

void InstallCurlTransfer() {
    SetDefaultTransferFactory(&MakeCurlTransfer);
}

}  // namespace kestrel
