// The price history of the window: the store is opened once the window is on the screen, and
// after each good download it is handed the fresh, live values of the instruments shown or
// watched by an alarm.
#include <QUrl>
#include <cmath>
#include <map>

#include "feeds/cache.h"
#include "quotes/catalogue.h"
#include "quotes/markethours.h"
#include "ui/mainwindow/mainform.h"

namespace kestrel {

namespace {

// A source's clock may run a little ahead of ours; beyond this a quote's time is not believed.
constexpr qint64 kAheadMs = 5 * 60 * 1000;

}  // namespace

void TMainForm::OpenHistory() {
    if (History || Files.HistoryPath.isEmpty())
        return;
    History = std::make_unique<HistoryStore>(Files.HistoryPath, HistoryDays);
    History->OnStateChanged = [this] { ShowTrayNews(trayNews_); };
    // The charts and the sparklines read the file by its path, on threads of their own: a read
    // still under way when the window goes needs nothing of the store.
    if (HistoryDays > 0) {
        HistoryReads.Bars = [path = Files.HistoryPath](const QString& code, qint64 fromMs,
                                                       qint64 toMs) {
            return ReadHistoryBars(path, code, fromMs, toMs);
        };
        HistoryReads.Days = [path = Files.HistoryPath](const QString& code, QDate from, QDate to) {
            return ReadHistoryDays(path, code, from, to);
        };
    }
}

void TMainForm::RecordHistory(const QDateTime& now) {
    if (!History || Page.Demo() || History->CurrentState() == HistoryStore::State::Off)
        return;
    QStringList names = SelectedInstruments;
    if (Alarm.UseMonitor && !Alarm.MonitorCcy.isEmpty())
        names << Alarm.MonitorCcy;
    for (const AlarmRule& rule : Rules.Rules()) {
        if (rule.Readable && rule.Enabled)
            names << rule.Name;
    }
    names.removeDuplicates();

    feeds::ServedMap served;
    if (UseBuiltin) {
        for (feeds::Served& s : Builtin.Quotes())
            served.emplace(s.Name, std::move(s));
    }
    const QString host = QUrl(QuoteHTTP.URL).host();
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QVector<HistoryTick> ticks;
    for (const QString& name : names) {
        const QString code = InstrumentCode(name);
        const double price = double(Page.QuoteFor(name));
        // A withheld or missing value is not in the page; a closed market's is its last one.
        if (code.isEmpty() || !(price > 0) || !std::isfinite(price) ||
            MarketStatusOf(name, now).State != MarketState::Open)
            continue;
        HistoryTick tick{code, price, 0, host};
        qint64 oldestMs = 0;
        if (UseBuiltin) {
            // A computed value changes with its newest leg, and is as fresh as its oldest.
            QStringList legs{name};
            if (!served.contains(name))
                legs = MarketLegs(name);
            bool live = !legs.isEmpty();
            for (const QString& leg : legs) {
                const auto it = served.find(leg);
                if (it == served.end() || !it->second.Value.Time.isValid() ||
                    it->second.Value.Reference) {
                    live = false;
                    break;
                }
                const qint64 at = it->second.Value.Time.toMSecsSinceEpoch();
                tick.quoteMs = std::max(tick.quoteMs, at);
                oldestMs = oldestMs == 0 ? at : std::min(oldestMs, at);
            }
            if (!live)
                continue;
            tick.source = feeds::SourceOf(name, served);
        } else {
            const QDateTime quoted = Page.QuoteTimeFor(name);
            if (!quoted.isValid())
                continue;
            tick.quoteMs = oldestMs = quoted.toMSecsSinceEpoch();
        }
        // Not moving for two minutes is stale; a time far ahead of the clock is wrong.
        if (nowMs - oldestMs > kQuietQuoteSeconds * 1000 || tick.quoteMs - nowMs > kAheadMs)
            continue;
        ticks.push_back(std::move(tick));
    }
    if (!ticks.isEmpty())
        History->Record(std::move(ticks));
}

}  // namespace kestrel
