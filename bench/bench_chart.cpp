// The chart window over a month of minute bars (43,200) of one instrument: opened, read from the
// history file off the GUI thread and drawn; and the drawing alone, as a resize or a cross-hair
// move redraws it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>

#include "history/historystore.h"
#include "ui/chart/chartform.h"

using namespace kestrel;

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;
constexpr int kMonthMinutes = 30 * 24 * 60;

QTemporaryDir* folder = nullptr;
QString historyPath;
qint64 nowMs = 0;

double PriceAt(int minute) {
    return 1.08 + 0.004 * std::sin(minute / 300.0) + 0.0002 * std::sin(minute / 7.0);
}

// A file with a bar for every minute of the month before now.
void WriteMonth() {
    HistoryStore store(historyPath);
    QVector<HistoryTick> ticks;
    for (int m = 0; m < kMonthMinutes; ++m) {
        ticks.push_back({QStringLiteral("EURUSD"), PriceAt(m),
                         nowMs - (kMonthMinutes - m) * kMinuteMs, QStringLiteral("portal")});
        if (ticks.size() == 1440) {
            store.Record(std::exchange(ticks, {}));
            store.WaitForWrites(60000);
        }
    }
    store.Record(ticks);
    store.WaitForWrites(60000);
}

ChartSources FromFile() {
    ChartSources sources;
    sources.Bars = [](const QString& code, qint64 from, qint64 to) {
        return ReadHistoryBars(historyPath, code, from, to);
    };
    sources.Days = [](const QString& code, QDate from, QDate to) {
        return ReadHistoryDays(historyPath, code, from, to);
    };
    return sources;
}

// From the window's making to its first picture of the month.
void BM_OpenMonthChart(benchmark::State& state) {
    const QString ini = folder->filePath(QStringLiteral("kestrel.ini"));
    qsizetype bars = 0;
    for (auto _ : state) {
        TChartForm form(QStringLiteral("欧元美元"), FromFile(), ini);
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        form.Now = [] { return QDateTime::fromMSecsSinceEpoch(nowMs, Qt::UTC); };
        form.RestorePlace();
        form.show();
        QSignalSpy loaded(&form, &TChartForm::Loaded);
        form.ShowSpan(ChartSpan::Month);
        if (!loaded.wait(10000))
            state.SkipWithError("the month was not read");
        form.View()->repaint();
        bars = form.View()->Bars().size();
    }
    state.counters["bars"] = static_cast<double>(bars);
}
BENCHMARK(BM_OpenMonthChart)->Unit(benchmark::kMillisecond);

// One redraw of the month.
void BM_DrawMonth(benchmark::State& state) {
    const QVector<HistoryBar> bars =
        ReadHistoryBars(historyPath, QStringLiteral("EURUSD"), 0, nowMs);
    TChartView view;
    view.resize(720, 380);
    view.SetData(bars, 1.08, {nowMs - kMonthMinutes * kMinuteMs, nowMs}, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(view.Picture());
    state.counters["bars"] = static_cast<double>(bars.size());
}
BENCHMARK(BM_DrawMonth)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    folder = &dir;
    historyPath = dir.filePath(QStringLiteral("history.sqlite"));
    nowMs = QDateTime::currentMSecsSinceEpoch() / kMinuteMs * kMinuteMs;
    WriteMonth();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
