#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "platform/fake/fakeshortcuts.h"
#include "platform/xdg/xdgshortcuts.h"

using namespace kestrel;

class TestShortcuts : public QObject {
    Q_OBJECT
private slots:
    void init();
    void execArgument_data();
    void execArgument();
    void threeEntries();
    void existingKeptMissingDesktopSkipped();
    void failureDoesNotStopTheOthers();
    void installedProgramKeepsItsOwnMenuEntry();

private:
    QString Read(const QString& path);
    void Validate(const QString& path);

    std::unique_ptr<QTemporaryDir> tmp_;
    QString config_, data_, home_;
};

void TestShortcuts::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    config_ = tmp_->filePath("config");
    data_ = tmp_->filePath("data");
    home_ = tmp_->filePath("home");
    QVERIFY(QDir().mkpath(home_));
    qputenv("XDG_CONFIG_HOME", config_.toUtf8());
    qputenv("XDG_DATA_HOME", data_.toUtf8());
    qputenv("HOME", home_.toUtf8());
    // No entry of an installed Kestrel unless a test puts one there.
    qputenv("XDG_DATA_DIRS", tmp_->filePath("system").toUtf8());
}

QString TestShortcuts::Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void TestShortcuts::Validate(const QString& path) {
    QProcess validate;
    validate.start("desktop-file-validate", {path});
    QVERIFY2(validate.waitForFinished(30000), "desktop-file-validate (desktop-file-utils)");
    const QByteArray said = validate.readAllStandardOutput() + validate.readAllStandardError();
    QVERIFY2(validate.exitStatus() == QProcess::NormalExit && validate.exitCode() == 0,
             said.constData());
}

void TestShortcuts::execArgument_data() {
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/usr/bin/kestrel"
                           << "/usr/bin/kestrel";
    QTest::newRow("space") << "/opt/my apps/k"
                           << "\"/opt/my apps/k\"";
    QTest::newRow("percent") << "/opt/50%/k"
                             << "/opt/50%%/k";
    QTest::newRow("double quote") << "/a\"b"
                                  << "\"/a\\\\\"b\"";
    QTest::newRow("dollar") << "/a$b"
                            << "\"/a\\\\$b\"";
    QTest::newRow("backslash") << "/a\\b"
                               << "\"/a\\\\\\\\b\"";
    QTest::newRow("single quote") << "/it's"
                                  << "\"/it's\"";
}

void TestShortcuts::execArgument() {
    QFETCH(QString, arg);
    QFETCH(QString, exec);
    QCOMPARE(DesktopExecArgument(arg), exec);
}

void TestShortcuts::threeEntries() {
    QVERIFY(QDir().mkpath(home_ + "/Desktop"));
    const QString folder = tmp_->filePath("my apps $HOME 100%");
    const QString exe = folder + "/kestrel";
    const QByteArray icon = "<svg xmlns='http://www.w3.org/2000/svg'/>";
    XdgShortcutService service(icon);
    const QList<ShortcutResult> made = CreateShortcuts(service, true, true, exe);
    QCOMPARE(ShortcutReport(made), QStringLiteral("应用程序菜单：已创建；桌面快捷方式：已创建"));
    QVERIFY(!AutostartEnabled(service));
    QVERIFY(SetAutostart(service, true, exe));
    QVERIFY(AutostartEnabled(service));

    const QString quoted =
        "Exec=\"" + QString(folder).replace("$", "\\\\$").replace("%", "%%") + "/kestrel\"";
    const QString autostart = config_ + "/autostart/Kestrel.desktop";
    const QString menu = data_ + "/applications/Kestrel.desktop";
    const QString desktop = home_ + "/Desktop/Kestrel.desktop";
    QVERIFY(Read(autostart).contains(quoted + " -AUTO\n"));
    for (const QString& path : {menu, desktop}) {
        QVERIFY2(Read(path).contains(quoted + "\n"), qPrintable(Read(path)));
        QVERIFY(!Read(path).contains("-AUTO"));
    }
    for (const QString& path : {autostart, menu, desktop}) {
        const QString entry = Read(path);
        QVERIFY(entry.contains("\nPath=" + folder + "/\n"));
        QVERIFY(entry.contains("\nIcon=" + service.IconPath() + "\n"));
        // What an uninstall looks for in the home folder.
        QVERIFY(entry.contains("\nX-Kestrel-Created=true\n"));
        QVERIFY(entry.contains("\nTryExec=" + exe + "\n"));
        QCOMPARE(entry.contains("\nCategories=Office;Finance;\n"), path == menu);
        Validate(path);
    }
    QCOMPARE(Read(service.IconPath()).toUtf8(), icon);
    QVERIFY(QFile::permissions(desktop) & QFile::ExeOwner);
}

void TestShortcuts::existingKeptMissingDesktopSkipped() {
    QVERIFY(QDir().mkpath(data_ + "/applications"));
    const QString menu = data_ + "/applications/Kestrel.desktop";
    QFile mine(menu);
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();

    XdgShortcutService service;
    QCOMPARE(
        ShortcutReport(CreateShortcuts(service, true, true, "/opt/kestrel/kestrel")),
        QStringLiteral("应用程序菜单：未创建（已经存在）；桌面快捷方式：未创建（没有桌面文件夹）"));
    QVERIFY(SetAutostart(service, true, "/opt/kestrel/kestrel"));
    QCOMPARE(Read(menu), QStringLiteral("mine"));
    QVERIFY(QFile::exists(config_ + "/autostart/Kestrel.desktop"));
    QVERIFY(!Read(config_ + "/autostart/Kestrel.desktop").contains("Icon="));
    // No desktop folder: none is made for the entry.
    QVERIFY(!QFileInfo::exists(home_ + "/Desktop"));

    // The desktop folder that user-dirs.dirs names, once it exists, gets the entry on the
    // next press; the others stay as they are.
    QVERIFY(QDir().mkpath(home_ + "/桌面"));
    QFile dirs(config_ + "/user-dirs.dirs");
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    dirs.close();
    CreateShortcuts(service, true, true, "/elsewhere/kestrel");
    QVERIFY(SetAutostart(service, true, "/elsewhere/kestrel"));
    QVERIFY(Read(home_ + "/桌面/Kestrel.desktop").contains("Exec=/elsewhere/kestrel\n"));
    QVERIFY(
        Read(config_ + "/autostart/Kestrel.desktop").contains("Exec=/opt/kestrel/kestrel -AUTO\n"));
    QCOMPARE(Read(menu), QStringLiteral("mine"));
}

void TestShortcuts::failureDoesNotStopTheOthers() {
    FakeShortcutService service;
    service.Folders = {{TShortcutFolder::Startup, " /s "},
                       {TShortcutFolder::QuickLaunch, "/q/"},
                       {TShortcutFolder::Desktop, "/d/"}};
    service.Refused = {"/q/Kestrel.desktop", "/s/Kestrel.desktop"};
    QCOMPARE(ShortcutReport(CreateShortcuts(service, true, true, "/opt/k/kestrel")),
             QStringLiteral("应用程序菜单：未创建（无法写入文件）；桌面快捷方式：已创建"));
    QVERIFY(!SetAutostart(service, true, "/opt/k/kestrel"));
    QCOMPARE(service.Created.size(), 1);
    QCOMPARE(service.Created[0].LinkPath, QStringLiteral("/d/Kestrel.desktop"));
    QCOMPARE(service.Created[0].WorkingDirectory, QStringLiteral("/opt/k/"));
    QCOMPARE(service.Created[0].Arguments, QString());

    // Pressed again: the refused one is tried again, the made one is left alone.
    service.Refused.clear();
    CreateShortcuts(service, true, true, "/opt/k/kestrel");
    QVERIFY(SetAutostart(service, true, "/opt/k/kestrel"));
    QCOMPARE(service.Created.size(), 3);
    QCOMPARE(service.Created[1].LinkPath, QStringLiteral("/q/Kestrel.desktop"));
    QCOMPARE(service.Created[2].LinkPath, QStringLiteral("/s/Kestrel.desktop"));
    QCOMPARE(service.Created[2].Arguments, QStringLiteral("-AUTO"));
}

void TestShortcuts::installedProgramKeepsItsOwnMenuEntry() {
    // A package installed the program and its menu entry, found through XDG_DATA_DIRS and PATH.
    const QString system = tmp_->filePath("system");
    const QString bin = tmp_->filePath("bin");
    QVERIFY(QDir().mkpath(system + "/applications") && QDir().mkpath(bin));
    QVERIFY(QFile::copy(QStringLiteral(KESTREL_TEST_DATA "/../../dist/org.example.kestrel.desktop"),
                        system + "/applications/org.example.kestrel.desktop"));
    QFile program(bin + "/kestrel");
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();
    QVERIFY(program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);
    const auto restore = qScopeGuard([&path] { qputenv("PATH", path); });
    qputenv("XDG_DATA_DIRS", "relative/ignored:" + system.toUtf8() + "/");

    XdgShortcutService service;
    QCOMPARE(service.InstalledProgram(), bin + "/kestrel");
    QCOMPARE(ShortcutReport(CreateShortcuts(service, false, true, "/build/kestrel")),
             QStringLiteral("应用程序菜单：未创建（安装包已提供菜单项）"));
    QVERIFY(!QFileInfo::exists(data_ + "/applications/Kestrel.desktop"));

    // The login entry starts the installed program, not the one running from a build folder.
    QVERIFY(SetAutostart(service, true, "/build/kestrel"));
    const QString autostart = config_ + "/autostart/Kestrel.desktop";
    QVERIFY(Read(autostart).contains("\nExec=" + bin + "/kestrel -AUTO\n"));
    QVERIFY(SetAutostart(service, false, "/build/kestrel"));
    QVERIFY(!QFileInfo::exists(autostart));
    QVERIFY(!AutostartEnabled(service));
}

QTEST_GUILESS_MAIN(TestShortcuts)
#include "test_shortcuts.moc"
