// The ticker comes up whatever the session bus does, and ends within two seconds of being told
// to, in the states that used to hold it: a silent or stopped bus, settings it cannot write.
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "servers/pageserver.h"

using kestrel::test::PageServer;

namespace {

constexpr int kEndMs = 2000;
constexpr char kWatchdogLine[] = "took longer than two seconds";

// A unix socket that takes connections into its queue and never says a word.
class SilentListener {
public:
    explicit SilentListener(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        const QByteArray bytes = QFile::encodeName(path);
        std::memcpy(where.sun_path, bytes.constData(), size_t(bytes.size()));
        ok_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0 &&
              ::listen(fd_, 64) == 0;
    }
    ~SilentListener() { ::close(fd_); }
    bool Ok() const { return ok_; }

private:
    int fd_ = -1;
    bool ok_ = false;
};

// Lets a stopped process go on, however the test ends.
struct Resume {
    qint64 pid;
    ~Resume() {
        if (pid)
            ::kill(pid_t(pid), SIGCONT);
    }
};

class TestEnding : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    PageServer pages_;
    QProcess bus_;
    QString busAddress_;

    QProcessEnvironment Environment(const QString& home, const QString& busAddress) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_HOME"), home);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("http_proxy"));
        return env;
    }

    QString Home(const QString& name) {
        const QString home = dir_.filePath(name);
        QDir().mkpath(home);
        QFile ini(home + QStringLiteral("/kestrel.ini"));
        if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
            ini.write("[Param]\r\nRatesURL=" + pages_.Url().toLatin1() + "\r\n");
        return home;
    }

    // Starts the ticker and waits until its window has come up: its first download asks for
    // the page once the window is on the screen.
    bool StartTicker(QProcess& ticker, const QProcessEnvironment& env) {
        const int hits = pages_.Hits();
        ticker.setProcessEnvironment(env);
        ticker.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), QStringList());
        QElapsedTimer waited;
        waited.start();
        while (pages_.Hits() == hits && waited.elapsed() < 10000 &&
               ticker.state() != QProcess::NotRunning)
            QTest::qWait(20);
        return pages_.Hits() > hits;
    }

    struct Run {
        int status = -1;
        QByteArray err;
        qint64 ms = 0;
    };

    static Run Command(const QString& option, const QProcessEnvironment& env) {
        return Command(QStringList{option}, env);
    }
    static Run Command(const QStringList& arguments, const QProcessEnvironment& env) {
        QProcess p;
        p.setProcessEnvironment(env);
        QElapsedTimer took;
        took.start();
        p.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), arguments);
        if (!p.waitForFinished(10000))
            p.kill();
        Run run;
        run.ms = took.elapsed();
        run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.err = p.readAllStandardError();
        return run;
    }

    // Tells the ticker to end and checks that it did so by itself within the time.
    static void EndTicker(QProcess& ticker, const QString& how, const QProcessEnvironment& env) {
        QElapsedTimer took;
        took.start();
        if (how == QLatin1String("SIGTERM")) {
            ticker.terminate();
        } else {
            const Run run = Command(how, env);
            QVERIFY2(run.status == 0, run.err.constData());
            QVERIFY2(run.ms < kEndMs + 500, qPrintable(QString::number(run.ms)));
        }
        const bool ended = ticker.waitForFinished(kEndMs + 500);
        if (!ended)
            ticker.kill();
        QVERIFY2(ended, "the ticker did not end");
        QVERIFY(took.elapsed() < kEndMs + 1000);
        QCOMPARE(ticker.exitStatus(), QProcess::NormalExit);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        pages_.SetPage(PageServer::RatesPage({{QStringLiteral("欧元美元"), 1.1}}));
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
        QVERIFY2(bus_.waitForReadyRead(5000), "dbus-daemon (dbus) is needed for a session bus");
        busAddress_ = QString::fromLatin1(bus_.readLine().trimmed());
    }

    void cleanupTestCase() {
        ::kill(pid_t(bus_.processId()), SIGCONT);
        bus_.kill();
        bus_.waitForFinished();
    }

    void aSilentBusHoldsNeitherTheWindowNorTheEnd_data() {
        QTest::addColumn<bool>("stoppedDaemon");
        QTest::newRow("a listener that never answers") << false;
        QTest::newRow("a stopped dbus-daemon") << true;
    }
    void aSilentBusHoldsNeitherTheWindowNorTheEnd() {
        QFETCH(bool, stoppedDaemon);
        const QString home = Home(QStringLiteral("silent"));
        const QString socket = dir_.filePath(QStringLiteral("silent-bus"));
        QFile::remove(socket);
        SilentListener listener(socket);
        QVERIFY(listener.Ok());
        const QProcessEnvironment env =
            Environment(home, stoppedDaemon ? busAddress_ : QStringLiteral("unix:path=") + socket);
        if (stoppedDaemon)
            QCOMPARE(::kill(pid_t(bus_.processId()), SIGSTOP), 0);
        const Resume resume{stoppedDaemon ? bus_.processId() : 0};

        QProcess ticker;
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        // Over that bus the running ticker cannot be reached: the command says so in time.
        const Run quit = Command(QStringLiteral("--quit"), env);
        QCOMPARE(quit.status, 1);
        QVERIFY2(quit.err.contains("cannot reach the ticker"), quit.err.constData());
        QVERIFY2(quit.ms < kEndMs + 500, qPrintable(QString::number(quit.ms)));
        EndTicker(ticker, QStringLiteral("SIGTERM"), env);
        const QByteArray err = ticker.readAllStandardError();
        QVERIFY2(err.contains("runs without the session bus"), err.constData());
    }

    void aBusStoppedWhileTheTickerRunsDoesNotHoldTheEnd() {
        QProcess ticker;
        const QProcessEnvironment env = Environment(Home(QStringLiteral("stopped")), busAddress_);
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        QCOMPARE(::kill(pid_t(bus_.processId()), SIGSTOP), 0);
        const Resume resume{bus_.processId()};
        EndTicker(ticker, QStringLiteral("SIGTERM"), env);
    }

    void aTickerThatDoesNotAnswerFailsTheCommandInTime() {
        QProcess ticker;
        const QProcessEnvironment env = Environment(Home(QStringLiteral("hung")), busAddress_);
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        QCOMPARE(::kill(pid_t(ticker.processId()), SIGSTOP), 0);
        {
            const Resume resume{ticker.processId()};
            const Run show = Command(QStringLiteral("--show"), env);
            QCOMPARE(show.status, 1);
            QVERIFY2(show.err.contains("does not answer"), show.err.constData());
            QVERIFY2(show.ms < kEndMs + 500, qPrintable(QString::number(show.ms)));
        }
        EndTicker(ticker, QStringLiteral("SIGTERM"), env);
    }

    void anOpenSettingsDialogDoesNotHoldTheEnd() {
        QProcess ticker;
        const QProcessEnvironment env = Environment(Home(QStringLiteral("dialog")), busAddress_);
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        QCOMPARE(Command(QStringLiteral("--settings"), env).status, 0);
        QTest::qWait(500);
        EndTicker(ticker, QStringLiteral("--quit"), env);
        QVERIFY(!ticker.readAllStandardError().contains(kWatchdogLine));
    }

    // The running ticker opens a chart by any name it knows the instrument by, refuses one it does
    // not know, and a chart open does not hold the end.
    void aChartOpensByName() {
        QProcess ticker;
        const QProcessEnvironment env = Environment(Home(QStringLiteral("chart")), busAddress_);
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        for (const QString& name : {QStringLiteral("EURUSD"), QStringLiteral("欧元美元")}) {
            const Run run = Command({QStringLiteral("--chart"), name}, env);
            QVERIFY2(run.status == 0, run.err.constData());
        }
        const Run unknown = Command({QStringLiteral("--chart"), QStringLiteral("欧元火星")}, env);
        QCOMPARE(unknown.status, 2);
        QVERIFY2(unknown.err.contains("no instrument is named 欧元火星"), unknown.err.constData());
        EndTicker(ticker, QStringLiteral("--quit"), env);
        QVERIFY(!ticker.readAllStandardError().contains(kWatchdogLine));
        // With no ticker there is nothing to ask.
        QCOMPARE(Command({QStringLiteral("--chart"), QStringLiteral("EURUSD")}, env).status, 1);
    }

    void aCommandWithoutDisplayOrTickerSaysSo_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("withBus");
        QTest::newRow("--show, no bus") << "--show" << false;
        QTest::newRow("--toggle, no bus") << "--toggle" << false;
        QTest::newRow("--settings, bus") << "--settings" << true;
        QTest::newRow("--show, bus") << "--show" << true;
    }
    void aCommandWithoutDisplayOrTickerSaysSo() {
        QFETCH(QString, option);
        QFETCH(bool, withBus);
        QProcessEnvironment env = Environment(
            Home(QStringLiteral("nodisplay")),
            withBus ? busAddress_
                    : QStringLiteral("unix:path=") + dir_.filePath(QStringLiteral("none")));
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        const Run run = Command(option, env);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("cannot reach the ticker"), run.err.constData());
    }

    void settingsThatCannotBeWrittenDoNotHoldTheEnd_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("--quit") << "--quit";
        QTest::newRow("SIGTERM") << "SIGTERM";
    }
    void settingsThatCannotBeWrittenDoNotHoldTheEnd() {
        QFETCH(QString, how);
        const QString home = Home(QStringLiteral("readonly"));
        const QString iniPath = home + QStringLiteral("/kestrel.ini");
        QFile ini(iniPath);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray before = ini.readAll();
        ini.close();
        const QByteArray folder = QFile::encodeName(home);
        // Root writes through permission bits: a read-only mount holds it back.
        if (::geteuid() == 0) {
            if (::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0)
                QSKIP("a bind mount is refused here; a read-only folder cannot stop root");
            if (::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                        nullptr) != 0) {
                ::umount2(folder.constData(), MNT_DETACH);
                QSKIP("a read-only remount is refused here");
            }
        } else {
            QVERIFY(QFile::setPermissions(iniPath, QFile::ReadOwner));
            QVERIFY(QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner));
        }
        struct Writable {
            QByteArray folder;
            QString home;
            ~Writable() {
                if (::geteuid() == 0)
                    ::umount2(folder.constData(), MNT_DETACH);
                else
                    QFile::setPermissions(home,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            }
        } writable{folder, home};

        QProcess ticker;
        const QProcessEnvironment env = Environment(home, busAddress_);
        if (!StartTicker(ticker, env))
            QFAIL(ticker.readAllStandardError().constData());
        EndTicker(ticker, how, env);
        const QByteArray err = ticker.readAllStandardError();
        // A box would have held the end until the watchdog cut it short.
        QVERIFY2(!err.contains(kWatchdogLine), err.constData());
        QCOMPARE(ticker.exitCode(), 0);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), before);
    }
};

}  // namespace

QTEST_GUILESS_MAIN(TestEnding)
#include "test_ending.moc"
