// How long Abort, the Read after it and freeing the HTTP client take while the transfer hangs in
// a name lookup or in the system proxy lookup (both made slow by the slow-resolver shim linked
// in). Prints the slowest of two rounds of each, in milliseconds.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

#include "net/httpclient.h"
#include "platform/net/curltransfer.h"

namespace {

double Ms(const std::function<void()>& call) {
    QElapsedTimer t;
    t.start();
    call();
    return double(t.nsecsElapsed()) / 1e6;
}

void Measure(const char* what, kestrel::THTTPAccessType access, const QString& url) {
    double abort = 0, read = 0, destroy = 0;
    for (int round = 0; round < 2; ++round) {
        auto http = std::make_unique<kestrel::THTTPClient>();
        http->Proxy.AccessType = access;
        http->URL = url;
        http->Read();
        QThread::msleep(200);
        abort = std::max(abort, Ms([&] { http->Abort(); }));
        read = std::max(read, Ms([&] { http->Read(); }));
        QThread::msleep(200);
        destroy = std::max(destroy, Ms([&] { http.reset(); }));
    }
    std::printf("%-18s Abort %6.2f ms  Read %6.2f ms  destroy %6.2f ms\n", what, abort, read,
                destroy);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    kestrel::SetDefaultTransferFactory(&kestrel::MakeCurlTransfer);
    qputenv("KESTREL_SLOW_RESOLVE_MS", "10000");
    Measure("slow name lookup", kestrel::THTTPAccessType::atDirect,
            QStringLiteral("http://rates.slow.test:9/rates/index.aspx"));
    qputenv("http_proxy", "pac+http://pac.slow.test/proxy.pac");
    Measure("slow proxy lookup", kestrel::THTTPAccessType::atPreconfig,
            QStringLiteral("http://127.0.0.1:9/rates/index.aspx"));
    return 0;
}
