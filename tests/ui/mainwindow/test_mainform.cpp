// The ticker window against a loopback server on the offscreen platform: the refresh cycle, the
// drawing read back from the canvas, and the window's behaviour, with fake desktop services.
#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "../feeds/samples.h"
#include "platform/desktop/platformservices.h"
#include "platform/fake/fakehotkey.h"
#include "platform/fake/fakenotifier.h"
#include "platform/fake/fakesound.h"
#include "platform/fake/faketrayshell.h"
#include "platform/fake/fakewindowservices.h"
#include "platform/fonts.h"
#include "platform/programfiles.h"
#include "platform/sessionnotes.h"
#include "quotes/messages.h"
#include "quotes/quotelines.h"
#include "servers/pageserver.h"
#include "settings/profile.h"
#include "ui/alarm/alarmform.h"
#include "ui/errorreport.h"
#include "ui/mainwindow/aboutform.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/session.h"
#include "ui/mainwindow/windowsizes.h"
#include "ui/tray/trayicon.h"

using kestrel::test::PageServer;
using namespace kestrel;

namespace {

const QRgb kOlive = qRgb(128, 128, 0);
const QRgb kGreen = qRgb(0, 128, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlack = qRgb(0, 0, 0);
const QDateTime kWednesdayNoon = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

// Records "title|text" of each message box as it opens, and closes it.
struct BoxAnswers {
    BoxAnswers() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->windowTitle() + u'|' + box->text();
                box->accept();
            }
        });
        poll.start(20);
    }
    QStringList shown;
    QTimer poll;
};

}  // namespace

// In the window's namespace, as the window's friend: it drives the timers and reads the canvas.
namespace kestrel {

class TestMainForm : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PageServer> server_;
    FakeWindowServices window_;
    FakeHotKeyService hotKey_;
    FakeTrayShell* tray_ = nullptr;  // owned by the form's tray icon
    ProgramFiles files_;

    void WriteIni(const QString& extra) {
        QFile f(files_.IniPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ToCp936(QStringLiteral("[Param]\r\nProxyType=1\r\nRatesURL=") + server_->Url() +
                        QStringLiteral("\r\n") + extra));
    }
    void WriteSelection(const QStringList& names) {
        QFile f(files_.CcyPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ToCp936(names.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    }

    std::unique_ptr<TMainForm> MakeForm(const QStringList& arguments = {QStringLiteral("kestrel")},
                                        bool layerSurface = false) {
        auto tray = std::make_unique<FakeTrayShell>();
        tray_ = tray.get();
        auto form = std::make_unique<TMainForm>(
            files_,
            MainFormServices{&window_, &hotKey_, std::move(tray), nullptr, nullptr, layerSurface},
            arguments);
        // Whatever day the tests run on, the markets are open unless a test says otherwise.
        form->MarketNow = [] { return kWednesdayNoon; };
        return form;
    }

    // Starts a download as the countdown would and waits until it has reported.
    static bool Download(TMainForm& form) {
        form.StartFetch();
        return QTest::qWaitFor([&] { return !form.QuoteHTTP.Busy() && form.tmTimer->isActive(); },
                               10000);
    }

    // The colours drawn in the canvas row of display line `row`.
    static QSet<QRgb> RowColours(const TMainForm& form, int row) {
        QSet<QRgb> colours;
        const QImage& canvas = form.CanvasBitmap;
        const int h = form.LineHeight();
        for (int y = row * h; y < (row + 1) * h && y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x)
                colours.insert(canvas.pixel(x, y) | 0xFF000000u);
        }
        return colours;
    }

    QByteArray TrayIconBytes(TMainForm& form, int index) {
        return form.TrayIcon->Icons()->Get(index)->Data();
    }

private Q_SLOTS:
    void initTestCase() { InstallPlatformServices(); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        files_ = ProgramFilesIn(dir_->path(), QStringLiteral("kestrel"));
        server_ = std::make_unique<PageServer>();
        server_->SetPage(PageServer::RatesPage(
            {{QStringLiteral("欧元美元"), 1.1600}, {QStringLiteral("美元日元"), 155.50}}));
        window_ = FakeWindowServices();
        window_.Taskbar = QRect(0, 1040, 1920, 40);
        hotKey_ = FakeHotKeyService();
        WriteIni(QString());
        WriteSelection({QStringLiteral("欧元美元"), QStringLiteral("美元日元")});
    }
    void cleanup() {
        server_.reset();
        // A shown window opened the price history; its thread closes the file after the window
        // has gone, before the folder may go.
        QTRY_VERIFY(!QFile::exists(files_.HistoryPath + QStringLiteral("-wal")));
    }

    void startUpShowsTheWelcomeLinesAndPlacesTheWindow() {
        auto form = MakeForm();
        QCOMPARE(form->MemoPrice.Lines, StartupLines());
        QVERIFY(!form->tmTimer->isActive());
        QVERIFY(form->tmTimerChecker->isActive());
        QCOMPARE(form->SelectedInstruments.size(), 2);
        QVERIFY(tray_->Shown);
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 0));
        QVERIFY(window_.IsToolWindow(form.get()));
        QCOMPARE(hotKey_.VirtualKey(), quint16(0x77));
        // With the panel along the bottom: 50 pixels left of the right edge, 20 above the panel.
        QCOMPARE(form->pos(), QPoint(1920 - form->width() - 50, 1040 - form->height() - 20));
        // "Kestrel" is black with the time line shown, the rest in the quote font colour.
        QVERIFY(RowColours(*form, 0).contains(kBlack));
        QVERIFY(!RowColours(*form, 0).contains(kOlive));
        QVERIFY(RowColours(*form, 2).contains(kOlive));
    }

    void firstShowStartsTheFirstDownload() {
        auto form = MakeForm();
        server_->Hold(true);
        form->show();
        QTRY_COMPARE_WITH_TIMEOUT(server_->Hits(), 1, 5000);
        // The activation that follows the first showing lets that download run.
        form->FormActivate();
        server_->Hold(false);
        QTRY_VERIFY(form->tmTimer->isActive());
        QCOMPARE(form->MemoPrice.Lines.size(), 3);
        QCOMPARE(server_->Hits(), 1);
    }

    void goodDownloadDrawsAndSizesTheWindow() {
        auto form = MakeForm();
        QVERIFY(Download(*form));
        const QStringList& lines = form->MemoPrice.Lines;
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith(QStringLiteral("【牌价更新时间】")));
        QCOMPARE(lines[1], QStringLiteral("【欧元美元】　　　　 1.1600"));
        QCOMPARE(lines[2], QStringLiteral("【美元日元】　　　　 155.50"));
        // First values: no rise or fall yet.
        QVERIFY(RowColours(*form, 0).contains(kBlack));
        for (int row : {1, 2}) {
            const QSet<QRgb> colours = RowColours(*form, row);
            QVERIFY(colours.contains(kOlive));
            QVERIFY(!colours.contains(kGreen));
            QVERIFY(!colours.contains(kRed));
        }
        // The outer size of the old frame and caption: the frame of the fake desktop is empty.
        const QFontMetrics metrics(form->MemoPrice.Font);
        int widest = 0;
        for (const QString& l : lines)
            widest = std::max(widest, metrics.horizontalAdvance(l));
        QCOMPARE(form->height(), 3 * form->LineHeight() + 58);
        QCOMPARE(form->width(), widest + 50);
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 0));
        QCOMPARE(form->ShownImage().size(), form->CanvasBitmap.size());
    }

    // Off, the sparklines change nothing whatever the history holds; on, a quote line with
    // history gets its curve in the line's colour after the widest line, and the window grows
    // by the curve's width alone.
    void sparklines() {
        const auto withHistory = [](TMainForm& form) {
            form.HistoryReads.Bars = [](const QString& code, qint64 from, qint64 to) {
                QVector<HistoryBar> bars;
                for (qint64 t = from; code == QLatin1String("EURUSD") && t < to; t += 600'000)
                    bars.append({t, 0, 0, 0, 1.15 + static_cast<double>(t - from) / 1e9, t, {}});
                return bars;
            };
        };
        WriteIni(QStringLiteral("DisplayTime=0\r\n"));
        auto plain = MakeForm();
        QVERIFY(Download(*plain));
        const QImage before = plain->CanvasBitmap;
        const QSize size = plain->size();
        plain.reset();

        auto off = MakeForm();
        withHistory(*off);
        QVERIFY(Download(*off));
        QTest::qWait(200);  // what a read would bring has come by now
        QCOMPARE(off->size(), size);
        QCOMPARE(off->CanvasBitmap, before);
        off.reset();

        WriteIni(QStringLiteral("DisplayTime=0\r\nShowSparkline=1\r\n"));
        auto on = MakeForm();
        withHistory(*on);
        QVERIFY(Download(*on));
        QVERIFY(QTest::qWaitFor([&] { return !on->Sparklines.isEmpty(); }, 5000));
        QCOMPARE(on->size(), size + QSize(kSparklineGap + kSparklineWidth, 0));
        const QFontMetrics metrics(on->MemoPrice.Font);
        int widest = 0;
        for (const QString& l : on->MemoPrice.Lines)
            widest = std::max(widest, metrics.horizontalAdvance(l));
        const int h = on->LineHeight();
        QCOMPARE(on->CanvasBitmap.copy(0, 0, widest, 2 * h), before.copy(0, 0, widest, 2 * h));
        const auto curve = [&](int row) {
            QSet<QRgb> colours;
            for (int y = row * h; y < (row + 1) * h; ++y) {
                for (int x = widest + kSparklineGap; x < widest + kSparklineGap + kSparklineWidth;
                     ++x)
                    colours.insert(on->CanvasBitmap.pixel(x, y) | 0xFF000000u);
            }
            return colours;
        };
        QVERIFY(curve(0).contains(kOlive));  // first values: the quote font's colour
        QCOMPARE(curve(1).size(), 1);        // 美元日元 has no history: only the background
    }

    // A double click on a quote line opens that instrument's chart, once; the menu lists the
    // instruments shown.
    void aDoubleClickOpensTheLinesChart() {
        auto form = MakeForm();
        form->show();
        QVERIFY(Download(*form));
        const int h = form->LineHeight();
        const QPoint second = form->imgPrice->contentsRect().topLeft() + QPoint(20, 2 * h + h / 2);
        QTest::mouseDClick(form->imgPrice, Qt::LeftButton, {}, second);
        QCOMPARE(form->Charts.size(), 1);
        TChartForm* chart = form->Charts.value(QStringLiteral("美元日元"));
        QVERIFY(chart);
        QCOMPARE(chart->windowTitle(), QStringLiteral("走势图 - 美元日元"));
        QTest::mouseDClick(form->imgPrice, Qt::LeftButton, {}, second);
        QCOMPARE(form->Charts.size(), 1);
        // The time line opens nothing.
        QTest::mouseDClick(form->imgPrice, Qt::LeftButton, {},
                           form->imgPrice->contentsRect().topLeft() + QPoint(20, h / 2));
        QCOMPARE(form->Charts.size(), 1);
        emit form->mnChart->aboutToShow();
        QStringList items;
        for (QAction* a : form->mnChart->actions())
            items.append(a->text());
        QCOMPARE(items, (QStringList{QStringLiteral("欧元美元"), QStringLiteral("美元日元")}));
        form->mnChart->actions().first()->trigger();
        QVERIFY(form->Charts.value(QStringLiteral("欧元美元")));
        chart->close();
        QTRY_COMPARE(form->Charts.size(), 1);
        // The codes and short names name instruments as well.
        QCOMPARE(form->ChartName(QStringLiteral("usdjpy")), QStringLiteral("美元日元"));
        QCOMPARE(form->ChartName(QStringLiteral("纽约原油")), QStringLiteral("NYMEX原油"));
        QVERIFY(form->ChartName(QStringLiteral("欧元火星")).isEmpty());
        delete form->Charts.value(QStringLiteral("欧元美元"));
    }

    // Byte-counted padding lines up in the window font: prices of labels of every length start
    // on one column, and so do the "N/A"s (the full-width and the ASCII spaces measure right).
    void theQuoteColumnsLineUp() {
        if (IsFontInstalled(QStringLiteral("微软雅黑")))
            QSKIP("微软雅黑 is proportional: the columns line up in 宋体 and its stand-ins");
        server_->SetPage(PageServer::RatesPage({{QStringLiteral("欧元美元"), 1.16},
                                                {QStringLiteral("美元人民币"), 7.1},
                                                {QStringLiteral("美元日元"), 155.5}}));
        WriteIni(QStringLiteral("DisplayTime=0\r\n"));
        WriteSelection({QStringLiteral("欧元美元"), QStringLiteral("美元人民币"),
                        QStringLiteral("天然气"), QStringLiteral("布伦特原油")});
        auto form = MakeForm();
        QVERIFY(Download(*form));
        const QFontMetrics metrics(form->MemoPrice.Font);
        QList<int> columns;
        for (const QString& line : form->MemoPrice.Lines)
            columns.append(metrics.horizontalAdvance(line.left(line.lastIndexOf(u' ') + 1)));
        QCOMPARE(columns.size(), 4);
        QCOMPARE(columns[1], columns[0]);
        QCOMPARE(columns[3], columns[2]);
    }

    void risesAndFallsTakeTheColoursOfTheMode_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QRgb>("rising");
        QTest::addColumn<QRgb>("falling");
        QTest::newRow("红跌绿涨") << 0 << kGreen << kRed;
        QTest::newRow("红涨绿跌") << 1 << kRed << kGreen;
    }
    void risesAndFallsTakeTheColoursOfTheMode() {
        QFETCH(int, mode);
        QFETCH(QRgb, rising);
        QFETCH(QRgb, falling);
        WriteIni(QStringLiteral("ColorMode=%1\r\n").arg(mode));
        auto form = MakeForm();
        QVERIFY(Download(*form));
        server_->SetPage(PageServer::RatesPage(
            {{QStringLiteral("欧元美元"), 1.1605}, {QStringLiteral("美元日元"), 155.40}}));
        QVERIFY(Download(*form));
        QVERIFY(RowColours(*form, 1).contains(rising));
        QVERIFY(!RowColours(*form, 1).contains(falling));
        QVERIFY(RowColours(*form, 2).contains(falling));
        QVERIFY(!RowColours(*form, 2).contains(rising));
        // Unchanged prices go back to the quote font colour.
        QVERIFY(Download(*form));
        QVERIFY(RowColours(*form, 1).contains(kOlive));
        QVERIFY(!RowColours(*form, 1).contains(rising));
    }

    // The change columns in each palette: rises and falls since the close take the palette's
    // colours (none in 低调), the columns line up, and no line runs off the picture.
    void theChangeColumnsInEveryPalette() {
        QString page = QStringLiteral("<td>货币走势图</td>\r\n");
        const auto row = [&page](const QString& name, const QString& price, const QString& change) {
            page += QStringLiteral("<tr><td><a title=\"%1\">%1</a></td>\r\n").arg(name);
            for (const QString& cell :
                 {price, QStringLiteral("--"), price, price, change, QStringLiteral("--"),
                  QStringLiteral("2026-12-09 20:15:03")})
                page += QStringLiteral("<td>%1</td>\r\n").arg(cell);
        };
        row(QStringLiteral("欧元美元"), QStringLiteral("1.1622"), QStringLiteral("+0.0022"));
        row(QStringLiteral("现货黄金"), QStringLiteral("2400.00"), QStringLiteral("-12.00"));
        row(QStringLiteral("美元人民币"), QStringLiteral("7.1000"), QStringLiteral("--"));
        server_->SetPage(page + QStringLiteral("</table>\r\n"));
        WriteSelection(
            {QStringLiteral("欧元美元"), QStringLiteral("现货黄金"), QStringLiteral("美元人民币")});
        const QRgb blue = qRgb(0, 0x60, 0xC0), orange = qRgb(0xD0, 0x68, 0);
        const QList<std::pair<int, std::pair<QRgb, QRgb>>> palettes{
            {0, {kGreen, kRed}}, {1, {kRed, kGreen}}, {2, {blue, orange}}, {3, {kOlive, kOlive}}};
        for (const auto& [mode, colours] : palettes) {
            WriteIni(QStringLiteral("DisplayTime=0\r\nShowChange=1\r\nShowArrows=1\r\n"
                                    "ColorMode=%1\r\n")
                         .arg(mode));
            auto form = MakeForm();
            QVERIFY(Download(*form));
            const QStringList& lines = form->MemoPrice.Lines;
            QCOMPARE(lines.size(), 3);
            QVERIFY2(lines[0].endsWith(QStringLiteral("▲ 1.1622   +0.0022  +0.19%")),
                     qPrintable(lines[0]));
            QVERIFY2(lines[2].endsWith(QStringLiteral("－ 7.1000   N/A")), qPrintable(lines[2]));
            const auto [rising, falling] = colours;
            QVERIFY(RowColours(*form, 0).contains(rising));
            QVERIFY(RowColours(*form, 1).contains(falling));
            QSet<QRgb> others{kGreen, kRed, blue, orange};
            others -= {rising, falling};
            QVERIFY(!RowColours(*form, 0).intersects(others));
            QVERIFY(!RowColours(*form, 1).intersects(others));
            QVERIFY(rising == falling || !RowColours(*form, 0).contains(falling));
            const QSet<QRgb> unchanged = RowColours(*form, 2);
            QVERIFY(unchanged.contains(kOlive));
            QVERIFY(!unchanged.intersects({kGreen, kRed, blue, orange}));
            // Nothing drawn in the picture's last column.
            const QImage& canvas = form->CanvasBitmap;
            const QRgb face = canvas.pixel(canvas.width() - 1, 0) | 0xFF000000u;
            for (int y = 0; y < 3 * form->LineHeight(); ++y)
                QCOMPARE(canvas.pixel(canvas.width() - 1, y) | 0xFF000000u, face);
            if (IsFontInstalled(QStringLiteral("微软雅黑")))
                continue;  // proportional: the byte-counted columns line up in 宋体 and the like
            // Price, change and percent start on one column, whichever the arrow.
            const QFontMetrics metrics(form->MemoPrice.Font);
            const auto x = [&](int line, const QString& text) {
                return metrics.horizontalAdvance(lines[line].left(lines[line].indexOf(text)));
            };
            QCOMPARE(x(1, QStringLiteral("2400.00")), x(0, QStringLiteral("1.1622")));
            QCOMPARE(x(2, QStringLiteral("7.1000")), x(0, QStringLiteral("1.1622")));
            QCOMPARE(x(1, QStringLiteral("-12.00")), x(0, QStringLiteral("+0.0022")));
            QCOMPARE(x(1, QStringLiteral("-0.50%")), x(0, QStringLiteral("+0.19%")));
        }
    }

    void aLostValueShowsNotAvailableInTheFallingColour() {
        WriteIni(QStringLiteral("DisplayTime=0\r\n"));
        auto form = MakeForm();
        QVERIFY(Download(*form));
        server_->SetPage(PageServer::RatesPage(
            {{QStringLiteral("欧元美元"), 0}, {QStringLiteral("美元日元"), 155.50}}));
        QVERIFY(Download(*form));
        QVERIFY(form->MemoPrice.Lines[0].endsWith(QStringLiteral(" N/A")));
        // Without the time line the first instrument is drawn on row 0.
        QVERIFY(RowColours(*form, 0).contains(kRed));
        QVERIFY(Download(*form));
        QVERIFY(RowColours(*form, 0).contains(kOlive));
        QVERIFY(!RowColours(*form, 0).contains(kRed));
    }

    void aGbkPageSentAsLatin1StillShowsItsQuotes() {
        server_->SetContentType("text/html; charset=iso-8859-1");
        auto form = MakeForm();
        QVERIFY(Download(*form));
        QCOMPARE(form->MemoPrice.Lines.mid(1),
                 (QStringList{QStringLiteral("【欧元美元】　　　　 1.1600"),
                              QStringLiteral("【美元日元】　　　　 155.50")}));
    }

    void badDataKeepsTheSizeAndStillChecksTheAlarm() {
        WriteIni(QStringLiteral("UseMonitor=1\r\nMonitorCcy=欧元美元\r\nMonitorPrice=2\r\n"));
        auto form = MakeForm();
        QVERIFY(Download(*form));
        QCOMPARE(double(form->MonitorQuote), 1.16);
        const QSize size = form->size();
        server_->SetPage(QStringLiteral("<html>maintenance</html>\r\n"));
        QVERIFY(Download(*form));
        QCOMPARE(form->MemoPrice.Lines.mid(1),
                 (QStringList{QStringLiteral("外汇牌价源数据有误，无法提供报价"),
                              QStringLiteral("稍后将再次尝试连接...")}));
        QCOMPARE(form->size(), size);
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 1));
        // The alarm looked the instrument up in the new page and found nothing.
        QCOMPARE(double(form->MonitorQuote), 0.0);
        // Good data again restores the normal tray icon.
        server_->SetPage(PageServer::RatesPage({{QStringLiteral("欧元美元"), 1.1600}}));
        QVERIFY(Download(*form));
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 0));
    }

    // No rates page: the window reads the quote service itself, and asks it no more often than
    // the service tolerates however short the interval.
    void builtinSourceWithoutRatesUrl() {
        QFile portal(QStringLiteral(KESTREL_TEST_DATA "/feeds/portal.txt"));
        QVERIFY(portal.open(QIODevice::ReadOnly));
        server_->SetPage(QString::fromStdString(kestrel::test::PortalSampleAt(
            portal.readAll().toStdString(), QDateTime::currentMSecsSinceEpoch())));
        QFile f(files_.IniPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ToCp936(QStringLiteral("[Param]\r\nProxyType=1\r\nInterval=1\r\n"
                                       "[Sources]\r\nOrder=portal\r\nPortalURL=") +
                        server_->Url() + QStringLiteral("?list=\r\n")));
        f.close();
        WriteSelection({QStringLiteral("美元日元"), QStringLiteral("欧元美元")});
        auto form = MakeForm();
        const auto refreshed = [&form] {
            form->StartFetch();
            return QTest::qWaitFor(
                [&] { return !form->Builtin.Busy() && form->tmTimer->isActive(); }, 10000);
        };
        QVERIFY(refreshed());
        QCOMPARE(form->MemoPrice.Lines.mid(1),
                 (QStringList{
                     QStringLiteral("【美元日元】　　　　 154.60"),
                     QStringLiteral("【欧元美元】") + QString(18, u' ') + QStringLiteral(" N/A")}));
        // Good prices: the tip says when they came and from where, after what is missing.
        QCOMPARE(tray_->Current.Tip,
                 QStringLiteral("欧元美元 N/A（数据源未提供该品种）；Kestrel · %1 更新 · 新浪财经")
                     .arg(form->ShownTime.toString(QStringLiteral("hh:mm:ss"))));
        const int hits = server_->Hits();
        QVERIFY(refreshed());
        QCOMPARE(server_->Hits(), hits);  // within five seconds the cache answers
        QVERIFY(form->MemoPrice.Lines[1].endsWith(QStringLiteral("154.60")));
    }

    // The built-in sources of [Sources], the portal's sample served as it would be at `ms`.
    void WriteBuiltin(const QString& sources, qint64 ms) {
        QFile portal(QStringLiteral(KESTREL_TEST_DATA "/feeds/portal.txt"));
        QVERIFY(portal.open(QIODevice::ReadOnly));
        server_->SetPage(QString::fromStdString(
            kestrel::test::PortalSampleAt(portal.readAll().toStdString(), ms)));
        QFile f(files_.IniPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ToCp936(QStringLiteral("[Param]\r\nProxyType=1\r\n[Sources]\r\nPortalURL=") +
                        server_->Url() + QStringLiteral("?list=\r\n") + sources));
    }

    // A source that does not answer holds back no other: the portal's values are shown as they
    // come, what only the silent source gives says it is being read, and its values follow.
    void aHangingSourceHoldsBackNoOther() {
        PageServer ecb;
        ecb.SetPage(QString::fromStdString(
            kestrel::test::EcbSampleAt(QDateTime::currentMSecsSinceEpoch())));
        ecb.Hold(true);
        WriteBuiltin(
            QStringLiteral("Order=portal,ecb\r\nEcbURL=") + ecb.Url() + QStringLiteral("\r\n"),
            QDateTime::currentMSecsSinceEpoch());
        WriteSelection({QStringLiteral("美元日元"), QStringLiteral("欧元美元")});
        qint64 later = 0;
        auto form = MakeForm();
        form->Builtin.Clock = [&later] { return QDateTime::currentMSecsSinceEpoch() + later; };
        form->StartFetch();
        QVERIFY(QTest::qWaitFor([&] { return form->tmTimer->isActive(); }, 5000));
        QTRY_COMPARE(ecb.Hits(), 1);
        QVERIFY(form->Builtin.Busy());
        QCOMPARE(form->MemoPrice.Lines.mid(1),
                 (QStringList{QStringLiteral("【美元日元】　　　　 154.60"),
                              QStringLiteral("【欧元美元】") + QString(18, u' ') +
                                  QStringLiteral(" 正在读取")}));
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 0));
        // The next refresh asks the portal again and leaves the silent source alone.
        later = 6000;
        const int hits = server_->Hits();
        form->StartFetch();
        QTRY_VERIFY(form->tmTimer->isActive() && server_->Hits() > hits);
        QCOMPARE(ecb.Hits(), 1);
        ecb.Hold(false);
        QTRY_VERIFY(!form->Builtin.Busy());
        // A daily reference rate says how old it is.
        QVERIFY2(form->MemoPrice.Lines[2].startsWith(QStringLiteral("【欧元美元】　　　　 1.0705")),
                 qPrintable(form->MemoPrice.Lines[2]));
        QCOMPARE(form->MemoPrice.Lines[1], QStringLiteral("【美元日元】　　　　 154.60"));
    }

    // What a source that cannot be reached would give is N/A, in the window without a cause
    // (it does not fit a line) and in the tip with it, one clause for all its instruments.
    void anUnreachableSourceSaysInTheTipWhatItLeavesOut() {
        WriteBuiltin(QStringLiteral("Order=portal,ecb\r\nEcbURL=http://127.0.0.1:1/\r\n"),
                     QDateTime::currentMSecsSinceEpoch());
        WriteSelection(
            {QStringLiteral("美元日元"), QStringLiteral("瑞典克郎"), QStringLiteral("欧元美元")});
        auto form = MakeForm();
        form->StartFetch();
        QTRY_VERIFY(!form->Builtin.Busy() && form->tmTimer->isActive());
        QCOMPARE(form->MemoPrice.Lines[2],
                 QStringLiteral("【瑞典克郎】") + QString(18, u' ') + QStringLiteral(" N/A"));
        const QString tip = tray_->Current.Tip;
        QVERIFY2(tip.startsWith(
                     QStringLiteral("瑞典克郎、欧元美元 N/A（欧洲央行：127.0.0.1:1 拒绝连接）；")),
                 qPrintable(tip));
        QVERIFY2(tip.size() <= 63 && tip.count(u'（') == tip.count(u'）'), qPrintable(tip));
    }

    // The rules of [Alarms] on the built-in source's prices: a move past a threshold fires at
    // the next poll, every rule that fires in one download in one notification, each with one
    // line in the alarm window and one run of the alarm command; a once rule fires once, a
    // rearming one not again before the price has fallen back; an old or missing price never.
    void alarmRulesFireOnTheMoveAndOnlyOnLivePrices() {
        const QString script = dir_->filePath(QStringLiteral("on-alarm"));
        const QString ran = dir_->filePath(QStringLiteral("ran"));
        QFile command(script);
        QVERIFY(command.open(QIODevice::WriteOnly));
        command.write(
            "#!/bin/sh\necho \"$KESTREL_ALARM_NAME|$KESTREL_ALARM_PRICE|"
            "$KESTREL_ALARM_RULE\" >> '" +
            ran.toUtf8() + "'\n");
        command.close();
        command.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile wav(files_.WavPath);
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.close();
        const auto serve = [this](const char* yen) {
            const QDateTime now = kestrel::test::BeijingTime(QDateTime::currentMSecsSinceEpoch());
            server_->SetPage(
                QStringLiteral(
                    "var hq_str_fx_susdjpy=\"%1,154.59,154.6,153.54,14500,153.37,156,"
                    "153.29,%2,美元兑日元即期汇率,0.68,1.05,0.009454,,163.98,152.10,,%3\";\n"
                    "var hq_str_hf_XAU=\"4344.36,4325.850,4344.36,4344.71,4379.38,"
                    "4278.78,17:09:00,4325.85,4328.90,0,0,0,2019-10-17,伦敦金（现货黄金）\";\n"
                    "var hq_str_fx_seurusd=\"\";\n")
                    .arg(now.toString(u"hh:mm:ss"), QLatin1String(yen),
                         now.toString(u"yyyy-MM-dd")));
        };
        serve("154.60");
        QFile ini(files_.IniPath);
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(ToCp936(
            QStringLiteral("[Param]\r\nProxyType=1\r\nAlarmSound=1\r\nAlarmCommand=") + script +
            QStringLiteral("\r\n[Sources]\r\nOrder=portal\r\nPortalURL=") + server_->Url() +
            QStringLiteral("?list=\r\n[Alarms]\r\nAlarm1=1;美元日元;above;155;once\r\n"
                           "Alarm2=1;美元日元;above;155.1;rearm\r\n"
                           "Alarm3=1;现货黄金;above;1;rearm\r\n"
                           "Alarm4=1;欧元美元;below;5;rearm\r\n")));
        ini.close();
        WriteSelection({QStringLiteral("美元日元")});
        FakeNotifier notifier;
        FakeSoundPlayer sound;
        std::unique_ptr<TAlarmForm> alarm;
        qint64 later = 0;
        auto form = MakeForm();
        form->Builtin.Clock = [&later] { return QDateTime::currentMSecsSinceEpoch() + later; };
        form->SetNotifier([&notifier] { return &notifier; });
        form->SetAlarmForm([&] {
            if (!alarm)
                alarm = std::make_unique<TAlarmForm>(&sound, files_.WavPath, files_.IniPath);
            return alarm.get();
        });
        const auto poll = [&] {
            later += 6000;
            const int hits = server_->Hits();
            form->StartFetch();
            return QTest::qWaitFor([&] { return server_->Hits() > hits && !form->Builtin.Busy(); },
                                   10000);
        };

        QVERIFY(poll());
        QVERIFY(form->MemoPrice.Lines[1].endsWith(QStringLiteral("154.60")));
        QVERIFY(notifier.Messages.isEmpty());
        QVERIFY(!alarm);

        serve("155.20");
        QVERIFY(poll());
        QCOMPARE(notifier.Messages.size(), 1);
        QCOMPARE(notifier.Messages[0].Summary, QStringLiteral("美元日元 155.20"));
        QCOMPARE(notifier.Messages[0].Body,
                 QStringLiteral("美元日元：高于 155.00\n美元日元：高于 155.10"));
        QCOMPARE(notifier.Messages[0].Urgency, NotifyUrgency::Critical);
        QVERIFY(alarm && alarm->isVisible());
        const QStringList lines = alarm->mmAlarmInfo->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].endsWith(QStringLiteral(" 【美元日元】 155.20  高于 155.00")));
        QTRY_COMPARE(form->AlarmCommands.Running(), 0);
        QFile runs(ran);
        QVERIFY(runs.open(QIODevice::ReadOnly));
        // The two commands run side by side.
        QStringList commands = QString::fromUtf8(runs.readAll()).split(u'\n');
        commands.sort();
        QCOMPARE(commands, (QStringList{QString(), QStringLiteral("美元日元|155.20|高于 155.00"),
                                        QStringLiteral("美元日元|155.20|高于 155.10")}));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("\r\nAlarm1=0;"));
        QVERIFY(form->mnStopAlarm->isVisible());
        form->mnStopAlarm->trigger();
        QVERIFY(!sound.IsPlaying());
        QVERIFY(!form->mnStopAlarm->isVisible());

        serve("155.40");
        QVERIFY(poll());
        QCOMPARE(notifier.Messages.size(), 1);
        QCOMPARE(alarm->mmAlarmInfo->toPlainText().split(u'\n').size(), 2);
    }

    // On a Saturday Friday's closing prices are shown, quiet and marked closed, the time line
    // says when the market opens, and the countdown waits ten minutes.
    void aSaturdayShowsFridaysClose() {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Shanghai");
        const auto restore = qScopeGuard([&zone] { qputenv("TZ", zone); });
        const QDateTime friday(QDate(2026, 12, 11), QTime(21, 58), Qt::UTC);  // 16:58 New York
        const QDateTime saturday(QDate(2026, 12, 12), QTime(4, 0), Qt::UTC);
        WriteBuiltin(QStringLiteral("Order=portal\r\n"), friday.toMSecsSinceEpoch());
        WriteSelection({QStringLiteral("美元日元")});
        auto form = MakeForm();
        form->Builtin.Clock = [&saturday] { return saturday.toMSecsSinceEpoch(); };
        form->MarketNow = [&saturday] { return saturday; };
        form->StartFetch();
        QVERIFY(QTest::qWaitFor([&] { return !form->Builtin.Busy() && form->tmTimer->isActive(); },
                                10000));
        QCOMPARE(form->MemoPrice.Lines,
                 (QStringList{QStringLiteral("休市 · 周一 06:00 开盘"),
                              QStringLiteral("【美元日元】　　　　 154.60 休市")}));
        QVERIFY(RowColours(*form, 1).contains(qRgb(128, 128, 128)));
        QCOMPARE(form->RoundTicks(), 600 * form->TicksPerSecond);
    }

    // Through a source's outage its values stay for a while; the time line says when they came.
    void theTimeLineTellsWhenTheShownValuesCame() {
        const qint64 received = QDateTime::currentMSecsSinceEpoch() - 180'000;
        qint64 now = received;
        WriteBuiltin(QStringLiteral("Order=portal\r\n"), received);
        WriteSelection({QStringLiteral("美元日元")});
        auto form = MakeForm();
        form->Builtin.Clock = [&now] { return now; };
        const auto refreshed = [&form] {
            form->StartFetch();
            return QTest::qWaitFor(
                [&] { return !form->Builtin.Busy() && form->tmTimer->isActive(); }, 10000);
        };
        QVERIFY(refreshed());
        const QStringList fresh = form->MemoPrice.Lines;
        QCOMPARE(fresh[0], UpdateTimeLine(QDateTime::fromMSecsSinceEpoch(received).time()));
        server_->SetPage(QStringLiteral("busy"), 503);
        now = QDateTime::currentMSecsSinceEpoch();
        const int hits = server_->Hits();
        QVERIFY(refreshed());
        QCOMPARE(server_->Hits(), hits + 1);
        QCOMPARE(form->MemoPrice.Lines, fresh);
    }

    // The history is handed the fresh prices of what is shown and what an alarm rule watches,
    // each with its source, and nothing else.
    void theHistoryKeepsTheShownAndWatchedPrices() {
        const qint64 noon = kWednesdayNoon.toMSecsSinceEpoch();
        WriteBuiltin(
            QStringLiteral("Order=portal\r\n[Alarms]\r\nAlarm1=1;现货黄金;above;99999;rearm\r\n"),
            noon - 30'000);
        WriteSelection({QStringLiteral("美元日元")});
        auto form = MakeForm();
        form->Builtin.Clock = [noon] { return noon; };
        form->OpenHistory();
        form->StartFetch();
        QVERIFY(QTest::qWaitFor([&] { return !form->Builtin.Busy() && form->tmTimer->isActive(); },
                                10000));
        QVERIFY(form->History->WaitForWrites(10000));
        const auto bars = [this, noon](const char* code) {
            return ReadHistoryBars(files_.HistoryPath, QLatin1String(code), noon - 3600'000, noon);
        };
        QCOMPARE(bars("USDJPY").size(), 1);
        QCOMPARE(bars("USDJPY")[0].lastTickMs, noon - 30'000);
        QCOMPARE(bars("USDJPY")[0].source, QStringLiteral("portal"));
        QCOMPARE(bars("XAUUSD").size(), 1);
        QVERIFY(bars("DXY").isEmpty());
    }

    // A page of made-up prices is marked in the window and the tooltip, the time line switched
    // off or not; none of them goes into the history.
    void demoPageIsMarked() {
        WriteIni(QStringLiteral("DisplayTime=0\r\n"));
        WriteSelection({QStringLiteral("欧元美元")});
        server_->SetPage(QString::fromUtf16(kDemoMarker) + QStringLiteral("\r\n") +
                         PageServer::RatesPage({{QStringLiteral("欧元美元"), 1.1600}}));
        auto form = MakeForm();
        form->OpenHistory();
        QVERIFY(Download(*form));
        QVERIFY(form->History->WaitForWrites(10000));
        QVERIFY(
            ReadHistoryBars(files_.HistoryPath, QStringLiteral("EURUSD"), 0, 1LL << 50).isEmpty());
        QVERIFY(form->MemoPrice.Lines[0].startsWith(QStringLiteral("【演示牌价】")));
        QCOMPARE(form->MemoPrice.Lines[1], QStringLiteral("【欧元美元】　　　　 1.1600"));
        QCOMPARE(tray_->Current.Tip, QStringLiteral("演示牌价"));
        // The mark is drawn in the time line's colour, the quote below it in the quote colour.
        QVERIFY(RowColours(*form, 0).contains(kBlack));
        QVERIFY(!RowColours(*form, 0).contains(kOlive));
        QVERIFY(RowColours(*form, 1).contains(kOlive));
    }

    void aFailedTransferShowsTheNetworkLinesAndCountsDownAgain() {
        WriteIni(QStringLiteral("Interval=2\r\n"));
        auto form = MakeForm();
        QVERIFY(Download(*form));
        const QSize size = form->size();
        server_->SetPage(QStringLiteral("gone"), 500);
        form->tmTimer->stop();
        form->Tick = form->TicksPerInterval - 1;
        form->tmTimerTimer();  // the countdown ends: a new download starts
        QCOMPARE(form->Tick, -1);
        QVERIFY(!form->tmTimer->isActive());
        QTRY_VERIFY(form->tmTimer->isActive());
        // The cause follows the two network lines, broken to the window's width.
        QCOMPARE(form->MemoPrice.Lines.mid(1, 2), TransferErrorLines(false, QTime()));
        QCOMPARE(form->MemoPrice.Lines.mid(3),
                 (QStringList{QStringLiteral("原因：服务器应答"), QStringLiteral("HTTP 500")}));
        QCOMPARE(tray_->Current.Tip, QStringLiteral("原因：服务器应答 HTTP 500"));
        QCOMPARE(form->MemoPrice.Lines[0].size(), 8);
        QCOMPARE(form->size(), size);
        QCOMPARE(tray_->Current.Icon, TrayIconBytes(*form, 1));
        // No retry at once: the next download comes TicksPerInterval + 1 ticks later.
        form->tmTimer->stop();
        const int hits = server_->Hits();
        for (int i = 0; i < form->TicksPerInterval; ++i)
            form->tmTimerTimer();
        QCOMPARE(server_->Hits(), hits);
        QVERIFY(!form->QuoteHTTP.Busy());
        form->tmTimerTimer();
        QTRY_VERIFY(server_->Hits() > hits);
        QTRY_VERIFY(form->tmTimer->isActive());
    }

    void readNowAbortsTheRunningTransferWithoutResettingTheCountdown() {
        auto form = MakeForm();
        QVERIFY(Download(*form));
        server_->Hold(true);
        form->StartFetch();
        QTRY_COMPARE(server_->Hits(), 2);
        QVERIFY(form->QuoteHTTP.Busy());
        form->Tick = 37;
        server_->Hold(false);
        form->mnReadNowClick();
        QCOMPARE(form->MemoPrice.Lines, ReadingAgainLines());
        QTRY_VERIFY(form->tmTimer->isActive());
        QCOMPARE(form->MemoPrice.Lines.size(), 3);
        QCOMPARE(form->Tick, 37);
        QCOMPARE(server_->Hits(), 3);
    }

    void theCountdownAdvancesTheBarAndTheCaptionClock() {
        WriteIni(QStringLiteral("Interval=1\r\n"));
        auto form = MakeForm();
        QCOMPARE(form->TicksPerInterval, 10);
        form->setWindowTitle(QStringLiteral("x"));
        form->Tick = 0;
        form->tmTimerTimer();
        QCOMPARE(form->windowTitle(),
                 QDateTime::currentDateTime().toString(QStringLiteral("MM-dd hh:mm")));
        QCOMPARE(form->Tick, 1);
        form->setWindowTitle(QStringLiteral("x"));
        for (int i = 1; i < 9; ++i)
            form->tmTimerTimer();
        QCOMPARE(form->windowTitle(), QStringLiteral("x"));  // only on multiples of 10
        QCOMPARE(form->Tick, 9);
        // The bar: a grey line that grows from the left, one pixel high.
        form->show();
        QImage bar = form->pbProgress->grab().toImage();
        QCOMPARE(bar.pixel(1, 1) | 0xFF000000u, qRgb(128, 128, 128));
        QCOMPARE(bar.pixel(0, 1) | 0xFF000000u, bar.pixel(0, 0) | 0xFF000000u);
        QVERIFY(bar.pixel(bar.width() - 2, 1) != qRgb(128, 128, 128));
        form->tmTimerTimer();  // the tenth tick ends the countdown
        QCOMPARE(form->Tick, -1);
        QTRY_VERIFY(server_->Hits() > 0);
    }

    void thePopUpComesAfter61CountedSecondsThenEvery62() {
        WriteIni(QStringLiteral("Interval=600\r\nPromptInterval=1\r\n"));
        auto form = MakeForm();
        QList<int> popups;
        for (int second = 1; second <= 200; ++second) {
            window_.Calls.clear();
            for (int tick = 0; tick < 10; ++tick)
                form->tmTimerTimer();
            if (window_.Calls.contains(QStringLiteral("front")))
                popups.append(second);
            // Keys typed into another program must not land in the ticker.
            QVERIFY(!window_.Calls.contains(QStringLiteral("activate")));
        }
        QCOMPARE(popups, (QList<int>{61, 123, 185}));
    }

    void noPopUpWhenAutoPromptIsOff() {
        WriteIni(QStringLiteral("Interval=600\r\nPromptInterval=1\r\nAutoPrompt=0\r\n"));
        auto form = MakeForm();
        for (int tick = 0; tick < 700; ++tick)
            form->tmTimerTimer();
        QVERIFY(!window_.Calls.contains(QStringLiteral("front")));
    }

    void theCheckerResumesAStalledCountdown() {
        auto form = MakeForm();
        QVERIFY(!form->tmTimer->isActive());
        form->tmTimerCheckerTimer();
        QVERIFY(form->tmTimer->isActive());
    }

    void placeWindow_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QRect>("taskbar");
        QTest::addColumn<bool>("computed");
        QTest::newRow("stored") << QStringLiteral("Pos_X=100\r\nPos_Y=200\r\n")
                                << QRect(0, 1040, 1920, 40) << false;
        QTest::newRow("beyond the screen")
            << QStringLiteral("Pos_X=5000\r\nPos_Y=200\r\n") << QRect(0, 1040, 1920, 40) << true;
        QTest::newRow("negative") << QStringLiteral("Pos_X=100\r\nPos_Y=-3\r\n")
                                  << QRect(0, 1040, 1920, 40) << true;
        QTest::newRow("missing") << QString() << QRect(0, 1040, 1920, 40) << true;
        QTest::newRow("panel on the right") << QString() << QRect(1860, 0, 60, 1080) << true;
        QTest::newRow("no panel") << QString() << QRect() << true;
    }
    void placeWindow() {
        QFETCH(QString, stored);
        QFETCH(QRect, taskbar);
        QFETCH(bool, computed);
        WriteIni(QStringLiteral("[Form]\r\n") + stored);
        window_.Taskbar = taskbar;
        auto form = MakeForm();
        if (!computed) {
            QCOMPARE(form->pos(), QPoint(100, 200));
            return;
        }
        const int refTop = taskbar.top() < 100 ? 1080 : taskbar.top();
        const int refLeft = taskbar.left() < 100 ? 1920 : taskbar.left();
        QCOMPARE(form->pos(), QPoint(refLeft - form->width() - 50, refTop - form->height() - 20));
    }

    // A small screen with its panel along the bottom; the window starts with the welcome lines
    // at `start` and grows to `lines` lines of the face at `points`.
    void theWindowGrowsAwayFromTheScreensEdgesAndStaysOnIt_data() {
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("ours");
        QTest::newRow("low: grows up") << QPoint(100, 483) << 18 << 0 << true;
        QTest::newRow("high: grows down") << QPoint(100, 20) << 18 << 0 << true;
        QTest::newRow("at the panel: grows up and left") << QPoint(850, 600) << 18 << 0 << true;
        QTest::newRow("bigger than the screen") << QPoint(300, 300) << 18 << 48 << true;
        QTest::newRow("placed by the desktop") << QPoint(100, 483) << 18 << 0 << false;
    }
    void theWindowGrowsAwayFromTheScreensEdgesAndStaysOnIt() {
        QFETCH(QPoint, start);
        QFETCH(int, lines);
        QFETCH(int, points);
        QFETCH(bool, ours);
        window_.Screen = QRect(0, 0, 1280, 800);
        window_.Taskbar = QRect(0, 760, 1280, 40);
        const QRect area(0, 0, 1280, 760);
        WriteIni(
            QStringLiteral("[Form]\r\nPos_X=%1\r\nPos_Y=%2\r\n").arg(start.x()).arg(start.y()));
        auto form = MakeForm();
        form->SetPositionMeaningful(ours);
        form->AutoSizeWindow();
        QCOMPARE(form->pos(), start);
        const QRect before = form->frameGeometry();
        if (points > 0)
            form->MemoPrice.Font.setPointSize(points);
        form->MemoPrice.Lines = QStringList(lines, QStringLiteral("【纽约原油】　　　　 60.00"));
        form->AutoSizeWindow();
        const QRect after = form->frameGeometry();
        QVERIFY(after.height() > before.height());
        if (!ours) {
            QCOMPARE(after.topLeft(), before.topLeft());
            return;
        }
        // Inside the area where the window fits, else from its start; and there the corner
        // nearest to the screen's corner stays.
        const bool low = before.center().y() > area.center().y();
        const bool right = before.center().x() > area.center().x();
        if (after.width() <= area.width()) {
            QVERIFY(after.left() >= area.left() && after.right() <= area.right());
            QCOMPARE(right ? after.right() : after.left(), right ? before.right() : before.left());
        } else {
            QCOMPARE(after.left(), area.left());
        }
        if (after.height() <= area.height()) {
            QVERIFY(after.top() >= area.top() && after.bottom() <= area.bottom());
            QCOMPARE(low ? after.bottom() : after.top(), low ? before.bottom() : before.top());
        } else {
            QCOMPARE(after.top(), area.top());
        }
    }

    void aShrunkScreenBringsTheWindowBack() {
        WriteIni(QStringLiteral("[Form]\r\nPos_X=1700\r\nPos_Y=900\r\n"));
        auto form = MakeForm();
        QCOMPARE(form->pos(), QPoint(1700, 900));
        window_.Screen = QRect(0, 0, 1280, 800);
        window_.Taskbar = QRect(0, 760, 1280, 40);
        QScreen* screen = QGuiApplication::primaryScreen();
        Q_EMIT screen->availableGeometryChanged(screen->availableGeometry());
        QVERIFY(QRect(0, 0, 1280, 760).contains(form->frameGeometry()));
    }

    // The ticker's dialogs belong to it, so that the window manager keeps them above it; while
    // it stays on top of other windows, so do they.
    void theDialogsStayAboveTheTicker() {
        WriteIni(QStringLiteral("[Form]\r\nTop=1\r\n"));
        auto form = MakeForm();
        QList<std::pair<QWidget*, bool>> seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen.append({dialog->parentWidget(),
                             dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint)});
                dialog->reject();
            }
        });
        poll.start(20);
        form->mnSetupParameterClick();
        form->mnHelpClick();
        form->N3Click();
        ReportError(QStringLiteral("无法写入设置文件"));
        const std::pair<QWidget*, bool> owned{form.get(), true};
        QCOMPARE(seen, QList({owned, owned, owned, owned}));
        // Once the ticker is gone an error box stands on its own.
        form.reset();
        ReportError(QStringLiteral("无法写入设置文件"));
        QCOMPARE(seen.last(), (std::pair<QWidget*, bool>{nullptr, false}));
    }

    void theCloseButtonHidesAndSavesThePosition() {
        auto form = MakeForm();
        form->show();
        form->move(321, 234);
        QVERIFY(!form->close());
        QVERIFY(form->isHidden());
        TIniFile ini(files_.IniPath);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), -1), 321);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_Y"), -1), 234);
        QVERIFY(tray_->Shown);
    }

    void alwaysOnTopIsSavedAtOnce() {
        auto form = MakeForm();
        form->mnAlwaysOnTop->trigger();
        QVERIFY(window_.StaysOnTop(form.get()));
        QVERIFY(TIniFile(files_.IniPath)
                    .ReadBool(QStringLiteral("Form"), QStringLiteral("Top"), false));
        form->mnAlwaysOnTop->trigger();
        QVERIFY(!window_.StaysOnTop(form.get()));
        QVERIFY(!TIniFile(files_.IniPath)
                     .ReadBool(QStringLiteral("Form"), QStringLiteral("Top"), true));
    }

    void destructionSavesThePositionAndReleasesTheHotKey() {
        auto form = MakeForm();
        form->move(444, 333);
        QVERIFY(hotKey_.IsRegistered());
        form.reset();
        QVERIFY(!hotKey_.IsRegistered());
        QCOMPARE(TIniFile(files_.IniPath)
                     .ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), -1),
                 444);
    }

    void theHotKeyHidesTheWindowInFrontAndBringsItBack() {
        WriteIni(QStringLiteral("HotKey=Ctrl+Alt+Q\r\n"));
        auto form = MakeForm();
        QCOMPARE(hotKey_.Modifiers(), quint16(3));
        QCOMPARE(hotKey_.VirtualKey(), quint16('Q'));
        form->show();
        window_.Foreground = form.get();
        QVERIFY(hotKey_.Press('Q', 3));
        QVERIFY(form->isHidden());
        window_.Foreground = nullptr;
        window_.Calls.clear();
        QVERIFY(hotKey_.Press('Q', 3));
        QVERIFY(form->isVisible());
        QVERIFY(window_.Calls.contains(QStringLiteral("activate")));
        // Another key or other modifiers are ignored.
        window_.Foreground = form.get();
        hotKey_.Deliver('Q', 2);
        QVERIFY(form->isVisible());
        // On a layer surface the ticker never becomes active: the key hides it all the same.
        qputenv("WAYLAND_DISPLAY", "wayland-kestrel-test");
        const auto restore = qScopeGuard([] { qunsetenv("WAYLAND_DISPLAY"); });
        form.reset();
        form = MakeForm({QStringLiteral("kestrel")}, true);
        form->show();
        window_.Foreground = nullptr;
        QVERIFY(hotKey_.Press('Q', 3));
        QVERIFY(form->isHidden());
        QVERIFY(hotKey_.Press('Q', 3));
        QVERIFY(form->isVisible());
    }

    void alphaFollowsTheMouseOnlyWhenSwitchedOn_data() {
        QTest::addColumn<bool>("alpha");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void alphaFollowsTheMouseOnlyWhenSwitchedOn() {
        QFETCH(bool, alpha);
        WriteIni(QStringLiteral("[Form]\r\nAlpha=%1\r\n").arg(alpha ? 1 : 0));
        auto form = MakeForm();
        QCOMPARE(window_.Opacity(form.get()), alpha ? 80 : 255);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(form.get(), &enter);
        QCOMPARE(window_.Opacity(form.get()), 255);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(form.get(), &leave);
        QCOMPARE(window_.Opacity(form.get()), alpha ? 80 : 255);
    }

    void theTrayClickShowsTheWindowInFront() {
        auto form = MakeForm();
        tray_->Send(TrayMouseMessage::LButtonDown);
        tray_->Send(TrayMouseMessage::LButtonUp);
        QVERIFY(form->isVisible());
        QVERIFY(window_.Calls.contains(QStringLiteral("activate")));
    }

    // The tray's menu leads with the toggle, its default item; a click hides the window in
    // front and brings it back.
    void theTrayTogglesTheWindow() {
        auto form = MakeForm();
        const QList<QAction*> items = form->TrayMenu->actions();
        QCOMPARE(items.first()->text(), QStringLiteral("显示/隐藏牌价窗口"));
        QCOMPARE(form->TrayMenu->defaultAction(), items.first());
        QCOMPARE(items.at(1), form->mnStopAlarm);  // shown while an alarm sounds
        QVERIFY(!form->mnStopAlarm->isVisible());
        QVERIFY(items.at(2)->isSeparator());
        QCOMPARE(items.mid(3), form->PopupMenu1->actions());
        QCOMPARE(tray_->ContextMenu, form->TrayMenu);

        form->show();
        tray_->Send(TrayMouseMessage::LButtonDown);
        tray_->Send(TrayMouseMessage::LButtonUp);
        QVERIFY(form->isHidden());
        tray_->Send(TrayMouseMessage::LButtonDblClk);  // the default item
        QVERIFY(form->isVisible());

        // Where no menu can pop up at the icon, the right button brings the window, and never
        // hides it.
        tray_->PopsUpMenus = false;
        form->hide();
        for (int i = 0; i < 2; ++i) {
            tray_->Send(TrayMouseMessage::RButtonDown);
            tray_->Send(TrayMouseMessage::RButtonUp);
            QVERIFY(form->isVisible());
            QVERIFY(!form->TrayMenu->isVisible());
        }
    }

    void withoutATrayTheCloseButtonKeepsTheWindowAndSaysSoOnce() {
        auto form = MakeForm();
        tray_->AcceptAdd = false;
        tray_->HostChanged();  // the panel went away
        form->show();
        const auto notes = [&] {
            int n = 0;
            for (const QMessageBox* box : form->findChildren<QMessageBox*>())
                n += box->text() == QStringLiteral(
                                        "未找到系统托盘，关闭按钮不会隐藏窗口；"
                                        "请用热键或 kestrel --toggle");
            return n;
        };
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(notes(), 1);
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(notes(), 1);
    }

    void aHotKeyHeldElsewhereShowsInTheTrayTip() {
        hotKey_.Taken = {0x77};  // F8 without modifiers
        auto form = MakeForm();
        hotKey_.Taken.clear();
        QCOMPARE(tray_->Current.Tip, QStringLiteral("热键 F8 已被其他程序占用"));
    }

    // Where the desktop gives no key, the tip says how to bind one, and keeps saying it past
    // the downloads, whose news would otherwise clear it.
    void aWaylandSessionWithoutAKeySaysHowToBindOne() {
        qputenv("WAYLAND_DISPLAY", "wayland-kestrel-test");
        const auto restore = qScopeGuard([] { qunsetenv("WAYLAND_DISPLAY"); });
        auto form = MakeForm();
        QCOMPARE(tray_->Current.Tip, QString());
        hotKey_.OnSettled(false);
        QVERIFY(tray_->Current.Tip.contains(QStringLiteral("kestrel --toggle")));
        QVERIFY(Download(*form));
        QVERIFY(tray_->Current.Tip.contains(QStringLiteral("kestrel --toggle")));
        hotKey_.OnSettled(true);
        QCOMPARE(tray_->Current.Tip.section(u' ', 0, 1), QStringLiteral("Kestrel ·"));

        // A grab that only X11 windows' focus sees is no key the user can count on.
        hotKey_.DesktopWide = false;
        form->ApplySettings();
        QVERIFY(tray_->Current.Tip.contains(QStringLiteral("kestrel --toggle")));
    }

    void theMenuHasEveryCommand() {
        auto form = MakeForm();
        QStringList captions;
        for (QAction* a : form->PopupMenu1->actions())
            captions.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(
            captions,
            (QStringList{QStringLiteral("设置..."), QStringLiteral("自动调整窗体大小"),
                         QStringLiteral("重新读取牌价"), QStringLiteral("走势图..."),
                         QStringLiteral("总是在最前面"), QStringLiteral("-"),
                         QStringLiteral("帮助"), QStringLiteral("-"), QStringLiteral("退出")}));
        QVERIFY(!form->mnAutoAdjustSize->isVisible());
        QStringList help;
        for (QAction* a : form->mnHelpGroup->actions())
            help.append(a->text());
        QCOMPARE(help, (QStringList{QStringLiteral("在线升级..."), QStringLiteral("升级说明..."),
                                    QStringLiteral("牌价说明..."), QStringLiteral("关于...")}));
    }

    void theBevelFramesTheQuotesInsideTheBorder() {
        WriteIni(QStringLiteral("3D=1\r\n"));
        auto form = MakeForm();
        form->show();
        const QImage shot = form->grab().toImage();
        const QRgb face = form->pnlContent->palette().color(QPalette::Window).rgb();
        const int y = form->height() / 2;
        for (int x = 0; x < 10; ++x)
            QCOMPARE(shot.pixel(x, y) | 0xFF000000u, face);
        QVERIFY(qGray(shot.pixel(10, y)) < qGray(face));  // the lowered bevel's shadow
    }

    // Only a check started from the menu reports; the check goes through the settings' address
    // and proxy mode.
    void onlineUpgradeReportsOnlyWhenAsked() {
        WriteIni(QStringLiteral("UpdateURL=") + server_->Url() + QStringLiteral("/none.inf\r\n"));
        auto form = MakeForm();
        QCOMPARE(form->Updater.Proxy.AccessType, THTTPAccessType::atDirect);
        BoxAnswers answers;
        QStringList& shown = answers.shown;
        int reports = 0;
        const TUpdaterNotifyEvent wired = form->Updater.OnNoInfoFile;
        form->Updater.OnNoInfoFile = [&](TUpdater* sender) {
            ++reports;
            wired(sender);
        };
        form->Updater.CheckUpgrade();
        QTRY_COMPARE_WITH_TIMEOUT(reports, 1, 10000);
        form->mnOnlineUpdate->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(reports, 2, 10000);
        QTRY_COMPARE(shown,
                     QStringList{QStringLiteral("在线升级|在服务器中无法找到升级的相关信息。")});
    }

    // An asked check that fails says why, never "up to date".
    void anAskedCheckThatFailsSaysWhy_data() {
        QTest::addColumn<QString>("address");  // of the information file; "" for the page's
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("port refused")
            << "http://127.0.0.1:1/kestrelmv/kestrelmv.inf" << 200
            << "在线升级|无法与服务器http://"
               "127.0.0.1'连接。\n\n请检查您的internet设定之后再进行升级操作。";
        QTest::newRow("server error")
            << "" << 500
            << "在线升级|无法读取服务器上的升级信息（服务器回答 500）。\n\n请稍后再进行升级操作。";
        QTest::newRow("unsigned file")
            << "" << 200 << "在线升级|服务器上的升级信息没有签名，无法确认其来源，因此不予采用。";
    }
    void anAskedCheckThatFailsSaysWhy() {
        QFETCH(QString, address);
        QFETCH(int, status);
        QFETCH(QString, shown);
        server_->SetPage(
            QStringLiteral("#version=99.0\r\n#method=2\r\n#url=http://127.0.0.1:1/\r\n"), status);
        WriteIni(QStringLiteral("UpdateURL=") + (address.isEmpty() ? server_->Url() : address) +
                 QStringLiteral("\r\n"));
        auto form = MakeForm();
        BoxAnswers answers;
        form->mnOnlineUpdate->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(answers.shown, QStringList{shown}, 10000);
    }

    // The about box closes by its button and by Escape, and keeps its lines off the border.
    void theAboutBoxCloses() {
        for (const bool escape : {false, true}) {
            TAboutForm about(nullptr);
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            for (const QLabel* label : {about.Label1, about.Label2, about.Label3, about.Label4})
                QVERIFY(label->geometry().right() < about.width() - 16);
            if (escape)
                QTest::keyClick(&about, Qt::Key_Escape);
            else
                about.btnOK->click();
            QVERIFY(!about.isVisible());
        }
    }

    void aBackgroundPictureIsTiledBehindTheLines() {
        QImage tile(100, 40, QImage::Format_RGB888);
        tile.fill(Qt::white);
        tile.setPixel(0, 0, qRgb(1, 2, 3));
        QVERIFY(tile.save(files_.BmpPath, "BMP"));
        auto form = MakeForm();
        QVERIFY(form->HasBackground);
        const QImage& canvas = form->CanvasBitmap;
        // Tiles start at the top-left corner and repeat every 100 × 40 pixels, uncut and
        // unstretched. (Below the five start-up lines, where no text covers the picture.)
        QCOMPARE(canvas.pixel(100, 120) | 0xFF000000u, qRgb(1, 2, 3));
        QCOMPARE(canvas.pixel(200, 160) | 0xFF000000u, qRgb(1, 2, 3));
        QCOMPARE(canvas.pixel(101, 121) | 0xFF000000u, qRgb(255, 255, 255));
    }
};

}  // namespace kestrel

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
