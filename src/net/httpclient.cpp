#include "net/httpclient.h"

#include <QBuffer>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <cmath>

#include "net/files.h"
#include "net/httpdates.h"
#include "net/progress.h"
#include "net/urls.h"

namespace kestrel {

namespace {

// A memory stream is sized to the announced length before the first block, but a length the
// server merely claims does not get more than this up front.
constexpr qint64 kMaxPresize = 16 * 1024 * 1024;

// The realm of a WWW-Authenticate value: the text after the first ="
// without the value's last character (Basic realm="abc" gives abc).
QString RealmOf(const QString& value) {
    const qsizetype at = value.indexOf(QStringLiteral("=\""));
    return at < 0 ? value : value.mid(at + 2).chopped(value.endsWith(u'"') ? 1 : 0);
}

}  // namespace

// One transfer: what Read captured of the properties, and what the worker found out. The worker
// touches nothing else, so a stopped transfer can never reach into the component. The network
// side (Transfer) is made, used and closed on the worker alone.
struct TransferJob : std::enable_shared_from_this<TransferJob> {
    TCustomHTTPClient* Client = nullptr;  // for the events, which run in the GUI thread only
    // GUI thread only: the component has let go of this transfer (a handler aborted it or freed
    // the component), so a handler that returns must not read the component any more.
    bool Dropped = false;
    QString URL;
    QString OutputFileName;
    int BufferSize = 4096;
    qint64 MaxBodySize = 0, MaxFileSize = 0;
    bool HeaderInfo = false, Progress = false, PasswordRequest = false, ProxyRequest = false;
    TransferFactory Factory;
    TransferSessionOptions Session;
    TransferRequest Request;
    std::unique_ptr<ITransfer> Transfer;  // worker only

    int StatusCode = -1;
    double RetryAfter = 0;     // seconds a refusing server asked the client to wait
    TransferFailure Failure;   // when no status came or the body broke off
    bool LengthKnown = false;  // the answer announced its length (a file's is always known)
    bool Success = false;      // set once the whole body is in
    bool ContinueDownload = true;
    bool BodyIncomplete = false;  // a read or write of the body failed before its end
    bool FileFailed = false;      // the output file could not be deleted or created
    bool StreamIsFile = false;
    QString ContentType;
    qint64 DataSize = 0;
    qint64 BytesTransferred = 0;
    QElapsedTimer Started;
    std::unique_ptr<QIODevice> Stream;

    void Run();
    bool Send();
    void DescribeResponse();
    void OpenStream();
    void ReadBody(const std::function<qint64(char*, qint64)>& read);
    void RaiseProgress();
};

void TransferJob::Run() {
    Started.start();
    QString url = URL;
    if (!url.contains(QStringLiteral("://")))
        url.prepend(QStringLiteral("http://"));
    URLComponents parts;
    const bool cracked = CrackURL(url, parts);
    if (cracked && parts.Scheme.compare(u"file", Qt::CaseInsensitive) == 0) {
        QFile file(parts.Path);
        if (file.open(QIODevice::ReadOnly)) {
            StatusCode = 200;
            DataSize = file.size();
            LengthKnown = true;
        } else {
            StatusCode = 404;
        }
        OpenStream();
        if (file.isOpen())
            ReadBody([&file](char* b, qint64 n) { return file.read(b, n); });
    } else {
        if (cracked) {
            if (!parts.UserName.isEmpty())
                Request.Username = parts.UserName;
            if (!parts.Password.isEmpty())
                Request.Password = parts.Password;
        }
        Request.URL = url;
        if (Factory)
            Transfer = Factory();
        // Closed on the worker as soon as the transfer is over: its connection does not outlive
        // the job, and whatever closing costs is never paid by the GUI thread.
        const auto close = qScopeGuard([this] { Transfer.reset(); });
        if (!Transfer || !Transfer->Open(Session) || !Send())
            return;
        if (StatusCode != 200) {
            RetryAfter = RetryAfterSeconds(
                Transfer->Header(TransferHeader::RawHeadersCRLF).value_or(QString()),
                QDateTime::currentDateTimeUtc());
        }
        DescribeResponse();
        // A stopped job leaves the output file as it is.
        if (!ContinueDownload || TCustomThread::Terminated())
            return;
        OpenStream();
        ITransfer* transfer = Transfer.get();
        ReadBody([transfer](char* b, qint64 n) { return transfer->Read(b, n); });
        if (BodyIncomplete)
            Failure = Transfer->Failure();
    }
    if (TCustomThread::Terminated())
        return;
    Success = StatusCode == 200 && !BodyIncomplete;
    if (Success && DataSize != 0 && Stream)
        Success = DataSize == BytesTransferred;
}

// Sends, and sends again for as long as an authentication handler asks to. The answers of the
// handlers travel in shared storage: a stopped job leaves while its handler may still run.
bool TransferJob::Send() {
    struct Answer {
        bool TryAgain = false;
        QString Username, Password;
    };
    for (;;) {
        StatusCode = -1;  // a send that fails has no answer, whatever the last one was
        if (!Transfer->Send(Request)) {
            Failure = Transfer->Failure();
            return false;
        }
        StatusCode = Transfer->StatusCode();
        auto answer = std::make_shared<Answer>();
        if (StatusCode == 401 && PasswordRequest) {
            const std::optional<QString> challenge =
                Transfer->Header(TransferHeader::WWWAuthenticate);
            ContentType = challenge ? RealmOf(*challenge) : QString();
            if (!TCustomThread::Synchronize(
                    [self = shared_from_this(), answer, realm = ContentType] {
                        TCustomHTTPClient* client = self->Client;
                        client->OnPasswordRequest(client, realm, answer->TryAgain);
                        if (self->Dropped)
                            return;
                        answer->Username = client->Username;
                        answer->Password = client->Password;
                    }))
                return false;
            Request.Username = answer->Username;
            Request.Password = answer->Password;
        } else if (StatusCode == 407 && ProxyRequest) {
            answer->Username = Request.ProxyUsername;
            answer->Password = Request.ProxyPassword;
            if (!TCustomThread::Synchronize([client = Client, answer] {
                    client->OnProxyAuthenticationRequest(client, answer->Username, answer->Password,
                                                         answer->TryAgain);
                }))
                return false;
            Request.ProxyUsername = answer->Username;
            Request.ProxyPassword = answer->Password;
        }
        if (!answer->TryAgain)
            return true;
    }
}

void TransferJob::DescribeResponse() {
    if (const auto type = Transfer->Header(TransferHeader::ContentType))
        ContentType = *type;
    const std::optional<QString> length = Transfer->Header(TransferHeader::ContentLength);
    LengthKnown = length.has_value();
    DataSize = length ? std::max<qint64>(0, length->toLongLong()) : 0;
    if (!HeaderInfo)
        return;
    const auto text = [this](TransferHeader h) { return Transfer->Header(h).value_or(QString()); };
    const auto date = [this](TransferHeader h) {
        const std::optional<QString> value = Transfer->Header(h);
        return value ? ParseHTTPDate(*value) : 0.0;
    };
    const QString raw = text(TransferHeader::RawHeadersCRLF), type = ContentType,
                  language = text(TransferHeader::ContentLanguage),
                  encoding = text(TransferHeader::ContentEncoding),
                  location = text(TransferHeader::Location);
    const qint64 size = DataSize;
    const double when = date(TransferHeader::Date), modified = date(TransferHeader::LastModified),
                 expires = date(TransferHeader::Expires);
    auto carryOn = std::make_shared<bool>(true);
    if (TCustomThread::Synchronize([=, client = Client] {
            client->OnHeaderInfo(client, raw, type, language, encoding, location, size, when,
                                 modified, expires, *carryOn);
        }))
        ContinueDownload = *carryOn;
}

void TransferJob::OpenStream() {
    if (LengthKnown && !OutputFileName.isEmpty()) {
        std::unique_ptr<QFile> file = CreatePrivateFile(OutputFileName);
        FileFailed = !file;
        if (!file)
            return;
        Stream = std::move(file);
        StreamIsFile = true;
        return;
    }
    auto buffer = std::make_unique<QBuffer>();
    if (LengthKnown)
        buffer->buffer().reserve(std::min(DataSize, kMaxPresize));
    buffer->open(QIODevice::ReadWrite);
    Stream = std::move(buffer);
}

void TransferJob::ReadBody(const std::function<qint64(char*, qint64)>& read) {
    if (!Stream)
        return;
    BytesTransferred = 0;
    // A body past its cap is cut off there, like a lost connection; one announced larger is not
    // read at all.
    const qint64 cap = StreamIsFile ? MaxFileSize : MaxBodySize;
    if (cap > 0 && DataSize > cap) {
        BodyIncomplete = true;
        return;
    }
    QByteArray block(BufferSize, Qt::Uninitialized);
    for (;;) {
        if (TCustomThread::Terminated())
            return;
        const qint64 n = read(block.data(), block.size());
        if (n <= 0) {
            BodyIncomplete = n < 0;
            return;
        }
        if (cap > 0 && n > cap - BytesTransferred) {
            BodyIncomplete = true;
            return;
        }
        if (Stream->write(block.constData(), n) != n) {
            BodyIncomplete = true;
            return;
        }
        BytesTransferred += n;
        if (Progress)
            RaiseProgress();
    }
}

void TransferJob::RaiseProgress() {
    const qint64 elapsedMs = Started.elapsed();
    TCustomThread::Synchronize([self = shared_from_this(), client = Client, stream = Stream.get(),
                                type = ContentType, size = DataSize, done = BytesTransferred,
                                elapsedMs] {
        const qint64 elapsed = elapsedMs / 1000;
        const quint8 percents = Percent(double(done), double(size));
        const qint64 left =
            size == 0 ? -elapsed : qint64(std::nearbyint(double(size) / done * elapsed)) - elapsed;
        float rate = float(done) / 1024;
        if (elapsed != 0)
            rate /= float(elapsed);
        // The worker goes on writing where it stopped, whatever the handler read.
        const qint64 at = stream->pos();
        client->OnProgress(client, type, size, done, elapsed, left, percents, rate, stream);
        stream->seek(at);
    });
}

TCustomHTTPClient::TCustomHTTPClient(TransferFactory factory) : Factory(std::move(factory)) {
    Thread.SetOnException([this](TCustomThread*) { RaiseAnyError(); });
    Thread.SetOnFinish([this](TCustomThread*) { CompletionHandler(); });
    Thread.OnWaitTimeout = [this](TCustomThread*) { WaitTimeoutHandler(); };
}

TCustomHTTPClient::~TCustomHTTPClient() {
    StopTransfer();
}

void TCustomHTTPClient::SetTransferBufferSize(int size) {
    BufferSize = std::max(size, 255);
}

QString TCustomHTTPClient::FileName() const {
    return FileNameFromURL(URL);
}

QString TCustomHTTPClient::HostName() const {
    return HostFromURL(URL);
}

bool TCustomHTTPClient::Read() {
    if (Busy())
        return false;
    // A transfer whose routine returned but whose completion has not run yet gives way: its
    // events are dropped with its worker.
    StopTransfer();
    LastStatusCode = -1;
    LastRetryAfter = 0;
    LastFailureSeen = {};

    auto job = std::make_shared<TransferJob>();
    job->Client = this;
    job->URL = URL;
    job->OutputFileName = OutputFileName;
    job->BufferSize = BufferSize;
    job->MaxBodySize = MaxBodySize;
    job->MaxFileSize = MaxFileSize;
    job->HeaderInfo = bool(OnHeaderInfo);
    job->Progress = bool(OnProgress);
    job->PasswordRequest = bool(OnPasswordRequest);
    job->ProxyRequest = bool(OnProxyAuthenticationRequest);
    job->Factory = Factory;

    TransferSessionOptions& session = job->Session;
    session.Agent = Agent;
    session.AccessType = Proxy.AccessType;
    if (Proxy.AccessType == THTTPAccessType::atUseProxy) {
        session.ProxyServer = Proxy.ProxyServer + u':' + QString::number(Proxy.ProxyPort);
        session.ProxyBypass = Proxy.ProxyBypass;
    }
    session.Offline = WorkOffline;

    TransferRequest& request = job->Request;
    const bool post = RequestMethod == THTTPRequestMethod::rmPOST ||
                      (RequestMethod == THTTPRequestMethod::rmAutoDetect && !POSTData.isEmpty());
    request.Method = post ? "POST" : "GET";
    if (post) {
        request.Body = POSTData.toUtf8();
        request.BodyContentType = "application/x-www-form-urlencoded";
    }
    request.Referer = Referer;
    request.Accept = AcceptTypes;
    request.NoCache = !UseCache;
    request.UseCookies = UseCookies;
    request.Cookies = Cookies;
    request.ConnectTimeout = Timeouts.ConnectTimeout;
    request.ReceiveTimeout = Timeouts.ReceiveTimeout;
    request.SendTimeout = Timeouts.SendTimeout;
    request.MinBytesPerSecond = Timeouts.MinBytesPerSecond;
    request.Headers = AddHeaders;
    if (Range.StartRange != 0 || Range.EndRange != 0) {
        QString range = QStringLiteral("RANGE: bytes=%1-").arg(Range.StartRange);
        if (Range.EndRange != 0)
            range += QString::number(Range.EndRange);
        request.Headers << range;
    }
    request.Username = Username;
    request.Password = Password;
    if (Proxy.AccessType == THTTPAccessType::atUseProxy) {
        request.ProxyUsername = Proxy.ProxyUsername;
        request.ProxyPassword = Proxy.ProxyPassword;
    }
    if (MaxTransferTime > 0)
        request.Deadline = QDeadlineTimer(MaxTransferTime, Qt::PreciseTimer);

    Job = job;
    // The worker takes the job over when it starts; the hook itself, which the thread component
    // keeps and copies, must not keep a finished or stopped job alive.
    Thread.SetOnExecute([weak = std::weak_ptr(job)](TCustomThread*) {
        const std::shared_ptr<TransferJob> running = weak.lock();
        if (!running)
            return;
        // The flag is the worker's: it is raised by Stop, and the transfer polls it.
        running->Session.AbortFlag = TCustomThread::TerminatedFlag();
        running->Run();
    });
    return Thread.Start();
}

void TCustomHTTPClient::Abort() {
    const bool running = Busy();
    // Also drops the completion of a transfer that has just returned: nothing of an aborted
    // transfer arrives after Abort.
    StopTransfer();
    if (running && OnAborted)
        OnAborted(this);
}

// The stopped worker still holds the job and lets go of it on its own thread.
void TCustomHTTPClient::StopTransfer() {
    if (Job)
        Job->Dropped = true;
    Thread.Stop();
    Job.reset();
}

void TCustomHTTPClient::RaiseAnyError() {
    if (OnAnyError)
        OnAnyError(this);
}

void TCustomHTTPClient::WaitTimeoutHandler() {
    Job.reset();
    if (OnWaitTimeoutExpired)
        OnWaitTimeoutExpired(this);
}

void TCustomHTTPClient::CompletionHandler() {
    // The job leaves the component before any event runs, so a handler may Read again.
    const std::shared_ptr<TransferJob> job = std::exchange(Job, nullptr);
    if (!job)
        return;
    LastStatusCode = job->StatusCode;
    LastRetryAfter = job->RetryAfter;
    LastFailureSeen = job->Failure;
    // The stream lives until the completion events are over, even when a handler throws.
    const auto release = qScopeGuard([&job] { job->Stream.reset(); });
    QIODevice* stream = job->Stream.get();
    if (stream)
        stream->seek(0);

    if (job->FileFailed) {
        // Whatever the server answered: the caller asked for a file and has none.
        RaiseAnyError();
        return;
    }
    if (job->ContinueDownload && job->Success) {
        if (job->StreamIsFile) {
            job->Stream.reset();  // closed; the file stays
            stream = nullptr;
        }
        if (OnDone)
            OnDone(this, job->ContentType, job->BytesTransferred, stream);
    } else if (job->ContinueDownload) {
        // A failed transfer leaves no output file, whatever its handlers do.
        const auto removeFile = qScopeGuard([&job] {
            if (!job->StreamIsFile)
                return;
            job->Stream.reset();
            QFile::remove(job->OutputFileName);
        });
        RaiseAnyError();
        if (job->StatusCode == 200) {
            if (OnConnLost)
                OnConnLost(this, job->ContentType, job->DataSize, job->BytesTransferred, stream);
        } else if (job->StatusCode == -1) {
            if (OnHostUnreachable)
                OnHostUnreachable(this);
        } else if (OnHTTPError) {
            OnHTTPError(this, job->StatusCode, stream);
        }
    }
    if (!job->ContinueDownload && OnDoneInterrupted)
        OnDoneInterrupted(this);
}

}  // namespace kestrel
