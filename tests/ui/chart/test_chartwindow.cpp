// The chart window on the offscreen platform: which bars a span shows, where the previous close
// and the cross-hair fall, zoom by a drag, and what the exports write.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <ctime>

#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "ui/chart/chartform.h"

using namespace kestrel;

namespace {

constexpr qint64 kMinute = 60'000;

// 2026-03-10 12:00 in Shanghai (UTC+8, no daylight saving): 04:00 UTC, the same day.
QDateTime TestNow() {
    return QDateTime(QDate(2026, 3, 10), QTime(4, 0), Qt::UTC);
}

HistoryBar Bar(qint64 minuteMs, double close, const QString& source = QStringLiteral("portal")) {
    return {minuteMs, close, close + 0.001, close - 0.001, close, minuteMs + 30'000, source};
}

// One bar every `step` minutes over the 40 days before now, closes rising from 1.
QVector<HistoryBar> Bars(int stepMinutes) {
    QVector<HistoryBar> bars;
    const qint64 now = TestNow().toMSecsSinceEpoch();
    for (qint64 t = now - 40 * 1440 * kMinute; t < now; t += stepMinutes * kMinute)
        bars.append(Bar(t, 1 + static_cast<double>(bars.size()) / 100000));
    return bars;
}

}  // namespace

class TestChartWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void spanChoosesItsBars_data();
    void spanChoosesItsBars();
    void previousClose_data();
    void previousClose();
    void crossHairShowsTheNearestBar_data();
    void crossHairShowsTheNearestBar();
    void dragZooms();
    void pricesThatBarelyMove();
    void exports();
    void placeIsKept();

private:
    // A window over the bars, shown and loaded with the span.
    std::unique_ptr<TChartForm> Open(QVector<HistoryBar> bars, ChartSpan span, double pageClose = 0,
                                     QVector<HistoryDay> days = {});
    QTemporaryDir dir_;
    QString ini_;
};

void TestChartWindow::initTestCase() {
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    QVERIFY(dir_.isValid());
    ini_ = dir_.filePath(QStringLiteral("kestrel.ini"));
}

std::unique_ptr<TChartForm> TestChartWindow::Open(QVector<HistoryBar> bars, ChartSpan span,
                                                  double pageClose, QVector<HistoryDay> days) {
    ChartSources sources;
    // A store that answers more than was asked must not widen the chart.
    sources.Bars = [bars](const QString& code, qint64, qint64) {
        return code == QLatin1String("EURUSD") ? bars : QVector<HistoryBar>();
    };
    sources.Days = [days](const QString&, QDate, QDate) { return days; };
    auto form = std::make_unique<TChartForm>(QStringLiteral("欧元美元"), sources, ini_);
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->Now = TestNow;
    form->SetPreviousClose(pageClose);
    form->resize(800, 500);
    form->show();
    QSignalSpy loaded(form.get(), &TChartForm::Loaded);
    form->ShowSpan(span);
    if (!loaded.wait(5000))
        return nullptr;
    return form;
}

void TestChartWindow::spanChoosesItsBars_data() {
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("count");
    QTest::addColumn<QDateTime>("first");
    const QDateTime now = TestNow();
    // Bars every 10 minutes up to 03:50 UTC.
    QTest::newRow("hour") << int(ChartSpan::Hour) << 6 << now.addSecs(-3600);
    // Today began at 00:00 in Shanghai, 16:00 UTC the day before: 12 hours of bars.
    QTest::newRow("today") << int(ChartSpan::Today) << 72
                           << QDateTime(QDate(2026, 3, 9), QTime(16, 0), Qt::UTC);
    QTest::newRow("five days") << int(ChartSpan::FiveDays) << 5 * 144 << now.addDays(-5);
    QTest::newRow("month") << int(ChartSpan::Month) << 30 * 144 << now.addDays(-30);
}

void TestChartWindow::spanChoosesItsBars() {
    QFETCH(int, span);
    QFETCH(int, count);
    QFETCH(QDateTime, first);
    const auto form = Open(Bars(10), static_cast<ChartSpan>(span));
    QVERIFY(form);
    const QVector<HistoryBar>& shown = form->View()->Bars();
    QCOMPARE(shown.size(), count);
    QCOMPARE(shown.first().minuteMs, first.toMSecsSinceEpoch());
    QCOMPARE(shown.last().minuteMs, TestNow().toMSecsSinceEpoch() - 10 * kMinute);
    QCOMPARE(form->windowTitle(), QStringLiteral("走势图 - 欧元美元"));
}

void TestChartWindow::previousClose_data() {
    QTest::addColumn<double>("pageClose");
    QTest::addColumn<QVector<HistoryDay>>("days");
    QTest::addColumn<double>("expected");
    const QVector<HistoryDay> days{{QDate(2026, 3, 6), 1.2, 0, {}},
                                   {QDate(2026, 3, 9), 1.5, 0, {}},
                                   {QDate(2026, 3, 10), 1.9, 0, {}}};
    QTest::newRow("the page's") << 1.25 << days << 1.25;
    // Today's own close is no previous close.
    QTest::newRow("the store's day before") << 0.0 << days << 1.5;
    QTest::newRow("none") << 0.0 << QVector<HistoryDay>() << 0.0;
}

void TestChartWindow::previousClose() {
    QFETCH(double, pageClose);
    QFETCH(QVector<HistoryDay>, days);
    QFETCH(double, expected);
    // Closes from 1.0 to 2.0 over the hour.
    QVector<HistoryBar> bars;
    const qint64 start = TestNow().toMSecsSinceEpoch() - 60 * kMinute;
    for (int i = 0; i <= 50; ++i)
        bars.append(Bar(start + i * kMinute, 1.0 + i / 50.0));
    const auto form = Open(bars, ChartSpan::Hour, pageClose, days);
    QVERIFY(form);
    TChartView* view = form->View();
    QCOMPARE(view->PreviousClose(), expected);
    const QRect plot = view->PlotRect();
    if (expected == 0) {
        // The scale is the bars' alone, padded the same at both ends.
        QVERIFY(qAbs((view->YOf(1.0) - plot.bottom()) - (plot.top() - view->YOf(2.0))) < 1.5);
        return;
    }
    const double y = view->YOf(expected);
    QVERIFY(y > plot.top() && y < plot.bottom());
    QVERIFY(qAbs(y - (view->YOf(1.0) + (view->YOf(2.0) - view->YOf(1.0)) * (expected - 1.0))) <
            0.5);
    // The dashed line: grey dashes along that row, broken by white.
    const QImage picture = view->Picture();
    int grey = 0, white = 0;
    for (int x = plot.left() + 200; x < plot.right() - 100; ++x) {
        const QColor c = picture.pixelColor(x, qRound(y - 0.5));
        grey += c == QColor(120, 120, 120);
        white += c == QColor(Qt::white);
    }
    QVERIFY2(grey > 20 && white > 20, qPrintable(QStringLiteral("%1 %2").arg(grey).arg(white)));
}

void TestChartWindow::crossHairShowsTheNearestBar_data() {
    QTest::addColumn<qint64>("pointerMs");
    QTest::addColumn<qint64>("barMs");  // relative to the hour's start; -1: none
    QTest::newRow("on a bar") << 20 * kMinute << 20 * kMinute;
    QTest::newRow("nearer the earlier") << 20 * kMinute + 50'000 << 20 * kMinute;
    QTest::newRow("nearer the later") << 22 * kMinute + 100'000 << 25 * kMinute;
    QTest::newRow("after the last") << 55 * kMinute << 40 * kMinute;
    QTest::newRow("before the first") << 2 * kMinute << 10 * kMinute;
}

void TestChartWindow::crossHairShowsTheNearestBar() {
    QFETCH(qint64, pointerMs);
    QFETCH(qint64, barMs);
    const qint64 start = TestNow().toMSecsSinceEpoch() - 60 * kMinute;
    // Bars at minutes 10, 20, 25, 40 of the hour, with a gap between them.
    QVector<HistoryBar> bars;
    for (const int m : {10, 20, 25, 40})
        bars.append(Bar(start + m * kMinute, 1.1 + m / 1000.0));
    const auto form = Open(bars, ChartSpan::Hour);
    QVERIFY(form);
    TChartView* view = form->View();
    const QRect plot = view->PlotRect();
    const QPoint pointer(qRound(view->XOf(start + pointerMs)), plot.center().y());
    const std::optional<ChartPoint> point = view->PointAt(pointer);
    QVERIFY(point);
    QCOMPARE(point->Ms, start + barMs);
    QCOMPARE(point->Price, 1.1 + (barMs / kMinute) / 1000.0);
    QVERIFY(!view->PointAt(plot.topLeft() - QPoint(2, 2)));
}

void TestChartWindow::dragZooms() {
    const auto form = Open(Bars(1), ChartSpan::Today);
    QVERIFY(form);
    TChartView* view = form->View();
    const TimeSpan whole = view->View();
    const QRect plot = view->PlotRect();
    const int y = plot.center().y();
    const auto drag = [view, y](int from, int to) {
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(from, y));
        QTest::mouseMove(view, QPoint((from + to) / 2, y));
        QTest::mouseMove(view, QPoint(to, y));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(to, y));
    };
    // A click is no zoom.
    drag(plot.left() + 100, plot.left() + 102);
    QVERIFY(!view->Zoomed());
    // Right to left as well as left to right: the quarter of the plot between the pointers.
    const int a = plot.left() + plot.width() / 4;
    const int b = plot.left() + plot.width() / 2;
    drag(b, a);
    QVERIFY(view->Zoomed());
    const qint64 quarter = (whole.ToMs - whole.FromMs) / 4;
    QVERIFY(qAbs(view->View().FromMs - (whole.FromMs + quarter)) < 3 * kMinute);
    QVERIFY(qAbs(view->View().ToMs - (whole.FromMs + 2 * quarter)) < 3 * kMinute);
    const QVector<HistoryBar> visible = view->VisibleBars();
    QVERIFY(!visible.isEmpty());
    QVERIFY(visible.first().minuteMs >= view->View().FromMs);
    QVERIFY(visible.last().minuteMs < view->View().ToMs);
    // The scale follows the view: its lowest and highest bars reach near the plot's edges.
    QVERIFY(view->YOf(visible.first().low) < plot.bottom());
    QVERIFY(view->YOf(visible.first().low) > plot.bottom() - plot.height() / 6);
    // Zoomed again inside the zoom, then a double click gives the whole span back.
    drag(plot.left() + 10, plot.left() + 60);
    QVERIFY(view->View().ToMs - view->View().FromMs < quarter / 4);
    QTest::mouseDClick(view, Qt::LeftButton, {}, plot.center());
    QCOMPARE(view->View(), whole);
    QVERIFY(!view->Zoomed());
}

// A computed price that moves by less than its shown digits: the scale still steps by at least
// one shown digit, and the drawing ends.
void TestChartWindow::pricesThatBarelyMove() {
    const qint64 start = TestNow().toMSecsSinceEpoch() - 60 * kMinute;
    const double price = 7.123456789;
    const double next = std::nextafter(price, 8.0);
    QVector<HistoryBar> bars{{start, price, next, price, price, start, {}},
                             {start + kMinute, next, next, price, next, start + kMinute, {}}};
    TChartView view;
    view.resize(600, 400);
    view.SetData(bars, 0, {start - kMinute, start + 2 * kMinute}, 4);
    QVERIFY(!view.Picture().isNull());
}

void TestChartWindow::exports() {
    QVector<HistoryBar> bars;
    const qint64 start = TestNow().toMSecsSinceEpoch() - 30 * kMinute;
    bars.append(Bar(start, 1.08512));
    bars.append(Bar(start + kMinute, 1.0852, QStringLiteral("gw,1")));
    const auto form = Open(bars, ChartSpan::Hour, 1.08);
    QVERIFY(form);

    QString error;
    const QString png = dir_.filePath(QStringLiteral("chart.png"));
    QVERIFY2(form->SavePng(png, error), qPrintable(error));
    QImage image;
    QVERIFY(image.load(png, "PNG"));
    QCOMPARE(image.size(), form->View()->size());
    // The line is drawn in it.
    bool blue = false;
    for (int x = 0; x < image.width() && !blue; ++x) {
        for (int y = 0; y < image.height() && !blue; ++y)
            blue = image.pixelColor(x, y) == QColor(0, 90, 180);
    }
    QVERIFY(blue);

    const QString csv = dir_.filePath(QStringLiteral("chart.csv"));
    QVERIFY2(form->SaveCsv(csv, error), qPrintable(error));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("time,open,high,low,close,source\n"
                            "2026-03-10T11:30:00+08:00,1.08512,1.08612,1.08412,1.08512,portal\n"
                            "2026-03-10T11:31:00+08:00,1.0852,1.0862,1.0842,1.0852,\"gw,1\"\n"));
    // A folder that is not there: an error, and nothing claims success.
    QVERIFY(!form->SaveCsv(dir_.filePath(QStringLiteral("none/chart.csv")), error));
    QVERIFY(!error.isEmpty());
}

void TestChartWindow::placeIsKept() {
    {
        TIniFile ini(ini_);
        TIniEdit edit(ini);
        // Far off every screen: the window comes back on one.
        WriteInteger(edit, keys::ChartPosX, 30000);
        WriteInteger(edit, keys::ChartPosY, 40);
        WriteInteger(edit, keys::ChartWidth, 600);
        WriteInteger(edit, keys::ChartHeight, 380);
        edit.Commit();
    }
    auto form = std::make_unique<TChartForm>(QStringLiteral("欧元美元"), ChartSources{}, ini_);
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->RestorePlace();
    form->show();
    QCOMPARE(form->size(), QSize(600, 380));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(screen.contains(form->geometry().center()));
    form->move(screen.topLeft() + QPoint(30, 50));
    form->resize(640, 400);
    form->close();
    auto again = std::make_unique<TChartForm>(QStringLiteral("欧元美元"), ChartSources{}, ini_);
    again->setAttribute(Qt::WA_DeleteOnClose, false);
    again->RestorePlace();
    QCOMPARE(again->size(), QSize(640, 400));
    QCOMPARE(again->pos(), screen.topLeft() + QPoint(30, 50));
}

QTEST_MAIN(TestChartWindow)
#include "test_chartwindow.moc"
