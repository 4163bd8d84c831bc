#include <xcb/xcb.h>

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include "platform/fake/fakewindowservices.h"
#include "platform/x11/desktopwindowservices.h"
#include "platform/x11/x11stacking.h"
#include "xserver.h"

using namespace kestrel;

class TestWindowServices : public QObject {
    Q_OBJECT
public:
    TestWindowServices(const test::XServer& server, bool windowManager)
        : server_(server), windowManager_(windowManager) {}

private slots:
    void taskbarIsTheReservedStrip_data();
    void taskbarIsTheReservedStrip();
    void fakeAnswersWhatTheTestSet();
    void toolWindowKeepsADialogFrame();
    void staysOnTopKeepsPositionAndVisibility();
    void theTaskbarSkipOutlivesEveryNewShowing();
    void opacityReachesTheWindowManager();
    void activationBringsAHiddenWindowToFront();

private:
    void requireWindowManager();
    // Of the X window that shows the widget now, which need not be the one it was created with.
    QByteArray Property(const QWidget& window, const char* name) const {
        return test::XServer::Run({QStringLiteral("xprop"), QStringLiteral("-id"),
                                   QString::number(X11NativeWindow(&window)),
                                   QString::fromLatin1(name)});
    }
    // Shows the window and waits until the window manager has framed it.
    void ShowFramed(QWidget& window) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.frameGeometry() != window.geometry());
    }

    const test::XServer& server_;
    bool windowManager_;
    DesktopWindowServices services_;
};

void TestWindowServices::taskbarIsTheReservedStrip_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("taskbar");
    const QRect screen(0, 0, 1920, 1080);
    QTest::newRow("bottom") << screen << QRect(0, 0, 1920, 1040) << QRect(0, 1040, 1920, 40);
    QTest::newRow("top") << screen << QRect(0, 30, 1920, 1050) << QRect(0, 0, 1920, 30);
    QTest::newRow("right") << screen << QRect(0, 0, 1860, 1080) << QRect(1860, 0, 60, 1080);
    QTest::newRow("left") << screen << QRect(48, 0, 1872, 1080) << QRect(0, 0, 48, 1080);
    QTest::newRow("none") << screen << screen << QRect(0, 0, 0, 0);
    // A panel on each of two edges: the bigger one is the taskbar.
    QTest::newRow("top and bottom")
        << screen << QRect(0, 24, 1920, 1016) << QRect(0, 1040, 1920, 40);
    QTest::newRow("second screen")
        << QRect(1920, 0, 1280, 1024) << QRect(1920, 0, 1280, 984) << QRect(1920, 984, 1280, 40);
}

void TestWindowServices::taskbarIsTheReservedStrip() {
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QRect, taskbar);
    QCOMPARE(TaskbarFromGeometry(screen, available), taskbar);
}

void TestWindowServices::fakeAnswersWhatTheTestSet() {
    FakeWindowServices fake;
    QWidget window;
    fake.Taskbar = QRect(0, 1040, 1920, 40);
    fake.Frame = QMargins(3, 22, 3, 3);
    QCOMPARE(fake.TaskbarRect(nullptr), QRect(0, 1040, 1920, 40));
    QCOMPARE(fake.ScreenRect(nullptr), QRect(0, 0, 1920, 1080));
    QCOMPARE(fake.FrameMargins(&window), QMargins(3, 22, 3, 3));
    QCOMPARE(fake.Opacity(&window), 255);
    fake.SetOpacity(&window, 300);
    QCOMPARE(fake.Opacity(&window), 255);
    fake.SetOpacity(&window, 80);
    QCOMPARE(fake.Opacity(&window), 80);
    QVERIFY(!fake.IsForeground(&window));
    fake.ActivateForeground(&window);
    QVERIFY(fake.IsForeground(&window));
    fake.Foreground = nullptr;  // another application took the focus
    QVERIFY(!fake.IsForeground(&window));
    fake.SetStaysOnTop(&window, true);
    QVERIFY(fake.StaysOnTop(&window));
    fake.MakeToolWindow(&window);
    QVERIFY(fake.IsToolWindow(&window));
    fake.OpenURL(QStringLiteral("http://localhost/"));
    QCOMPARE(fake.Calls, (QStringList{"opacity 255", "opacity 80", "activate", "top 1", "tool",
                                      "open http://localhost/"}));
}

void TestWindowServices::requireWindowManager() {
    if (!server_.Running())
        QSKIP(qPrintable(server_.Missing));
    if (!windowManager_)
        QSKIP("no window manager (openbox) to run under Xvfb");
}

void TestWindowServices::toolWindowKeepsADialogFrame() {
    requireWindowManager();
    QWidget window;
    window.setFixedSize(230, 120);
    const QMargins before = services_.FrameMargins(&window);
    services_.MakeToolWindow(&window);
    ShowFramed(window);

    QVERIFY(Property(window, "_NET_WM_WINDOW_TYPE").contains("_NET_WM_WINDOW_TYPE_UTILITY"));
    // The frame comes from the window manager: what Qt measures is what it announced.
    const QList<QByteArray> extents =
        Property(window, "_NET_FRAME_EXTENTS").split('=').last().trimmed().split(',');
    QCOMPARE(extents.size(), 4);
    const QMargins frame = services_.FrameMargins(&window);
    qInfo() << "frame of a tool window:" << frame << "before the first show:" << before;
    QCOMPARE(frame, QMargins(extents[0].trimmed().toInt(), extents[2].trimmed().toInt(),
                             extents[1].trimmed().toInt(), extents[3].trimmed().toInt()));
    QVERIFY(frame.top() > frame.bottom());  // a title bar
    QCOMPARE(window.frameGeometry().size(), window.size().grownBy(frame));
    // The close button: the window manager is allowed to close it, not to resize it.
    const QByteArray allowed = Property(window, "_NET_WM_ALLOWED_ACTIONS");
    QVERIFY2(allowed.contains("_NET_WM_ACTION_CLOSE"), allowed);
    QVERIFY2(!allowed.contains("_NET_WM_ACTION_RESIZE"), allowed);
    QVERIFY2(!allowed.contains("_NET_WM_ACTION_MAXIMIZE"), allowed);
    // A later window before its first show is given the frame seen last.
    QWidget next;
    services_.MakeToolWindow(&next);
    QCOMPARE(services_.FrameMargins(&next), frame);
}

void TestWindowServices::staysOnTopKeepsPositionAndVisibility() {
    requireWindowManager();
    QWidget window;
    window.setFixedSize(230, 120);
    services_.MakeToolWindow(&window);
    services_.SetStaysOnTop(&window, true);  // before the first show
    window.move(300, 200);
    ShowFramed(window);
    QTRY_VERIFY(Property(window, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    const QPoint where = window.pos();
    const WId id = window.winId();

    services_.SetStaysOnTop(&window, false);
    QTRY_VERIFY(!Property(window, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    services_.SetStaysOnTop(&window, true);
    QTRY_VERIFY(Property(window, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    QVERIFY(window.isVisible());
    QCOMPARE(window.winId(), id);
    QCOMPARE(window.pos(), where);
    QVERIFY(window.windowFlags().testFlag(Qt::Tool));
    // Turning it into a tool window afterwards does not drop the stacking.
    services_.MakeToolWindow(&window);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// Whatever re-creates or re-maps the window (a new stacking, shown or hidden, new flags), it
// stays out of taskbars and pagers.
void TestWindowServices::theTaskbarSkipOutlivesEveryNewShowing() {
    requireWindowManager();
    QWidget window;
    window.setFixedSize(230, 120);
    services_.MakeToolWindow(&window);
    const auto skipped = [&] {
        const QByteArray state = Property(window, "_NET_WM_STATE");
        return state.contains("_NET_WM_STATE_SKIP_TASKBAR") &&
               state.contains("_NET_WM_STATE_SKIP_PAGER");
    };
    ShowFramed(window);
    QTRY_VERIFY(skipped());
    for (const bool whileShown : {true, false}) {
        for (const bool onTop : {true, false}) {
            if (!whileShown)
                window.hide();
            services_.SetStaysOnTop(&window, onTop);
            window.hide();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTRY_VERIFY2(skipped(), Property(window, "_NET_WM_STATE").constData());
        }
    }
    // New flags give it a new native window.
    window.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY2(skipped(), Property(window, "_NET_WM_STATE").constData());
}

void TestWindowServices::opacityReachesTheWindowManager() {
    requireWindowManager();
    QWidget window;
    window.setFixedSize(100, 50);
    ShowFramed(window);
    QCOMPARE(services_.Opacity(&window), 255);
    services_.SetOpacity(&window, 80);
    QCOMPARE(services_.Opacity(&window), 80);
    // 80 / 255 of the full 32-bit range, exactly.
    QTRY_VERIFY(Property(window, "_NET_WM_WINDOW_OPACITY").contains("= 1347440720"));
    services_.SetOpacity(&window, -5);
    QCOMPARE(services_.Opacity(&window), 0);
    services_.SetOpacity(&window, 999);
    QCOMPARE(services_.Opacity(&window), 255);
}

void TestWindowServices::activationBringsAHiddenWindowToFront() {
    requireWindowManager();
    QWidget ticker;
    ticker.setFixedSize(230, 120);
    services_.MakeToolWindow(&ticker);
    QWidget other;
    other.setFixedSize(200, 200);
    ShowFramed(ticker);
    ShowFramed(other);
    other.activateWindow();
    QTRY_VERIFY(services_.IsForeground(&other));
    QVERIFY(!services_.IsForeground(&ticker));

    ticker.hide();
    QVERIFY(!services_.IsForeground(&ticker));
    services_.ActivateForeground(&ticker);
    QTRY_VERIFY(services_.IsForeground(&ticker));
    QVERIFY(!services_.IsForeground(&other));
    const QByteArray active = test::XServer::Run(
        {QStringLiteral("xprop"), QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
    QVERIFY2(active.contains(QByteArray::number(qulonglong(ticker.winId()), 16)), active);
}

int main(int argc, char** argv) {
    test::XServer server;
    if (!server.Running())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool windowManager = server.StartWindowManager(QStringLiteral("openbox"));
    TestWindowServices test(server, windowManager);
    return QTest::qExec(&test, argc, argv);
}

#include "test_windowservices.moc"
