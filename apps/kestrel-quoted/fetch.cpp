#include "fetch.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QStringList>

#include "net/httpdates.h"
#include "platform/net/curltransfer.h"

namespace kestrel::gateway {

using namespace feeds;

namespace {

// The public services answer within seconds; a poll that takes longer is better tried again.
constexpr quint32 kConnectMs = 10000;
constexpr qint64 kTotalMs = 30000;
constexpr quint32 kRedirects = 3;

std::string Why(const ITransfer& transfer, const char* otherwise) {
    const QString detail = transfer.Failure().Detail;
    return detail.isEmpty() ? otherwise : detail.toStdString();
}

}  // namespace

Answer Fetch(const std::string& url, SourceKind kind, const std::string& proxy,
             const std::atomic<bool>& stopped) {
    Answer answer;
    const std::unique_ptr<ITransfer> transfer = MakeCurlTransfer();
    TransferSessionOptions session;
    session.Agent = QString::fromUtf8(kBrowserAgent);
    session.EnvironmentProxy = true;
    session.ProxyServer = QString::fromStdString(proxy);
    session.AbortFlag = &stopped;
    if (!transfer->Open(session)) {
        answer.Error = "cannot start a transfer";
        return answer;
    }
    TransferRequest request;
    request.URL = QString::fromStdString(url);
    request.UseCookies = false;
    for (const std::string& line : RequestHeaders(kind))
        request.Headers << QString::fromStdString(line);
    request.Compressed = true;
    request.MaxRedirects = kRedirects;
    request.ConnectTimeout = kConnectMs;
    request.Deadline = QDeadlineTimer(kTotalMs);
    request.MaxBodyBytes = kMaxAnswerBytes;
    if (!transfer->Send(request)) {
        answer.Error = Why(*transfer, "no answer");
        return answer;
    }
    char block[64 * 1024];
    qint64 got = 0;
    while ((got = transfer->Read(block, sizeof block)) > 0)
        answer.Body.append(block, std::size_t(got));
    if (got < 0) {
        answer.Error = Why(*transfer, "the answer broke off");
        answer.Body.clear();
        return answer;
    }
    answer.Status = transfer->StatusCode();
    if (answer.Status != 200) {
        answer.RetryAfterSeconds =
            RetryAfterSeconds(transfer->Header(TransferHeader::RawHeadersCRLF).value_or(QString()),
                              QDateTime::currentDateTimeUtc());
    }
    return answer;
}

}  // namespace kestrel::gateway
