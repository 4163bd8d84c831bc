// The alarm rules after a download: 1,000 rules of every kind over the catalogue's instruments,
// checked against one download's prices, which walk a little each time as they do on a busy
// market. The watched rules rearm, so they stay in play for the whole run.
#include <benchmark/benchmark.h>

#include <QStringList>

#include "alarm/alarmevaluator.h"
#include "quotes/catalogue.h"

using namespace kestrel;

namespace {

constexpr int kRules = 1000;
const char* const kKinds[] = {"cross", "above", "below", "change_pct", "move_pct"};

QList<AlarmRule> MakeRules(const QStringList& names) {
    QList<AlarmRule> rules;
    for (int i = 0; i < kRules; ++i) {
        const QString kind = QLatin1String(kKinds[i % 5]);
        QString value;
        if (kind == u"change_pct")
            value = QStringLiteral("0.5");
        else if (kind == u"move_pct")
            value = QStringLiteral("0.2@15");
        else
            value = QString::number(1.0 + (i % 37) / 1000.0, 'f', 4);
        const QString line =
            QStringLiteral("1;%1;%2;%3;rearm").arg(names[i % names.size()], kind, value);
        rules.append(ParseAlarmLine(QStringLiteral("Alarm%1").arg(i + 1), line));
    }
    return rules;
}

void BM_Check1000Rules(benchmark::State& state) {
    const QStringList& names = InstrumentCatalogue();
    QDateTime now(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);
    AlarmEvaluator evaluator([&now] { return now; });
    evaluator.SetRules(MakeRules(names));
    QList<AlarmTick> ticks;
    for (const QString& name : names)
        ticks.append({name, 1.0, now, 1.01, false});

    qint64 fired = 0;
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        now = now.addSecs(5);
        ++step;
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            ticks[i].Price = 1.0 + 0.02 * ((step + i) % 7) / 7;
            ticks[i].QuoteTime = now;
        }
        state.ResumeTiming();
        fired += evaluator.Check(ticks).Fired.size();
    }
    state.counters["instruments"] = static_cast<double>(names.size());
    state.counters["fired/check"] =
        benchmark::Counter(static_cast<double>(fired), benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_Check1000Rules)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
