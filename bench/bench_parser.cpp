// The cost of one refresh's parsing and composing (every catalogue instrument looked up and
// formatted) beside the least any reader of the page must do: one pass over it for the title
// attributes.
#include <benchmark/benchmark.h>

#include <QStringList>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "text/encodings.h"

using namespace kestrel;

namespace {

void AppendRow(QStringList& lines, const QString& name, int n) {
    lines.append(
        QStringLiteral("<tr><td><a href=\"/chart/%1\" title=\"%2\">%2</a></td>").arg(n).arg(name));
    const QString price = QString::number(1.0 + n % 997 / 1000.0, 'f', 4);
    // Bid, ask, high, low, change, percent and time, as the built-in source writes them.
    for (const QString& cell :
         {price, QStringLiteral("--"), price, price, QStringLiteral("+0.0012"),
          QStringLiteral("+0.10%"), QStringLiteral("2026-12-09 20:15:03")})
        lines.append(QStringLiteral("<td>%1</td>").arg(cell));
    lines.append(QStringLiteral("</tr>"));
}

// A rates page of header, marker, filler rows around the catalogue's page instruments, until
// the page holds `lines` lines or `bytes` bytes of code page 936.
QStringList MakePage(int lineCount, qsizetype byteCount) {
    QStringList lines{QStringLiteral("<html>"),
                      QStringLiteral("<head>"),
                      QStringLiteral("<title>外汇牌价</title>"),
                      QStringLiteral("</head>"),
                      QStringLiteral("<body><table>"),
                      QStringLiteral("<tr><th>货币走势图</th></tr>")};
    qsizetype bytes = 0;
    int n = 0;
    const auto full = [&] { return lines.size() >= lineCount || bytes >= byteCount; };
    const auto filler = [&] {
        const qsizetype before = lines.size();
        AppendRow(lines, QStringLiteral("其他品种%1").arg(n), n);
        ++n;
        for (qsizetype i = before; i < lines.size(); ++i)
            bytes += Cp936Length(lines[i]) + 2;
    };
    // Half the filler before the instruments, half after.
    while (!full() && bytes < byteCount / 2 && lines.size() < lineCount / 2)
        filler();
    for (const QString& name : InstrumentCatalogue()) {
        if (!IsDerivedInstrument(name))
            AppendRow(lines, name, 0);
    }
    while (!full())
        filler();
    lines.append(QStringLiteral("</table></body></html>"));
    return lines;
}

const QStringList& PageOfLines() {
    static const QStringList page = MakePage(3000, 1 << 30);
    return page;
}

const QStringList& PageOfBytes() {
    static const QStringList page = MakePage(1 << 30, 1 << 20);
    return page;
}

// A hostile page of 10 MB: the instruments' rows after a million title attributes on one line.
const QStringList& PageOfCrowdedLine() {
    static const QStringList page = [] {
        QStringList lines = MakePage(0, 0);
        lines.insert(6, QStringLiteral("title=\"ab\"").repeated(1000000));
        return lines;
    }();
    return page;
}

// With `options`, each line also shows the change since the previous close.
void Refresh(benchmark::State& state, const QStringList& lines, const LineOptions& options = {}) {
    RatesPage page;
    for (auto _ : state) {
        // A download's lines belong to the page alone, as SplitLines hands them over.
        state.PauseTiming();
        QStringList fresh = lines;
        fresh.detach();
        state.ResumeTiming();
        page.SetLines(std::move(fresh));
        benchmark::DoNotOptimize(page.TrimPageToMarker());
        for (const QString& name : InstrumentCatalogue()) {
            const long double value = page.QuoteFor(name);
            if (options.ShowChange) {
                const long double close = page.PreviousCloseFor(name);
                benchmark::DoNotOptimize(
                    FormatQuoteLine(name, value, close, ChooseQuoteColour(value, close), options));
            } else {
                benchmark::DoNotOptimize(FormatQuoteLine(name, value));
            }
        }
    }
    state.counters["lines"] = static_cast<double>(lines.size());
}

void TitleScan(benchmark::State& state, const QStringList& lines) {
    const QStringView prefix = u"title=\"";
    for (auto _ : state) {
        qsizetype found = 0;
        for (const QString& line : lines) {
            for (qsizetype at = line.indexOf(prefix); at >= 0;
                 at = line.indexOf(prefix, at + prefix.size())) {
                ++found;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

void BM_Refresh3000Lines(benchmark::State& state) {
    Refresh(state, PageOfLines());
}
void BM_Refresh3000LinesWithChange(benchmark::State& state) {
    Refresh(state, PageOfLines(), LineOptions{true, true});
}
void BM_TitleScan3000Lines(benchmark::State& state) {
    TitleScan(state, PageOfLines());
}
void BM_Refresh1MB(benchmark::State& state) {
    Refresh(state, PageOfBytes());
}
void BM_Refresh1MBWithChange(benchmark::State& state) {
    Refresh(state, PageOfBytes(), LineOptions{true, true});
}
void BM_TitleScan1MB(benchmark::State& state) {
    TitleScan(state, PageOfBytes());
}

void BM_RefreshCrowded10MB(benchmark::State& state) {
    Refresh(state, PageOfCrowdedLine());
}
void BM_TitleScanCrowded10MB(benchmark::State& state) {
    TitleScan(state, PageOfCrowdedLine());
}

}  // namespace

BENCHMARK(BM_Refresh3000Lines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Refresh3000LinesWithChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TitleScan3000Lines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Refresh1MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Refresh1MBWithChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TitleScan1MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshCrowded10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleScanCrowded10MB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
