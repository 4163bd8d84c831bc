// One refresh of the display lines two ways, side by side: from the built-in sources' cache (the
// page made from the freshest values, parsed, the lines composed) and from a rates page downloaded
// over loopback (the HTTP client's worker thread, the transfer, the same parse and lines). Both
// start from the same saved answers of the quote service and the reference rate file.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QStringEncoder>
#include <algorithm>
#include <string>
#include <thread>

#include "feeds/cache.h"
#include "net/httpclient.h"
#include "platform/net/curltransfer.h"
#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "text/encodings.h"

namespace {

using namespace kestrel;

std::string ReadData(const char* name) {
    QFile file(QStringLiteral(KESTREL_TEST_DATA "/feeds/") + QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The cache as the ticker holds it after one answer of each source.
feeds::FeedCache& FilledCache() {
    static feeds::FeedCache cache = [] {
        feeds::FeedCache c({{feeds::SourceKind::Portal, "http://127.0.0.1/list=", 5},
                            {feeds::SourceKind::Ecb, "http://127.0.0.1/ecb.xml", 300}},
                           600, 300);
        QStringEncoder gb18030("GB18030");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        c.Record(0,
                 {200,
                  QByteArray(gb18030(QString::fromStdString(ReadData("portal.txt")))).toStdString(),
                  {}},
                 now);
        c.Record(1, {200, ReadData("ecb.xml"), {}}, now);
        return c;
    }();
    return cache;
}

struct Server {
    Server() {
        page = ToCp936(*FilledCache().Page(QDateTime::currentMSecsSinceEpoch())).toStdString();
        http.Get("/rates/index.aspx", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html; charset=gb2312");
        });
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        url = "http://127.0.0.1:" + std::to_string(port) + "/rates/index.aspx";
    }
    ~Server() {
        http.stop();
        thread.join();
    }
    std::string page;
    httplib::Server http;
    std::thread thread;
    int port = 0;
    std::string url;
};

double Quickest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

// The lines of the default selection from a page, as the window composes them.
bool ComposeLines(RatesPage& page, QuoteSlots& quoteSlots) {
    const QuoteLines lines =
        BuildQuoteLines(page, DefaultSelection(), quoteSlots, true, QTime::currentTime());
    return lines.Good && lines.Lines.size() == DefaultSelection().size() + 1;
}

void BM_RefreshFromBuiltinCache(benchmark::State& state) {
    feeds::FeedCache& cache = FilledCache();
    RatesPage page;
    QuoteSlots quoteSlots;
    for (auto _ : state) {
        const std::optional<QString> text = cache.Page(QDateTime::currentMSecsSinceEpoch());
        if (!text) {
            state.SkipWithError("no page from the cache");
            break;
        }
        page.SetBody(text->toUtf8(), QStringLiteral("text/html; charset=utf-8"));
        if (!ComposeLines(page, quoteSlots))
            state.SkipWithError("bad lines");
    }
}
BENCHMARK(BM_RefreshFromBuiltinCache)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Quickest);

void BM_RefreshFromLoopbackPage(benchmark::State& state) {
    static Server server;
    THTTPClient client;
    client.URL = QString::fromStdString(server.url);
    client.UseCache = false;
    client.Proxy.AccessType = THTTPAccessType::atDirect;
    client.SetWaitThread(true);
    RatesPage page;
    QuoteSlots quoteSlots;
    bool done = false;
    client.OnDone = [&](TCustomHTTPClient*, const QString& type, qint64, QIODevice* stream) {
        page.SetBody(stream->readAll(), type);
        done = true;
    };
    for (auto _ : state) {
        done = false;
        client.Read();
        if (!done || !ComposeLines(page, quoteSlots))
            state.SkipWithError("download failed");
    }
}
BENCHMARK(BM_RefreshFromLoopbackPage)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Quickest);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    SetDefaultTransferFactory(&MakeCurlTransfer);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
