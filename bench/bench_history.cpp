// The price history: one download's ticks (20 instruments) recorded and written, the part of it
// the GUI thread pays (the queueing alone), and 30 days of one instrument's minute bars read back
// from a file holding 20 instruments' month.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QTemporaryDir>

#include "history/historystore.h"

using namespace kestrel;

namespace {

constexpr int kCodes = 20;
constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kDayMs = 24 * 60 * kMinuteMs;

QVector<HistoryTick> Download(qint64 atMs, int step) {
    QVector<HistoryTick> ticks;
    for (int c = 0; c < kCodes; ++c)
        ticks.push_back({QStringLiteral("C%1").arg(c), 1.0 + c + (step % 101) * 1e-4, atMs,
                         QStringLiteral("portal")});
    return ticks;
}

// A download every ten seconds, each written before the next comes.
void BM_RecordAndWriteDownload(benchmark::State& state) {
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    qint64 at = QDateTime::currentMSecsSinceEpoch() - 30 * kDayMs;
    int step = 0;
    for (auto _ : state) {
        store.Record(Download(at += 10000, ++step));
        store.WaitForWrites(10000);
    }
    state.SetItemsProcessed(state.iterations() * kCodes);
}
BENCHMARK(BM_RecordAndWriteDownload)->Unit(benchmark::kMicrosecond);

// What the GUI thread spends: the ticks queued, the writing left to the store's thread.
void BM_RecordOnly(benchmark::State& state) {
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    store.WaitForWrites(10000);
    qint64 at = QDateTime::currentMSecsSinceEpoch() - 30 * kDayMs;
    int step = 0;
    for (auto _ : state) {
        QVector<HistoryTick> ticks = Download(at += 10000, ++step);
        store.Record(std::move(ticks));
        if (step % 64 == 0) {
            state.PauseTiming();
            store.WaitForWrites(10000);
            state.ResumeTiming();
        }
    }
    store.WaitForWrites(10000);
}
BENCHMARK(BM_RecordOnly)->Unit(benchmark::kMicrosecond);

void BM_ReadMonthOfBars(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const qint64 start = (QDateTime::currentMSecsSinceEpoch() / kDayMs - 31) * kDayMs;
    {
        HistoryStore store(path);
        for (int day = 0; day < 30; ++day) {
            QVector<HistoryTick> ticks;
            for (qint64 m = 0; m < 24 * 60; ++m) {
                const QVector<HistoryTick> one =
                    Download(start + day * kDayMs + m * kMinuteMs, int(m));
                ticks += one;
            }
            store.Record(std::move(ticks));
            store.WaitForWrites(60000);
        }
    }
    qsizetype bars = 0;
    for (auto _ : state) {
        bars = ReadHistoryBars(path, QStringLiteral("C7"), start, start + 30 * kDayMs).size();
        benchmark::DoNotOptimize(bars);
    }
    state.counters["bars"] = double(bars);
}
BENCHMARK(BM_ReadMonthOfBars)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
