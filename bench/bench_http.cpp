// A 200 KB page over loopback: through the HTTP client (worker thread, synchronised events,
// block reads), through the transfer alone on the calling thread, and with libcurl's easy
// interface alone, the floor. The middle one tells the transfer's cost from the hand-offs'.
// A 3.9 MB file through the client, with and without progress events.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <QCoreApplication>
#include <algorithm>
#include <string>
#include <thread>

#include "net/httpclient.h"
#include "platform/net/curltransfer.h"

namespace {

constexpr size_t kPageSize = 200 * 1024;
// An information file of the size that once took seconds to fetch over loopback.
constexpr size_t kLargeSize = 3900 * 1024;

struct Server {
    Server() {
        http.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kPageSize, 'q'), "text/html");
        });
        http.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kLargeSize, 'q'), "text/plain");
        });
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        url = "http://127.0.0.1:" + std::to_string(port) + "/page";
    }
    ~Server() {
        http.stop();
        thread.join();
    }
    httplib::Server http;
    std::thread thread;
    int port = 0;
    std::string url;
};

// The machine is shared, so a run with --benchmark_repetitions also reports the quickest of its
// repetitions, the one least disturbed by other work.
double Quickest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

Server& TheServer() {
    static Server server;
    return server;
}

void BM_HttpClient(benchmark::State& state) {
    kestrel::THTTPClient client;
    client.URL = QString::fromStdString(TheServer().url);
    client.UseCache = false;
    client.SetWaitThread(true);
    qint64 received = 0;
    client.OnDone = [&](kestrel::TCustomHTTPClient*, const QString&, qint64 size, QIODevice*) {
        received = size;
    };
    for (auto _ : state) {
        received = 0;
        client.Read();
        if (received != qint64(kPageSize))
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(state.iterations() * qint64(kPageSize));
}
BENCHMARK(BM_HttpClient)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Quickest);

// The large file through the client, without a progress handler (first arg 0) or with one, in
// blocks of the second arg's size: what handing every block over to the GUI thread costs.
void BM_HttpClientLarge(benchmark::State& state) {
    kestrel::THTTPClient client;
    client.URL = QString::fromStdString(TheServer().url)
                     .replace(QStringLiteral("/page"), QStringLiteral("/large"));
    client.UseCache = false;
    client.SetWaitThread(true);
    client.SetWaitTimeout(60000);
    client.SetTransferBufferSize(int(state.range(1)));
    qint64 received = 0, reports = 0;
    client.OnDone = [&](kestrel::TCustomHTTPClient*, const QString&, qint64 size, QIODevice*) {
        received = size;
    };
    if (state.range(0))
        client.OnProgress = [&](kestrel::TCustomHTTPClient*, const QString&, qint64, qint64, qint64,
                                qint64, quint8, float, QIODevice*) { ++reports; };
    for (auto _ : state) {
        received = 0;
        client.Read();
        if (received != qint64(kLargeSize))
            state.SkipWithError("download failed");
    }
    state.counters["reports"] = double(reports) / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * qint64(kLargeSize));
}
BENCHMARK(BM_HttpClientLarge)
    ->Args({0, 4096})
    ->Args({1, 4096})
    ->Args({1, 64 * 1024})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Quickest);

void BM_CurlTransfer(benchmark::State& state) {
    const QString url = QString::fromStdString(TheServer().url);
    QByteArray block(4096, Qt::Uninitialized);
    for (auto _ : state) {
        const std::unique_ptr<kestrel::ITransfer> transfer = kestrel::MakeCurlTransfer();
        kestrel::TransferRequest request;
        request.URL = url;
        request.NoCache = true;
        qint64 received = 0, n = 0;
        if (transfer->Open({}) && transfer->Send(request))
            while ((n = transfer->Read(block.data(), block.size())) > 0)
                received += n;
        if (received != qint64(kPageSize))
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(state.iterations() * qint64(kPageSize));
}
BENCHMARK(BM_CurlTransfer)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Quickest);

// A job that does nothing, waited for: what the worker thread and its completion cost a download.
void BM_EmptyJob(benchmark::State& state) {
    kestrel::TCustomThread thread;
    thread.WaitThread = true;
    int finished = 0;
    thread.SetOnExecute([](kestrel::TCustomThread*) {});
    thread.SetOnFinish([&finished](kestrel::TCustomThread*) { ++finished; });
    for (auto _ : state)
        thread.Start();
    if (finished != state.iterations())
        state.SkipWithError("completion missing");
}
BENCHMARK(BM_EmptyJob)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Quickest);

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

void BM_CurlEasyFloor(benchmark::State& state) {
    const std::string& url = TheServer().url;
    std::string body;
    for (auto _ : state) {
        body.clear();
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        if (curl_easy_perform(easy) != CURLE_OK || body.size() != kPageSize)
            state.SkipWithError("download failed");
        curl_easy_cleanup(easy);
    }
    state.SetBytesProcessed(state.iterations() * qint64(kPageSize));
}
BENCHMARK(BM_CurlEasyFloor)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Quickest);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    kestrel::SetDefaultTransferFactory(&kestrel::MakeCurlTransfer);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
