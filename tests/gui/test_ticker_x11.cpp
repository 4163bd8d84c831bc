// The real ticker binary on a private X server with a real window manager and a loopback quote
// server: the global hot key, the close button, the window's kind as other X clients see it, and
// the position left in the settings file when the program ends through its menu.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "../platform/xserver.h"
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
    QProcess server_;
    QProcess ticker_;
    QByteArray serverLog_;
    QString window_;

    int Downloads() const {
        return static_cast<int>(
            serverLog_.count(QByteArrayLiteral("GET /rates/index.aspx -> 200")));
    }

    // The one viewable client window of the ticker, or "" while there is none.
    QString VisibleWindow() const {
        const QList<QByteArray> ids = Run({QStringLiteral("xdotool"), QStringLiteral("search"),
                                           QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                           QString::number(ticker_.processId())})
                                          .split('\n');
        QStringList found;
        for (const QByteArray& id : ids) {
            if (!id.trimmed().isEmpty())
                found.append(QString::fromLatin1(id.trimmed()));
        }
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

    QPoint StoredPosition() const {
        const TIniFile ini(home_.filePath(QStringLiteral("kestrel.ini")));
        return {ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), -1),
                ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_Y"), -1)};
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
        x_ = std::make_unique<XServer>();
        QVERIFY2(x_->Running(), qPrintable(x_->Missing));
        QVERIFY(x_->StartWindowManager(QStringLiteral("openbox")));

        server_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
        server_.setArguments(
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--fixed")});
        connect(&server_, &QProcess::readyReadStandardError, this,
                [this] { serverLog_ += server_.readAllStandardError(); });
        server_.start();
        QVERIFY(server_.waitForReadyRead(5000));
        const QRegularExpressionMatch listening =
            QRegularExpression(QStringLiteral("listening on (http://\\S+/)"))
                .match(QString::fromLatin1(server_.readAllStandardOutput()));
        QVERIFY(listening.hasMatch());

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
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        ticker_.setProcessEnvironment(env);
        ticker_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"));
        ticker_.setProcessChannelMode(QProcess::ForwardedChannels);
        ticker_.start();
        QVERIFY(ticker_.waitForStarted());
    }

    void cleanupTestCase() {
        for (QProcess* p : {&ticker_, &server_}) {
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
        // Taskbars leave out what asks to be skipped, and utility windows that are transient
        // for another window (Qt's client leader here).
        const QByteArray state = Property(window_, QStringLiteral("_NET_WM_STATE"));
        const QByteArray transient = Property(window_, QStringLiteral("WM_TRANSIENT_FOR"));
        QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR") || transient.contains("window id #"),
                 (state + transient).constData());
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

    void theCloseButtonOnlyHidesAndStoresThePosition() {
        const QPoint frame = FramePosition(window_);
        Key(QStringLiteral("alt+F4"));
        QTRY_VERIFY_WITH_TIMEOUT(!Viewable(window_), 5000);
        QCOMPARE(ticker_.state(), QProcess::Running);
        QCOMPARE(StoredPosition(), frame);

        // Still alive: the hot key brings it back.
        Key(QStringLiteral("F8"));
        QTRY_VERIFY_WITH_TIMEOUT(!(window_ = VisibleWindow()).isEmpty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), window_, 5000);
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
};

}  // namespace

QTEST_GUILESS_MAIN(TestTickerX11)
#include "test_ticker_x11.moc"
