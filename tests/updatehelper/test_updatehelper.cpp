#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include "updatehelper/updatehelper.h"

using namespace kestrel::helper;

namespace {

int ModeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void WriteFile(const QString& path, const QByteArray& bytes, int mode) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kHelper = QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-update-helper");

}  // namespace

class TestUpdateHelper : public QObject {
    Q_OBJECT

    // A folder with the old program and its companion (scripts that note their starts in
    // "marks"), and a staging folder with the given program and a new companion.
    static QString Stage(const QString& d, const QByteArray& program, bool ready) {
        WriteFile(d + "kestrel", Program("old"), 0755);
        WriteFile(d + "kestrel-quoted", "#!/bin/sh\n# old\n", 0755);
        const QString staging = d + ".kestrel-upgrade-test01";
        if (!QDir().mkdir(staging) || ::chmod(QFile::encodeName(staging).constData(), 0700) != 0)
            return {};
        WriteFile(staging + "/kestrel.uTMP", program, 0600);
        WriteFile(staging + "/kestrel-quoted.uTMP", "#!/bin/sh\n# new\n", 0600);
        if (ready)
            WriteFile(staging + "/ready", {}, 0600);
        return staging;
    }
    static QByteArray Program(const char* version, const char* then = "") {
        return QByteArray("#!/bin/sh\necho \"") + version +
               " $*\" >> \"$(dirname \"$0\")/marks\"\n" + then + '\n';
    }

private slots:
    void parseCommandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("restart");
        QTest::addColumn<bool>("setup");
        QTest::newRow("self upgrade")
            << QStringList{"/opt/k/kestrel", "+/afterupgrade0"} << true << "/opt/k/kestrel"
            << "/afterupgrade" << false;
        QTest::newRow("staging folder")
            << QStringList{"/opt/k/kestrel", "+/afterupgrade0", ".kestrel-upgrade-x1"} << true
            << "/opt/k/kestrel"
            << "/afterupgrade" << false;
        QTest::newRow("setup") << QStringList{"/opt/k/kestrel", "+/afterupgrade1"} << true
                               << "/opt/k/kestrel"
                               << "/afterupgrade" << true;
        QTest::newRow("blank restart") << QStringList{"/k/kestrel", "+ 0"} << true << "/k/kestrel"
                                       << " " << false;
        QTest::newRow("path split at blanks")
            << QStringList{"/home/u/My", "Apps/kestrel", "+/after", "upgrade0"} << true
            << "/home/u/My Apps/kestrel"
            << "/after upgrade" << false;
        QTest::newRow("plus inside the path")
            << QStringList{"/home/u/c++/kestrel", "+/afterupgrade0"} << true
            << "/home/u/c++/kestrel"
            << "/afterupgrade" << false;
        QTest::newRow("no parameter text") << QStringList{"/k/kestrel"} << false << ""
                                           << "" << false;
        QTest::newRow("no method digit")
            << QStringList{"/k/kestrel", "+/afterupgrade"} << false << ""
            << "" << false;
        QTest::newRow("relative path") << QStringList{"kestrel", "+/afterupgrade0"} << false << ""
                                       << "" << false;
        QTest::newRow("folder only") << QStringList{"/k/", "+/afterupgrade0"} << false << ""
                                     << "" << false;
    }
    void parseCommandLine() {
        QFETCH(QStringList, args);
        QFETCH(bool, valid);
        const HelperCommand command = ParseHelperCommandLine(args);
        QCOMPARE(command.valid, valid);
        if (!valid)
            return;
        QFETCH(QString, path);
        QFETCH(QString, restart);
        QFETCH(bool, setup);
        QCOMPARE(command.programPath, path);
        QCOMPARE(command.programFolder + command.programName, path);
        QVERIFY(command.programFolder.endsWith(u'/'));
        QCOMPARE(command.restartText, restart);
        QCOMPARE(command.setupMode, setup);
        QCOMPARE(command.stagingName, args.last().startsWith(u'.') ? args.last() : QString());
    }

    void runnableHere_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("runnable");
        const QByteArray own = ReadFile(kHelper);
        QByteArray other = own;
        // AArch64 where this is not, else x86-64.
        const char machine = own.at(18) == char(183) ? char(62) : char(183);
        other[18] = machine;
        other[19] = 0;
        QTest::newRow("program of this machine") << own << true;
        QTest::newRow("program of another machine") << other << false;
        QTest::newRow("cut short") << own.left(100) << false;
        QTest::newRow("web page") << QByteArray("<html><body>Log in</body></html>") << false;
        QTest::newRow("script") << QByteArray("#!/bin/sh\necho hi\n") << true;
        QTest::newRow("script with arguments") << QByteArray("#! /usr/bin/env sh -e\n") << true;
        QTest::newRow("script without interpreter")
            << QByteArray("#!/no/such/shell\necho hi\n") << false;
        QTest::newRow("relative interpreter") << QByteArray("#!sh\n") << false;
    }
    void runnableHere() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        WriteFile(dir.filePath("candidate"), bytes, 0600);
        QTEST(IsRunnableHere(dir.filePath("candidate")), "runnable");
    }

    // The helper moves a staged set in place and starts the new program; one that does not run
    // gives the old files back, started with the failure flag; a set it must refuse is never
    // moved.
    void helperRun_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("started");
        QByteArray other = ReadFile(kHelper);
        other[18] = other.at(18) == char(183) ? char(62) : char(183);
        const QString failed = QStringLiteral("old /afterupgrade /upgradefailed");
        QTest::newRow("script program")
            << Program("new") << true << 0 << true << "new /afterupgrade";
        QTest::newRow("exits with an error") << Program("new", "exit 3") << true << 5 << false
                                             << QStringLiteral("new /afterupgrade\n") + failed;
        QTest::newRow("crashes") << Program("new", "kill -SEGV $$") << true << 5 << false
                                 << QStringLiteral("new /afterupgrade\n") + failed;
        QTest::newRow("another architecture") << other << true << 3 << false << failed;
        QTest::newRow("web page") << QByteArray("<html>portal</html>") << true << 3 << false
                                  << failed;
        QTest::newRow("not marked ready") << Program("new") << false << 3 << false << failed;
    }
    void helperRun() {
        QFETCH(QByteArray, program);
        QFETCH(bool, ready);
        QFETCH(int, exitCode);
        QFETCH(bool, installed);
        QFETCH(QString, started);
        QTemporaryDir dir;
        const QString d = dir.path() + u'/';
        const QString staging = Stage(d, program, ready);
        QProcess helper;
        helper.start(kHelper, {d + "kestrel", "+/afterupgrade0", QFileInfo(staging).fileName()});
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitCode(), exitCode);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromLatin1(ReadFile(d + "marks").trimmed()), started,
                                  5000);
        QCOMPARE(ReadFile(d + "kestrel") == program, installed);
        QCOMPARE(ReadFile(d + "kestrel-quoted"),
                 installed ? QByteArray("#!/bin/sh\n# new\n") : QByteArray("#!/bin/sh\n# old\n"));
        QCOMPARE(ModeOf(d + "kestrel"), 0755);
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{".kestrel-upgrade.lock", "kestrel", "kestrel-quoted", "marks"}));
    }

    // Fifty kills of the helper at random moments: the folder always holds a program that
    // starts, and once the interrupted upgrade is taken back, never old and new files mixed.
    void killedDuringTheMoves() {
        // One whole run tells how long the helper takes here; the kills fall in its later part,
        // where the files move, rather than while it loads.
        qint64 whole = 0;
        {
            QTemporaryDir dir;
            const QString staging = Stage(dir.path() + u'/', Program("new"), true);
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(QProcess::execute(kHelper, {dir.filePath("kestrel"), "+/afterupgrade0",
                                                 QFileInfo(staging).fileName()}),
                     0);
            whole = timer.nsecsElapsed() / 1000;
        }
        int outcomes[2] = {0, 0};
        int states[4] = {0, 0, 0, 0};
        for (int round = 0; round < 50; ++round) {
            QTemporaryDir dir;
            const QString d = dir.path() + u'/';
            const QString staging = Stage(d, Program("new"), true);
            QProcess helper;
            helper.start(kHelper,
                         {d + "kestrel", "+/afterupgrade0", QFileInfo(staging).fileName()});
            QVERIFY(helper.waitForStarted());
            QThread::usleep(unsigned(QRandomGenerator::global()->bounded(whole / 3, whole + 1)));
            helper.kill();
            helper.waitForFinished();
            QVERIFY(IsRunnableHere(d + "kestrel"));
            const int lock = LockFolder(d, true);
            QVERIFY(lock >= 0);
            ++states[QFile::exists(staging + "/moved")    ? 3
                     : QFile::exists(staging + "/moving") ? 2
                     : QFile::exists(staging + "/old")    ? 1
                                                          : 0];
            RecoverUpgrades(d, QStringLiteral("kestrel"));
            ::close(lock);
            const bool fresh = ReadFile(d + "kestrel") == Program("new");
            QVERIFY(fresh || ReadFile(d + "kestrel") == Program("old"));
            QCOMPARE(ReadFile(d + "kestrel-quoted"),
                     fresh ? QByteArray("#!/bin/sh\n# new\n") : QByteArray("#!/bin/sh\n# old\n"));
            QVERIFY(!QFile::exists(staging));
            QVERIFY(!QFile::exists(d + "kestrel.old"));
            QCOMPARE(QProcess::execute(d + "kestrel", {QStringLiteral("check")}), 0);
            ++outcomes[fresh];
        }
        qInfo(
            "50 kills in a run of %lld us: %d before the moves or after the end, %d while keeping "
            "the old files, %d during the moves, %d after them; %d old sets, %d new",
            whole, states[0], states[1], states[2], states[3], outcomes[0], outcomes[1]);
    }

    void programRunning() {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("sleeper"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), program));
        QVERIFY(!ProgramRunning(program));
        QProcess process;
        process.start(program, {QStringLiteral("30")});
        QVERIFY(process.waitForStarted());
        QVERIFY(ProgramRunning(program));
        process.kill();
        process.waitForFinished();
        QVERIFY(!ProgramRunning(program));
        QVERIFY(!ProgramRunning(dir.filePath(QStringLiteral("missing"))));
    }
};

QTEST_GUILESS_MAIN(TestUpdateHelper)
#include "test_updatehelper.moc"
