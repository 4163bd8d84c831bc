#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "../../platform/xserver.h"
#include "platform/helperlaunch.h"
#include "platform/modules.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/minisign.h"

using namespace kestrel;
using kestrel::test::XServer;

namespace {

const QString kFakeProgram = QStringLiteral(KESTREL_BINARY_DIR "/bin/upgrade_fakeprogram");

int ModeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool Chmod(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes, int mode) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return Chmod(path, mode);
}

QByteArray HelperBytes() {
    QFile resource(QStringLiteral(":/upgrade/kestrel-update-helper"));
    return resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
}

// The new version: the same program with bytes of its own behind (an ELF file runs as well
// with data appended), so that the file that runs tells which version it is.
QByteArray NewVersion() {
    return ReadFile(kFakeProgram) + QByteArray("\n#kestrel 0.91\n");
}

// A staging folder beside the program with the given downloads, marked ready; its name.
QString Stage(const QString& folder, const QList<std::pair<QString, QByteArray>>& files) {
    const QString name = QStringLiteral(".kestrel-upgrade-e2e001");
    const QString staging = folder + name + u'/';
    if (!QDir().mkdir(staging) || !Chmod(staging, 0700) ||
        !WriteFile(staging + QLatin1String(helper::kReadyMark), {}, 0600))
        return {};
    for (const auto& [file, bytes] : files) {
        if (!WriteFile(staging + file, bytes, 0600))
            return {};
    }
    return name;
}

QStringList StagingFolders(const QString& folder) {
    return QDir(folder).entryList({QLatin1String(helper::kStagingPrefix) + u'*'},
                                  QDir::Dirs | QDir::Hidden);
}

QString Line(const char* name, qsizetype size, const char* args) {
    return QStringLiteral("%1 %2 %3").arg(QLatin1String(name)).arg(size).arg(QLatin1String(args));
}

QString Window(const QStringList& search) {
    const QByteArray found =
        XServer::Run(QStringList{"xdotool", "search", "--onlyvisible"} + search);
    const QList<QByteArray> ids = found.trimmed().split('\n');
    return ids.size() == 1 ? QString::fromLatin1(ids.first()) : QString();
}

}  // namespace

class TestUpgradeEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_marker;

    QStringList Marks() const {
        return QString::fromUtf8(ReadFile(m_marker)).split(u'\n', Qt::SkipEmptyParts);
    }

    // A program folder inside the test's root with the old program in it.
    QString ProgramFolder(const char* name) {
        const QString folder = m_root.filePath(QLatin1String(name)) + u'/';
        if (!QDir().mkpath(folder) || !QFile::copy(kFakeProgram, folder + "kestrel") ||
            !Chmod(folder + "kestrel", 0755))
            return {};
        return folder;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_root.isValid());
        QVERIFY(!HelperBytes().isEmpty());
        // Others (the unprivileged run below) may pass through and leave marks.
        QVERIFY(Chmod(m_root.path(), 0755));
        const QString marks = m_root.filePath(QStringLiteral("marks"));
        QVERIFY(QDir().mkpath(marks));
        QVERIFY(Chmod(marks, 0777));
        m_marker = marks + QStringLiteral("/started");
        qputenv("KESTREL_FAKE_MARKER", QFile::encodeName(m_marker));
    }
    void init() { QFile::remove(m_marker); }

    // The helper waits while the program runs, then moves the staged set in place (the
    // program still executable) and starts the new program with the restart text as its only
    // argument. It runs from sealed memory: nothing of it is written to a folder.
    void replacesTheProgramOnceItEnds() {
        const QString folder = ProgramFolder("self");
        QVERIFY(!folder.isEmpty());
        const QByteArray old = ReadFile(folder + "kestrel");
        const QByteArray fresh = NewVersion();
        QVERIFY(WriteFile(folder + "kestrel-quoted", "#!/bin/sh\n# old\n", 0755));
        const QString staging =
            Stage(folder, {{"kestrel.uTMP", fresh}, {"kestrel-quoted.uTMP", "#!/bin/sh\n# new\n"}});
        QVERIFY(!staging.isEmpty());

        QProcess running;
        running.start(folder + "kestrel", {QStringLiteral("--hold"), QStringLiteral("4000")});
        QVERIFY(running.waitForStarted());
        QVERIFY(LaunchHelperFrom(HelperBytes(), folder + "kestrel",
                                 QStringLiteral("+/afterupgrade0"), staging, -1));
        // Well inside the program's four seconds: the helper must still be waiting.
        QTest::qWait(1000);
        QCOMPARE(ReadFile(folder + "kestrel"), old);
        QVERIFY(Marks().isEmpty());

        QVERIFY(running.waitForFinished(20000));
        QTRY_COMPARE_WITH_TIMEOUT(
            Marks(), QStringList{Line("kestrel", fresh.size(), "/afterupgrade")}, 20000);
        QCOMPARE(ReadFile(folder + "kestrel"), fresh);
        QCOMPARE(ModeOf(folder + "kestrel"), 0755);
        QCOMPARE(ReadFile(folder + "kestrel-quoted"), QByteArray("#!/bin/sh\n# new\n"));
        QTRY_VERIFY_WITH_TIMEOUT(StagingFolders(folder).isEmpty(), 5000);
        QVERIFY(!QFile::exists(folder + "kestrel.old"));
    }

    // A new program that ends at once with an error: the old one is back and started with the
    // flag that makes it say so.
    void failedProgramIsRolledBack() {
        const QString folder = ProgramFolder("failing");
        QVERIFY(!folder.isEmpty());
        const QByteArray old = ReadFile(folder + "kestrel");
        const QString staging = Stage(folder, {{"kestrel.uTMP", "#!/bin/sh\nexit 1\n"}});
        QVERIFY(LaunchHelperFrom(HelperBytes(), folder + "kestrel",
                                 QStringLiteral("+/afterupgrade0"), staging, -1));
        QTRY_COMPARE_WITH_TIMEOUT(
            Marks(), QStringList{Line("kestrel", old.size(), "/afterupgrade|/upgradefailed")},
            20000);
        QCOMPARE(ReadFile(folder + "kestrel"), old);
        QTRY_VERIFY_WITH_TIMEOUT(StagingFolders(folder).isEmpty(), 5000);
        QVERIFY(!QFile::exists(folder + "kestrel.old"));
    }

    // Setup mode: the setup program runs first with the restart text and goes away with its
    // staging folder once it has ended; then the program starts.
    void runsTheSetupProgramFirst() {
        const QString folder = ProgramFolder("setup");
        QVERIFY(!folder.isEmpty());
        const qsizetype oldSize = ReadFile(folder + "kestrel").size();
        const QByteArray setup = NewVersion();
        const QString staging = Stage(folder, {{"setup.uTMP", setup}});
        QVERIFY(LaunchHelperFrom(HelperBytes(), folder + "kestrel",
                                 QStringLiteral("+/afterupgrade1"), staging, -1));
        QTRY_COMPARE_WITH_TIMEOUT(Marks().size(), 2, 20000);
        QCOMPARE(Marks(), (QStringList{Line("setup.uTMP", setup.size(), "/afterupgrade"),
                                       Line("kestrel", oldSize, "/afterupgrade")}));
        QTRY_VERIFY_WITH_TIMEOUT(StagingFolders(folder).isEmpty(), 5000);
    }

    // A program folder the user cannot write: nothing is replaced, and the old program is
    // started again. Root may write anywhere, so then the helper and the program run as nobody.
    void readOnlyFolderKeepsTheProgram() {
        const QString folder = ProgramFolder("readonly");
        QVERIFY(!folder.isEmpty());
        const QByteArray old = ReadFile(folder + "kestrel");
        const QString staging = Stage(folder, {{"kestrel.uTMP", NewVersion()}});
        const QString helper = m_root.filePath(QStringLiteral("readonly-helper"));
        QVERIFY(WriteFile(helper, HelperBytes(), 0755));
        QVERIFY(Chmod(folder, 0555));

        QStringList command{helper, folder + "kestrel", QStringLiteral("+/afterupgrade0"), staging};
        if (::geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} +
                      command;
        QProcess process;
        process.start(command.first(), command.mid(1));
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(
            Marks(), QStringList{Line("kestrel", old.size(), "/afterupgrade|/upgradefailed")},
            20000);
        QCOMPARE(ReadFile(folder + "kestrel"), old);
        QVERIFY(Chmod(folder, 0755));
    }

    // Another user recreated the helper's old private folders and planted a program there: it
    // never runs, as the helper is started from memory.
    void plantedHelperNeverRuns() {
        QTemporaryDir base;
        const QString planted = base.filePath(QStringLiteral("planted-ran"));
        const QByteArray script = "#!/bin/sh\ntouch " + QFile::encodeName(planted) + '\n';
        const QString temp = base.filePath(QStringLiteral("tmp"));
        const QString mine = temp + QStringLiteral("/kestrel-%1").arg(::geteuid());
        QVERIFY(QDir().mkpath(mine) && Chmod(mine, 0777));
        QVERIFY(WriteFile(mine + "/kestrel-update-helper", script, 0777));
        QVERIFY(WriteFile(base.filePath("kestrel-update-helper"), script, 0777));
        qputenv("TMPDIR", QFile::encodeName(temp));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base.path()));
        const auto restore = qScopeGuard([] {
            qunsetenv("TMPDIR");
            qunsetenv("XDG_RUNTIME_DIR");
        });
        const QString folder = ProgramFolder("planted");
        const QByteArray fresh = NewVersion();
        const QString staging = Stage(folder, {{"kestrel.uTMP", fresh}});
        QVERIFY(LaunchHelperFrom(HelperBytes(), folder + "kestrel",
                                 QStringLiteral("+/afterupgrade0"), staging, -1));
        QTRY_COMPARE_WITH_TIMEOUT(
            Marks(), QStringList{Line("kestrel", fresh.size(), "/afterupgrade")}, 20000);
        QVERIFY(!QFile::exists(planted));
    }

    // The whole way through a copy of the ticker on a private X server: the menu's online
    // upgrade finds 0.91 with a new program, the question is answered yes, the wizard's finish
    // button pressed; the ticker ends, and the helper puts the served program in its place and
    // starts it with "/afterupgrade".
    void upgradesTheTickerThroughItsMenu() {
        for (const char* tool : {"Xvfb", "xdotool", "openbox"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        }
        const QString folder = m_root.filePath(QStringLiteral("ticker")) + u'/';
        const QString served = m_root.filePath(QStringLiteral("served")) + u'/';
        const QString runtime = m_root.filePath(QStringLiteral("runtime"));
        for (const QString& dir : {folder, served, runtime})
            QVERIFY(QDir().mkpath(dir));
        QVERIFY(Chmod(runtime, 0700));
        QVERIFY(QFile::copy(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), folder + "kestrel"));
        QVERIFY(Chmod(folder + "kestrel", 0755));
        // It downloads through its network modules, which it finds where an install puts them.
        const QString modules = QDir(folder).filePath(
            QDir(QStringLiteral(KESTREL_BINARY_DIR "/bin")).relativeFilePath(ModuleFolder()));
        QVERIFY(QDir().mkpath(modules));
        for (const QString module : {"/kestrel-net.so", "/kestrel-online.so"})
            QVERIFY(QFile::copy(ModuleFolder() + module, modules + module));
        const QByteArray fresh = NewVersion();
        QVERIFY(WriteFile(served + "kestrel", fresh, 0644));

        XServer x;
        QVERIFY2(x.Running(), qPrintable(x.Missing));
        QVERIFY2(x.StartWindowManager(QStringLiteral("openbox")), qPrintable(x.Missing));

        QProcess server;
        QByteArray serverLog;
        server.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
        server.setArguments(
            {"--port", "0", "--source", "walk", "--fixed", "--upgrade-dir", served});
        connect(&server, &QProcess::readyReadStandardError,
                [&] { serverLog += server.readAllStandardError(); });
        server.start();
        QVERIFY(server.waitForReadyRead(5000));
        const QString url = QRegularExpression(QStringLiteral("listening on (http://\\S+/)"))
                                .match(QString::fromLatin1(server.readAllStandardOutput()))
                                .captured(1);
        QVERIFY(!url.isEmpty());
        // The information file as published: signed with the tests' key, which the ticker
        // trusts through its settings.
        const QByteArray infoBytes =
            "#version=0.91\r\n#method=0\r\n#url=" + url.toLatin1() +
            "kestrelmv/files/kestrel\r\n#url.sha256=" +
            QCryptographicHash::hash(fresh, QCryptographicHash::Sha256).toHex() +
            "\r\n#message={改进牌价读取的稳定性。}\r\n";
        QFile keyFile(QStringLiteral(KESTREL_TEST_KEYS "/test.key"));
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        const std::optional<MinisignSecretKey> key = ParseMinisignSecretKey(keyFile.readAll());
        QVERIFY(key);
        QVERIFY(WriteFile(served + "kestrelmv.inf", infoBytes, 0644));
        QVERIFY(WriteFile(served + "kestrelmv.inf.minisig",
                          MinisignSign(infoBytes, *key,
                                       QStringLiteral("kestrelmv version=0.91 expires=2099-12-31")),
                          0644));
        QVERIFY(WriteFile(folder + "kestrel.ini",
                          QStringLiteral("[Param]\r\nRatesURL=%1rates/index.aspx\r\nProxyType=1\r\n"
                                         "AutoPrompt=0\r\nUpdateURL=%1kestrelmv/files/kestrelmv.inf"
                                         "\r\nUpgradeKeys=%2\r\n")
                              .arg(url, MinisignKeyLine(MinisignPublicOf(*key)))
                              .toUtf8(),
                          0644));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.Display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("KESTREL_HOME"), folder);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QProcess ticker;
        ticker.setProcessEnvironment(env);
        ticker.setProcessChannelMode(QProcess::ForwardedChannels);
        ticker.start(folder + "kestrel", QStringList{});
        QVERIFY(ticker.waitForStarted());
        const auto stop = qScopeGuard([&] {
            for (QProcess* p : {&ticker, &server}) {
                if (p->state() != QProcess::NotRunning) {
                    p->kill();
                    p->waitForFinished();
                }
            }
        });

        QString window;
        const QString pid = QString::number(ticker.processId());
        QTRY_VERIFY_WITH_TIMEOUT(!(window = Window({"--pid", pid})).isEmpty(), 10000);
        // The menu: a right click on the quotes; from its end, over 退出, to 帮助 > 在线升级...
        XServer::Run({"xdotool", "mousemove", "--window", window, "30", "30", "click", "3"});
        QTest::qWait(500);
        XServer::Run({"xdotool", "key", "Up", "Up", "Right", "Return"});

        // The question 软件升级精灵: its default button is 开始升级.
        QString question;
        QTRY_VERIFY_WITH_TIMEOUT(!(question = Window({"--name", "软件升级精灵"})).isEmpty(), 10000);
        XServer::Run({"xdotool", "windowactivate", "--sync", question});
        XServer::Run({"xdotool", "key", "--window", question, "Return"});

        // The wizard downloads the program into a private folder beside the ticker, then waits
        // on its finish page.
        QTRY_VERIFY_WITH_TIMEOUT(serverLog.contains("/kestrelmv/files/kestrel -> 200"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(
            ReadFile(folder + StagingFolders(folder).value(0) + "/kestrel.uTMP"), fresh, 10000);
        QString wizard;
        QTRY_VERIFY_WITH_TIMEOUT(!(wizard = Window({"--name", "软件升级精灵"})).isEmpty(), 10000);
        // The finish button is enabled once the ticker has taken the finished file in, which on a
        // busy machine may come after the file is whole: click it until it takes.
        const bool ended = QTest::qWaitFor(
            [&] {
                XServer::Run(
                    {"xdotool", "mousemove", "--window", wizard, "333", "260", "click", "1"});
                return ticker.waitForFinished(1000);
            },
            20000);
        QVERIFY(ended);
        QCOMPARE(ticker.exitStatus(), QProcess::NormalExit);
        QTRY_COMPARE_WITH_TIMEOUT(
            Marks(), QStringList{Line("kestrel", fresh.size(), "/afterupgrade")}, 20000);
        QCOMPARE(ReadFile(folder + "kestrel"), fresh);
        QCOMPARE(ModeOf(folder + "kestrel"), 0755);
        QTRY_VERIFY_WITH_TIMEOUT(StagingFolders(folder).isEmpty(), 5000);
        QVERIFY(!QFile::exists(folder + "kestrel.old"));
        QVERIFY(!QFile::exists(runtime + "/kestrel-update-helper"));
    }
};

QTEST_GUILESS_MAIN(TestUpgradeEndToEnd)
#include "test_upgrade_e2e.moc"
