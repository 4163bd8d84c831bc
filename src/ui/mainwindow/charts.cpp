// The chart windows the ticker opens, and the sparklines it reads for its quote lines.
#include <QApplication>
#include <QPainter>
#include <QThreadPool>
#include <algorithm>

#include "quotes/catalogue.h"
#include "settings/settingsload.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/windowsizes.h"

namespace kestrel {

namespace {

// The history keeps a bar a minute.
constexpr qint64 kMinuteMs = 60'000;

}  // namespace

QString TMainForm::ChartName(const QString& given) const {
    return InstrumentNamed(given, QuoteLook.Aliases);
}

TChartForm* TMainForm::OpenChart(const QString& name) {
    if (TChartForm* open = Charts.value(name)) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return open;
    }
    // A window of its own, with its own taskbar button: it stays when the ticker hides.
    auto* chart = new TChartForm(name, HistoryReads, Files.IniPath);
    chart->SetPreviousClose(static_cast<double>(Page.PreviousCloseFor(name)));
    chart->SetColorMode(ColorMode);
    chart->RestorePlace(this);
    Charts.insert(name, chart);
    connect(chart, &QObject::destroyed, this, [this, name](QObject* gone) {
        const auto it = Charts.find(name);
        if (it != Charts.end() && (it->isNull() || static_cast<QObject*>(it->data()) == gone))
            Charts.erase(it);
    });
    chart->show();
    chart->ShowSpan(ChartSpan::Today);
    return chart;
}

void TMainForm::FillChartMenu() {
    mnChart->clear();
    for (const QString& name : SelectedInstruments) {
        const QString label = QuoteLook.Aliases.value(name, ShownInstrumentName(name));
        mnChart->addAction(label, this, [this, name] { OpenChart(name); });
    }
}

void TMainForm::ReloadCharts() {
    for (TChartForm* chart : std::as_const(Charts)) {
        if (chart) {
            chart->SetPreviousClose(static_cast<double>(Page.PreviousCloseFor(chart->Name())));
            chart->Reload();
        }
    }
}

QString TMainForm::InstrumentAt(const QPoint& point) const {
    const int lineHeight = LineHeight();
    if (lineHeight <= 0 || point.y() < 0)
        return {};
    // The lines as drawn: the time line first when it is shown.
    const int row = point.y() / lineHeight - (DisplayTime || Page.Demo() ? 1 : 0);
    if (row < 0 || row >= SelectedInstruments.size() || !Quotes.CurQuotes.value(row))
        return {};
    return SelectedInstruments.at(row);
}

void TMainForm::ReadSparklines() {
    const ChartSources sources = HistoryReads;
    if (!ShowSparkline || !sources.Bars)
        return;
    const qint64 to = QDateTime::currentMSecsSinceEpoch();
    const qint64 from = to - kSparklineHours * 60 * kMinuteMs;
    const quint64 read = ++sparklineReads_;
    QThreadPool::globalInstance()->start([sources, names = SelectedInstruments, from, to, read,
                                          window = QPointer<TMainForm>(this)] {
        QHash<QString, QVector<HistoryBar>> bars;
        for (const QString& name : names) {
            const QString code = InstrumentCode(name);
            if (code.isEmpty())
                continue;
            QVector<HistoryBar> closes = sources.Bars(code, from, to);
            std::sort(closes.begin(), closes.end(), [](const HistoryBar& a, const HistoryBar& b) {
                return a.minuteMs < b.minuteMs;
            });
            bars.insert(name, std::move(closes));
        }
        QMetaObject::invokeMethod(
            qApp,
            [window, read, bars = std::move(bars)] {
                // A later read, or sparklines switched off meanwhile, win.
                if (!window || read != window->sparklineReads_ || !window->ShowSparkline)
                    return;
                window->Sparklines = bars;
                if (!window->Quotes.CurQuotes.isEmpty()) {
                    window->RenderColouredLines();
                    window->ShowCanvas();
                }
            },
            Qt::QueuedConnection);
    });
}

void TMainForm::DrawSparkline(QPainter& painter, const QRect& box, const QString& name,
                              const QColor& colour) const {
    const QVector<HistoryBar> bars = Sparklines.value(name);
    if (bars.size() < 2 || box.width() < 2 || box.height() < 2)
        return;
    const auto [low, high] = std::minmax_element(
        bars.cbegin(), bars.cend(),
        [](const HistoryBar& a, const HistoryBar& b) { return a.close < b.close; });
    const double range = high->close - low->close;
    const qint64 to = bars.last().minuteMs;
    const qint64 span = kSparklineHours * 60 * kMinuteMs;
    QPolygonF points;
    for (const HistoryBar& bar : bars) {
        const double x = box.right() - static_cast<double>(to - bar.minuteMs) * box.width() / span;
        if (x < box.left())
            continue;
        // A flat curve lies in the middle of its box.
        const double y = range > 0 ? box.bottom() - (bar.close - low->close) * box.height() / range
                                   : box.center().y();
        points << QPointF(x, y);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 1));
    painter.drawPolyline(points);
    painter.restore();
}

}  // namespace kestrel
