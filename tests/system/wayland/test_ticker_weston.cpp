// On a Wayland desktop without layer surfaces (weston here) the ticker runs as an X11 window
// on XWayland, as on any X11 desktop; without XWayland it is a native window, whose place the
// compositor chooses and the settings do not keep.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "settings/profile.h"

using kestrel::TIniFile;

namespace {

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished();
    }
}

}  // namespace

class TestTickerWeston : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;
    QTemporaryDir home_;
    QProcess weston_;
    QProcess bus_;
    QProcess ticker_;
    QByteArray westonLog_;
    QProcessEnvironment env_;

    int Command(const QProcessEnvironment& env, const QString& option) const {
        QProcess command;
        command.setProcessEnvironment(env);
        command.setProcessChannelMode(QProcess::ForwardedChannels);
        command.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), {option});
        if (!command.waitForFinished(10000)) {
            Stop(command);
            return -1;
        }
        return command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
    }

private slots:
    void initTestCase() {
        for (const char* tool : {"weston", "xdotool", "dbus-daemon"}) {
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is not installed (tools/install-deps.sh)")
                                    .arg(QLatin1String(tool))));
        }
        QVERIFY(runtime_.isValid() && home_.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_SOCKET", "DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        weston_.setProcessEnvironment(env);
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        connect(&weston_, &QProcess::readyRead, this, [this] { westonLog_ += weston_.readAll(); });
        weston_.start(
            QStringLiteral("weston"),
            {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--xwayland"),
             QStringLiteral("--socket=wayland-kestrel"), QStringLiteral("--idle-time=0")});
        const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
        QTRY_VERIFY_WITH_TIMEOUT(listening.match(QString::fromLatin1(westonLog_)).hasMatch() ||
                                     weston_.state() == QProcess::NotRunning,
                                 15000);
        const QString display = listening.match(QString::fromLatin1(westonLog_)).captured(1);
        if (display.isEmpty())
            QSKIP(qPrintable(QStringLiteral("weston cannot start here: ") +
                             QString::fromLocal8Bit(westonLog_.right(600))));

        env_ = env;
        env_.insert(QStringLiteral("DISPLAY"), display);
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        QVERIFY(bus_.waitForReadyRead(5000));
        env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                    QString::fromLatin1(bus_.readLine()).trimmed());
        env_.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-kestrel"));
    }

    void cleanupTestCase() {
        for (QProcess* p : {&ticker_, &bus_, &weston_})
            Stop(*p);
    }

    void theTickerRunsOnXWayland() {
        QProcessEnvironment env = env_;
        env.insert(QStringLiteral("KESTREL_HOME"), home_.path());
        QFile ini(QDir(home_.path()).filePath(QStringLiteral("kestrel.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // Nothing listens on port 1: the window comes up all the same, with the failure shown.
        ini.write("[Param]\r\nAutoPrompt=0\r\nRatesURL=http://127.0.0.1:1/rates/index.aspx\r\n");
        ini.close();
        ticker_.setProcessEnvironment(env);
        ticker_.setProcessChannelMode(QProcess::ForwardedChannels);
        ticker_.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), {});
        QVERIFY(ticker_.waitForStarted());

        // Its window is one of XWayland's.
        const auto windows = [&] {
            QProcess search;
            search.setProcessEnvironment(env);
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--pid"), QString::number(ticker_.processId())});
            search.waitForFinished(5000);
            return search.readAllStandardOutput().trimmed();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!windows().isEmpty(), 15000);
        QCOMPARE(ticker_.state(), QProcess::Running);
        QCOMPARE(Command(env, QStringLiteral("--quit")), 0);
        QVERIFY(ticker_.waitForFinished(10000));
    }

    void aNativeWindowKeepsNoPosition() {
        QTemporaryDir home;
        QProcessEnvironment env = env_;
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("KESTREL_HOME"), home.path());
        TIniFile ini(home.filePath(QStringLiteral("kestrel.ini")));
        ini.WriteString(QStringLiteral("Param"), QStringLiteral("RatesURL"),
                        QStringLiteral("http://127.0.0.1:1/rates/index.aspx"));
        ini.WriteInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), 300);
        ticker_.setProcessEnvironment(env);
        ticker_.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), {});
        QVERIFY(ticker_.waitForStarted());
        // --refresh, unlike --show, never starts a ticker of its own.
        QTRY_COMPARE_WITH_TIMEOUT(Command(env, QStringLiteral("--refresh")), 0, 15000);
        QCOMPARE(Command(env, QStringLiteral("--quit")), 0);
        QVERIFY(ticker_.waitForFinished(10000));
        QCOMPARE(ticker_.exitCode(), 0);
        // What the compositor made of the stored place is not written back over it.
        QCOMPARE(ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_X"), -1), 300);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Form"), QStringLiteral("Pos_Y"), -1), -1);
    }
};

QTEST_GUILESS_MAIN(TestTickerWeston)
#include "test_ticker_weston.moc"
