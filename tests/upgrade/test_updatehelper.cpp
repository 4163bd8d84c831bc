#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "upgrade/helper/updatehelper.h"

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

// A 64-bit little-endian ELF header of the given type with one program header entry.
QByteArray ElfHeader(quint16 type, quint32 segment) {
    QByteArray bytes(64 + 56, '\0');
    bytes.replace(0, 4,
                  "\x7f"
                  "ELF");
    bytes[4] = 2;  // 64-bit
    bytes[5] = 1;  // little-endian
    bytes[6] = 1;
    bytes[16] = char(type);
    bytes[32] = 64;  // program headers right behind
    bytes[54] = 56;  // entry size
    bytes[56] = 1;   // one entry
    bytes[64] = char(segment);
    return bytes;
}

}  // namespace

class TestUpdateHelper : public QObject {
    Q_OBJECT

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
    }

    // Which download becomes the program (or the setup program); "elf" lists the downloads that
    // are ELF executables. "targets" is every download as source>target.
    void planReplacements_data() {
        QTest::addColumn<QStringList>("downloads");
        QTest::addColumn<QStringList>("elf");
        QTest::addColumn<bool>("setup");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("setupSource");
        QTest::addColumn<QStringList>("targets");
        QTest::newRow("named like the program")
            << QStringList{"kestrel.uTMP", "b.exe.uTMP"} << QStringList{"kestrel.uTMP"} << false
            << "kestrel.uTMP"
            << "" << QStringList{"b.exe.uTMP>b.exe", "kestrel.uTMP>kestrel"};
        QTest::newRow("named like the program but does not run")
            << QStringList{"kestrel.uTMP", "b.exe.uTMP"} << QStringList{"b.exe.uTMP"} << false << ""
            << "" << QStringList{"b.exe.uTMP>b.exe"};
        QTest::newRow("first exe by name")
            << QStringList{"zz.exe.uTMP", "aa.exe.uTMP", "notes.uTMP"}
            << QStringList{"zz.exe.uTMP", "aa.exe.uTMP"} << false << "aa.exe.uTMP"
            << "" << QStringList{"aa.exe.uTMP>kestrel", "notes.uTMP>notes", "zz.exe.uTMP>zz.exe"};
        QTest::newRow("exe that does not run here")
            << QStringList{"a.exe.uTMP", "b.uTMP"} << QStringList{"b.uTMP"} << false << "b.uTMP"
            << "" << QStringList{"a.exe.uTMP>a.exe", "b.uTMP>kestrel"};
        QTest::newRow("exe ending compared exactly")
            << QStringList{"SETUP.EXE.uTMP"} << QStringList{} << false << ""
            << "" << QStringList{"SETUP.EXE.uTMP>SETUP.EXE"};
        QTest::newRow("else the first ELF program")
            << QStringList{"data.uTMP", "kestrel-0.91.uTMP", "libx.so.uTMP"}
            << QStringList{"kestrel-0.91.uTMP"} << false << "kestrel-0.91.uTMP"
            << ""
            << QStringList{"data.uTMP>data", "kestrel-0.91.uTMP>kestrel", "libx.so.uTMP>libx.so"};
        QTest::newRow("nothing executable")
            << QStringList{"data.uTMP"} << QStringList{} << false << ""
            << "" << QStringList{"data.uTMP>data"};
        QTest::newRow("setup exe")
            << QStringList{"setup.exe.uTMP", "data.uTMP"} << QStringList{"setup.exe.uTMP"} << true
            << ""
            << "setup.exe.uTMP" << QStringList{"data.uTMP>data", "setup.exe.uTMP>setup.exe"};
        QTest::newRow("setup ELF")
            << QStringList{"install.uTMP"} << QStringList{"install.uTMP"} << true << ""
            << "install.uTMP" << QStringList{"install.uTMP>install"};
        QTest::newRow("setup mode with the program itself")
            << QStringList{"kestrel.uTMP", "setup.exe.uTMP"} << QStringList{} << true << ""
            << "" << QStringList{"kestrel.uTMP>kestrel", "setup.exe.uTMP>setup.exe"};
        QTest::newRow("names without a target skipped")
            << QStringList{".uTMP", "..uTMP", "a.uTMP"} << QStringList{} << false << ""
            << "" << QStringList{"a.uTMP>a"};
    }
    void planReplacements() {
        QFETCH(QStringList, downloads);
        QFETCH(QStringList, elf);
        QFETCH(bool, setup);
        const ReplacementPlan plan =
            PlanReplacements(downloads, QStringLiteral("kestrel"), setup,
                             [&](const QString& name) { return elf.contains(name); });
        QTEST(plan.programSource, "program");
        QTEST(plan.setupSource, "setupSource");
        QStringList targets;
        for (const Replacement& file : plan.files)
            targets.append(file.source + u'>' + file.target);
        QTEST(targets, "targets");
    }

    void elfExecutable() {
        QTemporaryDir dir;
        const auto check = [&](const char* name, const QByteArray& bytes) {
            WriteFile(dir.filePath(name), bytes, 0644);
            return IsElfExecutable(dir.filePath(name));
        };
        QVERIFY(IsElfExecutable(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-update-helper")));
        QVERIFY(check("exec", ElfHeader(2, 1)));
        QVERIFY(check("pie", ElfHeader(3, 3)));       // PT_INTERP
        QVERIFY(!check("library", ElfHeader(3, 1)));  // PT_LOAD only
        QVERIFY(!check("object", ElfHeader(1, 3)));
        QVERIFY(!check("script", "#!/bin/sh\necho hi\n"));
        QVERIFY(!check("short", QByteArray("\x7f"
                                           "ELF\x02\x01",
                                           6)));
    }

    // Downloads go in place with the right permission bits, nothing outside the folder is
    // touched, and links are not followed.
    void applyReplacements() {
        QTemporaryDir dir, outside;
        const QString d = dir.path() + u'/';
        WriteFile(d + "kestrel", "old program", 0750);
        WriteFile(d + "new.exe.uTMP", "new program", 0600);
        WriteFile(d + "kestrel.ini", "old settings", 0640);
        WriteFile(d + "kestrel.ini.uTMP", "new settings", 0600);
        WriteFile(d + "extra.dat.uTMP", "extra", 0600);
        // A download that is a link to a file elsewhere, and a target that is a link.
        WriteFile(outside.filePath("victim"), "keep me", 0644);
        QVERIFY(QFile::link(outside.filePath("victim"), d + "sneaky.uTMP"));
        QVERIFY(QFile::link(outside.filePath("victim"), d + "linked"));
        WriteFile(d + "linked.uTMP", "replaces the link", 0600);

        const QStringList downloads = FindDownloads(d);
        QCOMPARE(downloads, (QStringList{"extra.dat.uTMP", "kestrel.ini.uTMP", "linked.uTMP",
                                         "new.exe.uTMP"}));
        const ReplacementPlan plan =
            PlanReplacements(downloads, QStringLiteral("kestrel"), false,
                             [](const QString& name) { return name == u"new.exe.uTMP"; });
        QCOMPARE(ApplyReplacements(d, plan, QStringLiteral("kestrel")), 0);

        QCOMPARE(ReadFile(d + "kestrel"), QByteArray("new program"));
        QCOMPARE(ModeOf(d + "kestrel"), 0750);
        QCOMPARE(ReadFile(d + "kestrel.ini"), QByteArray("new settings"));
        QCOMPARE(ModeOf(d + "kestrel.ini"), 0640);
        QCOMPARE(ModeOf(d + "extra.dat"), 0644);
        QVERIFY(!QFileInfo(d + "linked").isSymLink());
        QCOMPARE(ReadFile(d + "linked"), QByteArray("replaces the link"));
        QCOMPARE(ReadFile(outside.filePath("victim")), QByteArray("keep me"));
        QVERIFY(QFileInfo(d + "sneaky.uTMP").isSymLink());
        QVERIFY(!QFile::exists(d + "new.exe"));
    }

    // A new program without an old one to take the bits from still runs; a setup program too.
    void newExecutablesAreExecutable() {
        QTemporaryDir dir;
        const QString d = dir.path() + u'/';
        WriteFile(d + "kestrel.uTMP", "program", 0600);
        WriteFile(d + "setup.exe.uTMP", "setup", 0600);
        ReplacementPlan plan = PlanReplacements(FindDownloads(d), "kestrel", false,
                                                [](const QString&) { return true; });
        plan.setupSource = QStringLiteral("setup.exe.uTMP");
        QCOMPARE(ApplyReplacements(d, plan, QStringLiteral("kestrel")), 0);
        QCOMPARE(ModeOf(d + "kestrel"), 0755);
        QCOMPARE(ModeOf(d + "setup.exe"), 0755);
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
