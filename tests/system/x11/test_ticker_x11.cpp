// The real ticker binary on a private X server with a real window manager, a private session bus
// and a loopback quote server: the global hot key, the close button with and without a tray,
// tray hosts that start after the program, one ticker per settings file and the commands sent to
// it, the window's kind as other X clients see it, the position left in the settings file when
// the program ends through its menu or a signal, the weekend start that ends at once, and the
// keyboard that stays with the program the user types in.
#include <signal.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "../../platform/xserver.h"
#include "settings/profile.h"

using kestrel::TIniFile;
using kestrel::test::XServer;

namespace {

QByteArray Run(const QStringList& command) {
    return XServer::Run(command);
}

bool Viewable(const QString& window) {
    return Run({QStringLiteral("xwininfo"), QStringLiteral("-id"), window})
        .contains("Map State: IsViewable");
}

QString ActiveWindow() {
    return QString::fromLatin1(Run({QStringLiteral("xdotool"), QStringLiteral("getactivewindow")}))
        .trimmed();
}

QByteArray Property(const QString& window, const QString& name) {
    return Run({QStringLiteral("xprop"), QStringLiteral("-id"), window, name});
}

// The numbers of a CARDINAL property such as _NET_FRAME_EXTENTS.
QList<int> Cardinals(const QString& window, const QString& name) {
    QList<int> values;
    const QByteArray text = Property(window, name);
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return values;
    for (const QByteArray& part : text.mid(eq + 1).split(','))
        values.append(part.trimmed().toInt());
    return values;
}

void Key(const QString& keys) {
    Run({QStringLiteral("xdotool"), QStringLiteral("key"), keys});
}

class TestTickerX11 : public QObject {
    Q_OBJECT

    std::unique_ptr<XServer> x_;
    QTemporaryDir home_;
    QProcess bus_;
    QProcess tray_;
    QProcess server_;
    QProcess ticker_;
    QByteArray serverLog_;
    QString window_;
    QString url_;

    int Downloads() const {
        return static_cast<int>(
            serverLog_.count(QByteArrayLiteral("GET /rates/index.aspx -> 200")));
    }

    // The one viewable client window of the ticker, or "" while there is none.
    QString VisibleWindow() const { return VisibleWindow(ticker_); }
    static QString VisibleWindow(const QProcess& ticker) {
        const QStringList found = WindowsOf(ticker);
        return found.size() == 1 ? found.first() : QString();
    }

    // The frame's top-left corner on the screen: what the program stores as its position.
    QPoint FramePosition(const QString& window) const {
        const QByteArray info = Run({QStringLiteral("xwininfo"), QStringLiteral("-id"), window});
        const auto number = [&](const char* label) {
            const QRegularExpression re(QString::fromLatin1(label) +
                                        QStringLiteral(":\\s+(-?\\d+)"));
            return re.match(QString::fromLatin1(info)).captured(1).toInt();
        };
        const QList<int> extents = Cardinals(window, QStringLiteral("_NET_FRAME_EXTENTS"));
        const int left = extents.size() == 4 ? extents[0] : 0;
        const int top = extents.size() == 4 ? extents[2] : 0;
        return {number("Absolute upper-left X") - left, number("Absolute upper-left Y") - top};
    }

    static int ClientHeight(const QString& window) {
        const QByteArray info = Run({QStringLiteral("xwininfo"), QStringLiteral("-id"), window});
        return QRegularExpression(QStringLiteral("Height:\\s+(\\d+)"))
            .match(QString::fromLatin1(info))
            .captured(1)
            .toInt();
    }

    QPoint StoredPosition(const QString& home = {}) const {
        const TIniFile ini(
            QDir(home.isEmpty() ? home_.path() : home).filePath(QStringLiteral("kestrel.ini")));
        return {ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), -1),
                ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_Y"), -1)};
    }

    // A settings file in a home of its own that reads from the test's quote server; `query`
    // chooses a fault of the server.
    void WriteSettings(const QString& home, const QString& extra, const QString& query = {}) const {
        QFile file(QDir(home).filePath(QStringLiteral("kestrel.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write((QStringLiteral("[Param]\r\nProxyType=1\r\nInterval=1\r\nRatesURL=") + url_ +
                    QStringLiteral("rates/index.aspx") + query + QStringLiteral("\r\n") + extra)
                       .toUtf8());
    }

    // Another ticker on the same display, with its files and hot-key lock in `home`.
    void StartTicker(QProcess& ticker, const QString& home, const QStringList& arguments = {},
                     const QStringList& prefix = {}) const {
        QProcessEnvironment env = ticker_.processEnvironment();
        env.insert(QStringLiteral("KESTREL_HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
        // A prefix such as faketime preloads itself ahead of a sanitizer build's runtime.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        ticker.setProcessEnvironment(env);
        const QString binary = QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel");
        ticker.setProgram(prefix.isEmpty() ? binary : prefix.first());
        ticker.setArguments(prefix.isEmpty() ? arguments
                                             : prefix.mid(1) + QStringList{binary} + arguments);
        ticker.start();
        QVERIFY(ticker.waitForStarted());
    }

    // The viewable windows of a process.
    static QStringList WindowsOf(const QProcess& process, const QString& name = {}) {
        QStringList command{QStringLiteral("xdotool"), QStringLiteral("search"),
                            QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                            QString::number(process.processId())};
        // xdotool matches any of its conditions unless told to match them all.
        if (!name.isEmpty())
            command << QStringLiteral("--all") << QStringLiteral("--name") << name;
        QStringList found;
        for (const QByteArray& id : Run(command).split('\n')) {
            const QString window = QString::fromLatin1(id.trimmed());
            // Only what the window manager manages: an embedded tray icon is viewable too.
            if (!window.isEmpty() &&
                Property(window, QStringLiteral("WM_STATE")).contains("window state"))
                found.append(window);
        }
        return found;
    }

    // Whether the window manager stacks `upper` above `lower` (its list goes bottom to top).
    static bool Above(const QString& upper, const QString& lower) {
        QStringList order;
        const QByteArray text = Run({QStringLiteral("xprop"), QStringLiteral("-root"),
                                     QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        for (const QByteArray& part : text.mid(text.indexOf('#') + 1).split(','))
            order.append(QString::number(part.trimmed().toULongLong(nullptr, 16)));
        return order.contains(lower) && order.indexOf(upper) > order.indexOf(lower);
    }

    // Types a key and waits for the typing window (xev) to report it.
    static void TypeAndExpect(QProcess& typing) {
        typing.readAllStandardOutput();
        Run({QStringLiteral("xdotool"), QStringLiteral("type"), QStringLiteral("q")});
        QByteArray seen;
        QTRY_VERIFY_WITH_TIMEOUT(
            (seen += typing.readAllStandardOutput()).contains("keysym 0x71, q"), 3000);
    }

    // Runs `kestrel OPTION` on the test's settings (or those in `home`) and returns its status.
    int Command(const QString& option, const QString& home = {}) const {
        QProcess command;
        QProcessEnvironment env = ticker_.processEnvironment();
        if (!home.isEmpty())
            env.insert(QStringLiteral("KESTREL_HOME"), home);
        command.setProcessEnvironment(env);
        command.setProcessChannelMode(QProcess::ForwardedChannels);
        command.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"),
                      option.isEmpty() ? QStringList() : QStringList{option});
        if (!command.waitForFinished(10000)) {
            Stop(command);
            return -1;
        }
        return command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
    }

    // The ticker's window that a window of class `host` holds (its embedded tray icon), or "".
    QString EmbeddedIn(const QByteArray& host) const {
        const QByteArray all = Run({QStringLiteral("xdotool"), QStringLiteral("search"),
                                    QStringLiteral("--pid"), QString::number(ticker_.processId())});
        for (const QByteArray& id : all.split('\n')) {
            const QString own = QString::fromLatin1(id.trimmed());
            QString window = own;
            for (int depth = 0; !window.isEmpty() && depth < 10; ++depth) {
                const QString tree =
                    QString::fromLatin1(Run({QStringLiteral("xwininfo"), QStringLiteral("-tree"),
                                             QStringLiteral("-id"), window}));
                const auto idOf = [&](const char* label) {
                    return QRegularExpression(QString::fromLatin1(label) +
                                              QStringLiteral(" window id: (0x[0-9a-f]+)"))
                        .match(tree)
                        .captured(1);
                };
                const QString parent = idOf("Parent");
                if (parent.isEmpty() || parent == idOf("Root"))
                    break;
                if (Property(parent, QStringLiteral("WM_CLASS")).contains(host))
                    return own;
                window = parent;
            }
        }
        return {};
    }

    static void Stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished();
    }

private slots:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xdotool", "openbox"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        }
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty() &&
                     !QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty(),
                 "xprop and xwininfo (x11-utils) are needed beside Xvfb");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(),
                 "dbus-daemon (dbus) is needed for the private session bus");
        // A bus of the test's own: the tickers' names stay apart from the user's, and without a
        // StatusNotifier watcher on it Qt embeds its tray icon into XEmbed trays.
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        QVERIFY(bus_.waitForReadyRead(5000));
        const QString busAddress = QString::fromLatin1(bus_.readLine()).trimmed();
        QVERIFY(!busAddress.isEmpty());
        x_ = std::make_unique<XServer>();
        QVERIFY2(x_->Running(), qPrintable(x_->Missing));
        QVERIFY2(x_->StartWindowManager(QStringLiteral("openbox")), qPrintable(x_->Missing));

        server_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
        server_.setArguments({QStringLiteral("--port"), QStringLiteral("0"),
                              QStringLiteral("--source"), QStringLiteral("walk"),
                              QStringLiteral("--fixed")});
        connect(&server_, &QProcess::readyReadStandardError, this,
                [this] { serverLog_ += server_.readAllStandardError(); });
        server_.start();
        QVERIFY(server_.waitForReadyRead(5000));
        const QRegularExpressionMatch listening =
            QRegularExpression(QStringLiteral("listening on (http://\\S+/)"))
                .match(QString::fromLatin1(server_.readAllStandardOutput()));
        QVERIFY(listening.hasMatch());
        url_ = listening.captured(1);

        QVERIFY(home_.isValid());
        TIniFile ini(home_.filePath(QStringLiteral("kestrel.ini")));
        ini.WriteString(QStringLiteral("Param"), QStringLiteral("RatesURL"),
                        listening.captured(1) + QStringLiteral("rates/index.aspx"));
        ini.WriteInteger(QStringLiteral("Param"), QStringLiteral("ProxyType"), 1);
        ini.WriteInteger(QStringLiteral("Param"), QStringLiteral("Interval"), 1);
        ini.WriteInteger(QStringLiteral("Param"), QStringLiteral("AutoPrompt"), 0);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x_->Display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("KESTREL_HOME"), home_.path());
        // The hot-key lock and the tray stay apart from a ticker of the person running the tests.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        ticker_.setProcessEnvironment(env);
        ticker_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"));
        ticker_.setProcessChannelMode(QProcess::ForwardedChannels);
        ticker_.start();
        QVERIFY(ticker_.waitForStarted());
    }

    void cleanupTestCase() {
        for (QProcess* p : {&ticker_, &tray_, &server_, &bus_}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000))
                    p->kill();
                p->waitForFinished();
            }
        }
        x_.reset();
    }

    void theWindowComesUpAndShowsQuotes() {
        QTRY_VERIFY_WITH_TIMEOUT(!(window_ = VisibleWindow()).isEmpty(), 10000);
        // The next download starts only after the last one has been drawn.
        QTRY_VERIFY_WITH_TIMEOUT(Downloads() >= 2, 10000);
        QVERIFY(!serverLog_.contains("-> 5"));
    }

    void itIsAToolWindowWithoutATaskbarEntry() {
        const QByteArray type = Property(window_, QStringLiteral("_NET_WM_WINDOW_TYPE"));
        // The first type is the one a window manager takes; the others are fallbacks.
        QVERIFY2(type.contains("= _NET_WM_WINDOW_TYPE_UTILITY"), type.constData());
        // Panels such as tint2 list utility windows all the same: the window asks to be skipped.
        const QByteArray state = Property(window_, QStringLiteral("_NET_WM_STATE"));
        QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR"), state.constData());
        QVERIFY2(state.contains("_NET_WM_STATE_SKIP_PAGER"), state.constData());
    }

    void theHotKeyHidesTheWindowInFrontAndBringsItBack() {
        if (ActiveWindow() != window_)
            Run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), window_});
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);

        Key(QStringLiteral("F8"));
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        QVERIFY(VisibleWindow().isEmpty());

        Key(QStringLiteral("F8"));
        QTRY_VERIFY_WITH_TIMEOUT(!(window_ = VisibleWindow()).isEmpty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);
    }

    // "总是在最前面" from the menu, on and off again, then hidden and shown by the hot key: the
    // window that comes back stays out of the taskbar, and stacks as the menu says.
    void switchingOnTopKeepsTheWindowOutOfTheTaskbar() {
        for (const bool onTop : {true, false}) {
            Run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"),
                 QStringLiteral("--sync"), window_});
            Run({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
                 window_, QStringLiteral("30"), QStringLiteral("30"), QStringLiteral("click"),
                 QStringLiteral("3")});
            QTest::qWait(500);  // the menu comes up: 设置..., 重新读取牌价, 走势图..., 总是在最前面
            for (const char* key : {"Down", "Down", "Down", "Down", "Return"})
                Key(QString::fromLatin1(key));
            QTRY_COMPARE_WITH_TIMEOUT(
                Property(window_, QStringLiteral("_NET_WM_STATE")).contains("_NET_WM_STATE_ABOVE"),
                onTop, 5000);
            Key(QStringLiteral("F8"));
            QTRY_VERIFY_WITH_TIMEOUT(VisibleWindow().isEmpty(), 5000);
            Key(QStringLiteral("F8"));
            QTRY_VERIFY_WITH_TIMEOUT(!(window_ = VisibleWindow()).isEmpty(), 5000);
            const auto state = [this] {
                return Property(window_, QStringLiteral("_NET_WM_STATE"));
            };
            QTRY_VERIFY2_WITH_TIMEOUT(state().contains("_NET_WM_STATE_SKIP_TASKBAR") &&
                                          state().contains("_NET_WM_STATE_SKIP_PAGER"),
                                      state().constData(), 5000);
            QCOMPARE(state().contains("_NET_WM_STATE_ABOVE"), onTop);
        }
    }

    // With no tray a hidden window could not be found again: it stays, and says so once.
    void withoutATrayTheCloseButtonKeepsTheWindow() {
        const QString message = QStringLiteral("^信息$");
        Key(QStringLiteral("alt+F4"));
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(!(box = WindowsOf(ticker_, message).value(0)).isEmpty(), 5000);
        QVERIFY(Property(window_, QStringLiteral("WM_STATE")).contains("Normal"));
        // The box takes the keyboard as it comes up.
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), box, 5000);
        Key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(WindowsOf(ticker_, message).isEmpty(), 5000);

        Run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), QStringLiteral("--sync"),
             window_});
        Key(QStringLiteral("alt+F4"));
        QTest::qWait(1000);
        QVERIFY(Property(window_, QStringLiteral("WM_STATE")).contains("Normal"));
        QVERIFY(WindowsOf(ticker_, message).isEmpty());
    }

    void aTrayThatStartsLaterGetsTheIcon() {
        QVERIFY(EmbeddedIn("trayer").isEmpty());
        tray_.start(QStringLiteral("trayer"),
                    {QStringLiteral("--edge"), QStringLiteral("bottom"),
                     QStringLiteral("--SetDockType"), QStringLiteral("true")});
        QVERIFY(tray_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!EmbeddedIn("trayer").isEmpty(), 20000);
        // Qt and the host watch may both dock the icon, the second time in a new window: the
        // tests that click it wait until it has settled.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QString now = EmbeddedIn("trayer");
                QTest::qWait(2500);
                return !now.isEmpty() && now == EmbeddedIn("trayer");
            }(),
            20000);
    }

    void theCloseButtonOnlyHidesAndStoresThePosition() {
        const QPoint frame = FramePosition(window_);
        Key(QStringLiteral("alt+F4"));
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        QCOMPARE(ticker_.state(), QProcess::Running);
        QCOMPARE(StoredPosition(), frame);

        // Still alive: the hot key brings it back, still without a taskbar entry (a window
        // manager drops the state of a window that it unmaps).
        Key(QStringLiteral("F8"));
        QTRY_VERIFY_WITH_TIMEOUT(!(window_ = VisibleWindow()).isEmpty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);
        QVERIFY(Property(window_, QStringLiteral("_NET_WM_STATE")).contains("SKIP_TASKBAR"));
    }

    // A click on the icon hides the window in front and brings back a hidden or covered one.
    void aTrayClickTogglesTheWindow() {
        const auto click = [this] {
            QString icon;
            QTRY_VERIFY_WITH_TIMEOUT(!(icon = EmbeddedIn("trayer")).isEmpty(), 5000);
            Run({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
                 icon, QStringLiteral("4"), QStringLiteral("4"), QStringLiteral("click"),
                 QStringLiteral("1")});
        };
        QVERIFY(Viewable(window_));
        click();
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        click();
        QTRY_VERIFY_WITH_TIMEOUT(Viewable(window_), 5000);

        // Covered by another window, the click brings it up instead of hiding it.
        QProcess cover;
        cover.start(QStringLiteral("xev"),
                    {QStringLiteral("-name"), QStringLiteral("cover"), QStringLiteral("-geometry"),
                     QStringLiteral("4000x4000+0+0")});
        QString coverWindow;
        QTRY_VERIFY_WITH_TIMEOUT(!(coverWindow = QString::fromLatin1(
                                       Run({QStringLiteral("xdotool"), QStringLiteral("search"),
                                            QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--name"), QStringLiteral("^cover$")})
                                           .trimmed()))
                                      .isEmpty(),
                                 5000);
        Run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), QStringLiteral("--sync"),
             coverWindow});
        QTRY_VERIFY_WITH_TIMEOUT(Above(coverWindow, window_), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), coverWindow, 3000);
        QTest::qWait(500);  // a user's hand moves to the tray in no less
        click();
        QTRY_VERIFY_WITH_TIMEOUT(Above(window_, coverWindow), 5000);
        QVERIFY(Viewable(window_));
        Stop(cover);
    }

    // A panel restarted, or another one started in its place, gets the icon too.
    void aTrayThatReplacesAnotherGetsTheIcon() {
        Stop(tray_);
        QTRY_VERIFY_WITH_TIMEOUT(EmbeddedIn("trayer").isEmpty(), 5000);
        tray_.start(QStringLiteral("tint2"));
        QVERIFY(tray_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!EmbeddedIn("tint2").isEmpty(), 20000);
        Stop(tray_);
    }

    // One ticker per settings file: a second start hands over and ends, and the commands reach
    // the running one.
    void aSecondStartShowsTheRunningTicker() {
        QCOMPARE(Command(QStringLiteral("--hide")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        QCOMPARE(Command({}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Viewable(window_), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);
        QCOMPARE(WindowsOf(ticker_).size(), 1);

        QCOMPARE(Command(QStringLiteral("--toggle")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        QCOMPARE(Command(QStringLiteral("--toggle")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Viewable(window_), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);
        QCOMPARE(Command(QStringLiteral("--refresh")), 0);
        QCOMPARE(ticker_.state(), QProcess::Running);
    }

    void tickersOnOtherSettingsRunSideBySide() {
        QTemporaryDir home;
        WriteSettings(home.path(), {});
        QProcess other;
        StartTicker(other, home.path());
        QTRY_VERIFY_WITH_TIMEOUT(!VisibleWindow(other).isEmpty(), 10000);
        QVERIFY(Viewable(window_));
        QCOMPARE(Command(QStringLiteral("--quit"), home.path()), 0);
        const bool ended = other.waitForFinished(5000);
        Stop(other);
        QVERIFY(ended);
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(ticker_.state(), QProcess::Running);
        // Nothing runs on those settings now: the commands that start nothing say so.
        QCOMPARE(Command(QStringLiteral("--hide"), home.path()), 1);
        QCOMPARE(Command(QStringLiteral("--refresh"), home.path()), 1);
        QCOMPARE(Command(QStringLiteral("--quit"), home.path()), 1);
    }

    void quittingFromTheMenuLeavesTheLastPosition() {
        Run({QStringLiteral("xdotool"), QStringLiteral("windowmove"), QStringLiteral("--sync"),
             window_, QStringLiteral("300"), QStringLiteral("200")});
        QTRY_VERIFY_WITH_TIMEOUT(FramePosition(window_) != StoredPosition(), 3000);
        const QPoint frame = FramePosition(window_);

        // A right click on the quotes opens the menu; its last item is 退出.
        Run({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
             window_, QStringLiteral("30"), QStringLiteral("30"), QStringLiteral("click"),
             QStringLiteral("3")});
        QTest::qWait(500);
        Key(QStringLiteral("Up"));
        Key(QStringLiteral("Return"));
        QVERIFY(ticker_.waitForFinished(5000));
        QCOMPARE(ticker_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ticker_.exitCode(), 0);
        QCOMPARE(StoredPosition(), frame);
    }

    void aSignalEndsItAsQuittingDoes_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void aSignalEndsItAsQuittingDoes() {
        QFETCH(int, signal);
        QTemporaryDir home;
        // The move comes after the first page has sized the window, so that it is the last word
        // even in a slow (instrumented) build.
        const QString query = QStringLiteral("?signal=%1").arg(signal);
        WriteSettings(home.path(), {}, query);
        QProcess ticker;
        StartTicker(ticker, home.path());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT((window = VisibleWindow(ticker)) != QString(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            serverLog_.contains((query + QStringLiteral(" -> 200")).toLatin1()), 10000);
        QTest::qWait(500);
        Run({QStringLiteral("xdotool"), QStringLiteral("windowmove"), QStringLiteral("--sync"),
             window, QStringLiteral("250"), QStringLiteral("150")});
        QTRY_VERIFY_WITH_TIMEOUT(FramePosition(window) != StoredPosition(home.path()), 3000);
        const QPoint frame = FramePosition(window);

        ::kill(static_cast<pid_t>(ticker.processId()), signal);
        const bool ended = ticker.waitForFinished(5000);
        Stop(ticker);
        QVERIFY(ended);
        QCOMPARE(ticker.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ticker.exitCode(), 0);
        QCOMPARE(StoredPosition(home.path()), frame);
    }

    // Dragged by its title bar while the first page is on its way, the window stays where the
    // user put it when the page comes and sizes it.
    void aWindowMovedBeforeTheFirstPageStaysThere() {
        QTemporaryDir home;
        WriteSettings(home.path(), {}, QStringLiteral("?delay_ms=1500"));
        const auto delayed = [this] {
            return serverLog_.count(QByteArrayLiteral("?delay_ms=1500 -> 200"));
        };
        QProcess ticker;
        StartTicker(ticker, home.path());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT((window = VisibleWindow(ticker)) != QString(), 10000);
        const int startHeight = ClientHeight(window);
        Run({QStringLiteral("xdotool"), QStringLiteral("windowmove"), QStringLiteral("--sync"),
             window, QStringLiteral("200"), QStringLiteral("100")});
        QTRY_VERIFY_WITH_TIMEOUT(FramePosition(window) != StoredPosition(home.path()), 3000);
        const QPoint moved = FramePosition(window);
        QCOMPARE(delayed(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(delayed() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(ClientHeight(window) != startHeight, 5000);
        QCOMPARE(FramePosition(window), moved);
        Stop(ticker);
    }

    void aWeekendAutomaticStartEndsEveryTime() {
        const QString faketime = QStandardPaths::findExecutable(QStringLiteral("faketime"));
        if (faketime.isEmpty())
            QSKIP("faketime is not installed");
        QTemporaryDir home;
        WriteSettings(home.path(), QStringLiteral("[Form]\r\nNotRunWeekEnd=1\r\n"));
        // With a tray to embed the icon in, the end of the run once raced the icon's window.
        QProcess tray;
        tray.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("bottom"),
                    QStringLiteral("--SetDockType"), QStringLiteral("true")});
        int ended = 0;
        constexpr int kRuns = 20;
        for (int run = 0; run < kRuns; ++run) {
            QProcess ticker;
            // A Saturday.
            StartTicker(ticker, home.path(), {QStringLiteral("-AUTO")},
                        {faketime, QStringLiteral("-f"), QStringLiteral("@2026-12-12 09:30:00")});
            // A start that hangs never ends; a slow one on a busy machine still does.
            if (ticker.waitForFinished(15000) && ticker.exitCode() == 0)
                ++ended;
            else
                qInfo("run %d: state %d, exit code %d", run, int(ticker.state()),
                      ticker.exitCode());
            Stop(ticker);
        }
        Stop(tray);
        qInfo("%d of %d automatic weekend starts ended", ended, kRuns);
        QCOMPARE(ended, kRuns);
    }

    // An order window, say, has the keyboard: neither the start-up, the periodic pop-up nor the
    // alarm takes it, and what the user types keeps going there.
    void theKeyboardStaysWithTheWindowTheUserTypesIn() {
        QProcess typing;
        // Unbuffered, so that each key shows at once.
        typing.start(
            QStringLiteral("stdbuf"),
            {QStringLiteral("-o0"), QStringLiteral("xev"), QStringLiteral("-event"),
             QStringLiteral("keyboard"), QStringLiteral("-name"), QStringLiteral("order")});
        QVERIFY(typing.waitForStarted());
        // xev does not announce its process id: found by its name.
        QString other;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(other = QString::fromLatin1(Run({QStringLiteral("xdotool"), QStringLiteral("search"),
                                               QStringLiteral("--onlyvisible"),
                                               QStringLiteral("--name"), QStringLiteral("^order$")})
                                              .trimmed()))
                 .isEmpty(),
            5000);
        Run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), QStringLiteral("--sync"),
             other});
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), other, 3000);

        QTemporaryDir home;
        // A pop-up every two counted seconds; the alarm at 1.1650 for 欧元美元 (now 1.1600).
        WriteSettings(home.path(), QStringLiteral("PromptInterval=0\r\nUseMonitor=1\r\n"
                                                  "MonitorCcy=欧元美元\r\nMonitorPrice=1.165\r\n"));
        QProcess ticker;
        StartTicker(ticker, home.path());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT((window = VisibleWindow(ticker)) != QString(), 10000);
        QTest::qWait(500);
        QCOMPARE(ActiveWindow(), other);

        // The pop-up puts the ticker above the other window again, and leaves the keyboard.
        Run({QStringLiteral("xdotool"), QStringLiteral("windowraise"), other});
        QTRY_VERIFY_WITH_TIMEOUT(Above(other, window), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(Above(window, other), 6000);
        QCOMPARE(ActiveWindow(), other);
        TypeAndExpect(typing);

        // The alarm comes up in front, without a taskbar entry, and leaves the keyboard too.
        Run({QStringLiteral("curl"), QStringLiteral("-fsS"), QStringLiteral("-o"),
             QStringLiteral("/dev/null"),
             url_ + QStringLiteral(
                        "rates/index.aspx?set=%E6%AC%A7%E5%85%83%E7%BE%8E%E5%85%83:1.1700")});
        QString alarm;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(alarm = WindowsOf(ticker, QStringLiteral("^到达警报价格$")).value(0)).isEmpty(),
            10000);
        QTest::qWait(2500);  // the alarm pushes itself to the front every second
        QCOMPARE(ActiveWindow(), other);
        QVERIFY(Property(alarm, QStringLiteral("_NET_WM_STATE")).contains("SKIP_TASKBAR"));
        TypeAndExpect(typing);

        Stop(ticker);
        Stop(typing);
    }
};

}  // namespace

QTEST_GUILESS_MAIN(TestTickerX11)
#include "test_ticker_x11.moc"
