// The upgrade component against the quote server on loopback: the check's outcomes, the web page,
// downloads with the wizard, lost, refused and protected files. Dialogs are answered as they open.
//
// With KESTREL_UPGRADE_SHOTS=DIR (and a real display) the dialogs are photographed into DIR.
#include <QCryptographicHash>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>

#include "net/netutils.h"
#include "platform/linux/curltransfer.h"
#include "platform/online.h"
#include "upgrade/updater.h"
#include "upgrade/updatermessage.h"
#include "upgrade/updaterpassword.h"
#include "upgrade/updaterwizard.h"

using namespace kestrel;

namespace {

void Shot(const QString& name) {
    const QString folder = qEnvironmentVariable("KESTREL_UPGRADE_SHOTS");
    if (folder.isEmpty())
        return;
    QTest::qWait(400);
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                 folder + u'/' + name + QStringLiteral(".png")});
}

class FakeDesktop : public IDesktopCommands {
public:
    std::optional<QByteArray> Output(const QString&, const QStringList&) override {
        return std::nullopt;
    }
    bool StartDetached(const QString&, const QStringList&) override { return false; }
    bool OpenUrl(const QUrl& url) override {
        Opened << url.toString();
        return true;
    }
    QStringList Opened;
};

// Answers the modal dialogs in the order they open and keeps what each one said.
class Answers : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;
    Answers() {
        connect(&poll_, &QTimer::timeout, this, [this] { Look(); });
        poll_.start(20);
    }
    void Add(const Answer& answer) { queue_.push_back(answer); }
    QStringList Seen;  // "caption|text" of every dialog

private:
    void Look() {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            text = box->text();
        else if (auto* question = qobject_cast<TUpdaterMessageForm*>(dialog))
            text = question->lblMessage->text();
        else if (auto* login = qobject_cast<TUpdaterPasswordForm*>(dialog))
            text = login->lblText->text();
        Seen << dialog->windowTitle() + u'|' + text;
        if (queue_.empty()) {
            Seen << QStringLiteral("unexpected");
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            return;
        }
        const Answer answer = queue_.front();
        queue_.pop_front();
        answer(dialog);
    }
    QTimer poll_;
    std::deque<Answer> queue_;
};

void Click(QWidget* dialog, bool yes) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
        (button ? button : box->button(QMessageBox::Ok))->click();
    } else if (auto* question = qobject_cast<TUpdaterMessageForm*>(dialog)) {
        Shot(QStringLiteral("question"));
        (yes ? question->btnYes : question->btnLater)->click();
    }
}
const Answers::Answer kYes = [](QWidget* d) { Click(d, true); };
const Answers::Answer kNo = [](QWidget* d) { Click(d, false); };

Answers::Answer Login(const QString& user, const QString& password, bool ok = true) {
    return [=](QWidget* dialog) {
        auto* form = qobject_cast<TUpdaterPasswordForm*>(dialog);
        QVERIFY(form);
        form->edUser->setText(user);
        form->edPassword->setText(password);
        Shot(QStringLiteral("login"));
        (ok ? form->btnOK : form->btnCancel)->click();
    };
}

}  // namespace

class TestUpdater : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void checkOutcomes_data();
    void checkOutcomes();
    void redirectOpensThePage();
    void selfUpgradeWithWizard();
    void lostFile_data();
    void lostFile();
    void protectedFile_data();
    void protectedFile();
    void refusedFiles();
    void sameSizeFileSkipped();
    void replyWithoutLength();
    void fileThatCannotBeMade();
    void secondCheckWhileBusy();
    void readOnlyProgramFolder();

private:
    void WriteInfo(const QString& text);
    QByteArray Serve(const QString& name, qint64 size);
    void Finish();
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

    QTemporaryDir dir_;
    QProcess server_;
    int port_ = 0;
    FakeDesktop desktop_;
    std::unique_ptr<TUpdater> u_;
    std::unique_ptr<Answers> answers_;
    QStringList events_;
    QString helper_;
    QString program_;
};

void TestUpdater::initTestCase() {
    InstallCurlTransfer();
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("files")));
    WriteInfo(QString());
    server_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
    server_.setArguments({"--port", "0", "--source", "walk", "--upgrade-info",
                          dir_.filePath("info.inf"), "--upgrade-dir", dir_.filePath("files"),
                          "--private-upgrade-dir", dir_.filePath("files"), "--upgrade-login",
                          "kestrel:demo"});
    server_.start();
    QVERIFY(server_.waitForStarted(5000));
    while (!server_.canReadLine() && server_.waitForReadyRead(5000)) {
    }
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(":(\\d+)/")).match(server_.readLine());
    QVERIFY(match.hasMatch());
    port_ = match.captured(1).toInt();
}

void TestUpdater::cleanupTestCase() {
    server_.kill();
    server_.waitForFinished(3000);
}

void TestUpdater::init() {
    QDir program(dir_.filePath(QStringLiteral("program")));
    program.removeRecursively();
    QVERIFY(program.mkpath(QStringLiteral(".")));
    program_ = program.filePath(QStringLiteral("kestrel"));
    QFile own(program_);
    QVERIFY(own.open(QIODevice::WriteOnly) && own.write("old program") > 0);
    own.close();

    events_.clear();
    helper_.clear();
    desktop_.Opened.clear();
    answers_ = std::make_unique<Answers>();
    u_ = std::make_unique<TUpdater>();
    TUpdater& u = *u_;
    u.Proxy.AccessType = THTTPAccessType::atDirect;
    u.Wizard.SetLanguage(wlChineseSimplified);
    u.VersionControl = TUpdaterVersionControl::byNumber;
    u.VersionNumber = QStringLiteral("0.90");
    u.InfoFileURL = Base() + QStringLiteral("/kestrelmv/kestrelmv.inf");
    u.ProgramPath = program_;
    u.Desktop = &desktop_;
    u.StartHelper = [this](const QString& params) {
        helper_ = params;
        return true;
    };
    const auto note = [this](const char* name) {
        return [this, name](TUpdater*) { events_ << QString::fromLatin1(name); };
    };
    u.OnDoOwnCloseAppMethod = note("close");
    u.OnNoUpdateAvailable = note("noupdate");
    u.OnNoInfoFile = note("noinfo");
    u.OnLaterUpgrade = note("later");
    u.OnAborted = note("aborted");
    u.OnConnLost = note("connlost");
    u.OnEndUpgrade = note("end");
    u.OnHostUnreachable = [this](TUpdater*, const QString&, const QString& host) {
        events_ << QStringLiteral("unreachable ") + host;
    };
    u.OnLostFile = [this](TUpdater*, const QString& url, int code, bool&) {
        events_ << QStringLiteral("lost %1 %2").arg(FileNameFromURL(url), QString::number(code));
    };
    u.OnFileDone = [this](TUpdater*, const QString& name) {
        events_ << QStringLiteral("done ") + QFileInfo(name).fileName();
    };
}

void TestUpdater::cleanup() {
    u_.reset();
    QCOMPARE(answers_->Seen.filter(QStringLiteral("unexpected")), QStringList());
    answers_.reset();
    QVERIFY(!TUpdaterWizardForm::Instance());
}

void TestUpdater::WriteInfo(const QString& text) {
    QFile file(dir_.filePath(QStringLiteral("info.inf")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

QByteArray TestUpdater::Serve(const QString& name, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + name.size());
    QFile file(dir_.filePath(QStringLiteral("files/") + name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != size)
        return {};
    return bytes;
}

// Waits for the finish page and presses its button.
void TestUpdater::Finish() {
    QTRY_VERIFY_WITH_TIMEOUT(
        TUpdaterWizardForm::Instance() && TUpdaterWizardForm::Instance()->FinishBtn->isEnabled(),
        15000);
    QVERIFY(helper_.isEmpty());
    TUpdaterWizardForm::Instance()->FinishBtn->click();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("close")), 5000);
}

void TestUpdater::checkOutcomes_data() {
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("url");  // replaces the information file's address when set
    QTest::addColumn<bool>("answer");  // a dialog is expected and answered
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("dialog");
    const QString inf = QStringLiteral("/kestrelmv/kestrelmv.inf");
    QTest::newRow("not newer") << "#version=0.90.0.0\n#url=x"
                               << "" << false << "noupdate"
                               << "";
    QTest::newRow("newer without a file") << "#version=0.91\n"
                                          << "" << false << "noupdate"
                                          << "";
    QTest::newRow("information file missing") << "" << inf + "?status=404" << false << "noinfo"
                                              << "";
    QTest::newRow("host unreachable")
        << ""
        << "http://127.0.0.1:1" + inf << false << "unreachable 127.0.0.1"
        << "";
    QTest::newRow("connection lost")
        << "#version=0.91" << inf + "?short_body=1" << true << "connlost"
        << "软件升级精灵|与远端服务器的连接中断，\n\n请重新连接后再进行升级操作。";
    QTest::newRow("later")
        << "#version=0.91\n#url=x\n#message={新}"
        << "" << true << "later"
        << "软件升级精灵|test_updater已经有新版本推出，\n\n新\n\n您要升级到新版本吗？";
}

void TestUpdater::checkOutcomes() {
    QFETCH(QString, info);
    QFETCH(QString, url);
    QFETCH(bool, answer);
    QFETCH(QString, events);
    QFETCH(QString, dialog);
    WriteInfo(info);
    if (!url.isEmpty())
        u_->InfoFileURL = url.startsWith(u'/') ? Base() + url : url;
    if (answer)
        answers_->Add(kNo);
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(events_.join(u','), events, 10000);
    QCOMPARE(answers_->Seen.join(u';'), dialog);
    QVERIFY(desktop_.Opened.isEmpty() && helper_.isEmpty());
}

void TestUpdater::redirectOpensThePage() {
    WriteInfo(
        QStringLiteral("#version=0.91\n#method=2\n#url=kestrel.example.org/new\n"
                       "#url1=http://127.0.0.1:1/second"));
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(desktop_.Opened,
                              QStringList{QStringLiteral("http://kestrel.example.org/new")}, 10000);
    QTest::qWait(100);
    QVERIFY(events_.isEmpty() && !TUpdaterWizardForm::Instance());
}

void TestUpdater::selfUpgradeWithWizard() {
    const QByteArray big = Serve(QStringLiteral("kestrel"), 3 * 1024 * 1024);
    const QByteArray small = Serve(QStringLiteral("kestrel.dat"), 1000);
    const QDateTime published(QDate(2025, 11, 30), QTime(8, 30, 0), Qt::UTC);
    {
        QFile served(dir_.filePath(QStringLiteral("files/kestrel.dat")));
        QVERIFY(served.open(QIODevice::ReadWrite));
        QVERIFY(served.setFileTime(published, QFileDevice::FileModificationTime));
    }
    WriteInfo(
        QStringLiteral("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n"
                       "#url0={server}/kestrelmv/files/kestrel.dat\n"));
    u_->SetTransferBufferSize(64 * 1024);
    QList<int> totals;
    QString shownAddress;
    u_->OnProgress = [&](TUpdater*, const QString&, qint64, qint64, qint64, qint64, quint8,
                         quint8 total, float) {
        totals << total;
        TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
        QVERIFY(wizard && wizard->isVisible());
        shownAddress = wizard->FileURL->text();
        if (totals.size() == 20)
            Shot(QStringLiteral("wizard-downloading"));
    };
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(
        TUpdaterWizardForm::Instance() && TUpdaterWizardForm::Instance()->FinishBtn->isEnabled(),
        15000);
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    QCOMPARE(wizard->WizardTitle->text(), QStringLiteral("升级完成！"));
    QVERIFY(!wizard->CancelBtn->isEnabled() && !wizard->LCurrentFile->isVisible());
    QCOMPARE(wizard->AllDownloading->text(), QStringLiteral("当前正在下载:2 of 2"));
    Shot(QStringLiteral("wizard-finished"));
    Finish();

    QCOMPARE(events_, (QStringList{"done kestrel.uTMP", "done kestrel.dat.uTMP", "end", "close"}));
    QCOMPARE(helper_, QStringLiteral("+/afterupgrade0"));
    const QString folder = QFileInfo(program_).absolutePath();
    QFile first(folder + QStringLiteral("/kestrel.uTMP")),
        second(folder + QStringLiteral("/kestrel.dat.uTMP"));
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    QVERIFY(first.readAll() == big && second.readAll() == small);
    QCOMPARE(second.fileTime(QFileDevice::FileModificationTime).toUTC(), published);
    // The total percent never goes back and ends complete.
    QVERIFY(totals.size() > 10);
    QVERIFY(std::is_sorted(totals.begin(), totals.end()));
    QCOMPARE(totals.last(), 100);
    QVERIFY(totals.contains(50));
    QCOMPARE(shownAddress, Base() + QStringLiteral("/kestrelmv/files/kestrel.dat"));
}

void TestUpdater::lostFile_data() {
    QTest::addColumn<bool>("skip");
    QTest::newRow("skipped") << true;
    QTest::newRow("aborted") << false;
}

void TestUpdater::lostFile() {
    QFETCH(bool, skip);
    Serve(QStringLiteral("a.bin"), 100);
    Serve(QStringLiteral("c.bin"), 100);
    WriteInfo(
        QStringLiteral("#version=0.91\n#url1={server}/kestrelmv/files/a.bin\n"
                       "#url2={server}/kestrelmv/files/b.bin\n"
                       "#url3={server}/kestrelmv/files/c.bin\n"));
    answers_->Add(kYes);
    answers_->Add(skip ? kYes : kNo);
    u_->CheckUpgrade();
    if (skip) {
        Finish();
        QCOMPARE(events_, (QStringList{"done a.bin.uTMP", "lost b.bin 404", "done c.bin.uTMP",
                                       "end", "close"}));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
        QTRY_VERIFY(!TUpdaterWizardForm::Instance());
        QCOMPARE(events_, (QStringList{"done a.bin.uTMP", "lost b.bin 404", "aborted"}));
        QVERIFY(helper_.isEmpty());
    }
    QCOMPARE(answers_->Seen.value(1), QStringLiteral("错误 #404|文档b.bin找不到或者发生错误，\n\n"
                                                     "您要忽略这个文档并且继续升级操作吗？"));
    QVERIFY(!QFile::exists(QFileInfo(program_).absolutePath() + QStringLiteral("/b.bin.uTMP")));
}

void TestUpdater::protectedFile_data() {
    QTest::addColumn<bool>("login");
    QTest::newRow("logged in") << true;
    QTest::newRow("cancelled") << false;
}

void TestUpdater::protectedFile() {
    QFETCH(bool, login);
    const QByteArray bytes = Serve(QStringLiteral("p.bin"), 5000);
    WriteInfo(QStringLiteral("#version=0.91\n#url={server}/kestrelmv/private/p.bin\n"));
    answers_->Add(kYes);
    answers_->Add(Login(QStringLiteral("kestrel"), QStringLiteral("demo"), login));
    u_->CheckUpgrade();
    const QString target = QFileInfo(program_).absolutePath() + QStringLiteral("/p.bin.uTMP");
    if (login) {
        Finish();
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
        QCOMPARE(u_->Username, QStringLiteral("kestrel"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
        QTRY_VERIFY(!TUpdaterWizardForm::Instance());
        QVERIFY(!QFile::exists(target) && helper_.isEmpty());
    }
    QVERIFY(answers_->Seen.value(1).startsWith(
        QStringLiteral("请输入密码|远端的文档\"p.bin\"被密码保护，")));
}

void TestUpdater::refusedFiles() {
    const QByteArray good = Serve(QStringLiteral("good.bin"), 2000);
    Serve(QStringLiteral("evil.bin"), 2001);
    const QString goodDigest =
        QString::fromLatin1(QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex());
    // The server never answers a climbing name; the updater must not even ask for it.
    WriteInfo(QStringLiteral("#version=0.91\n#url={server}/kestrelmv/files/..%2Fescape\n"
                             "#url0={server}/kestrelmv/files/evil.bin\n#url0.sha256=") +
              goodDigest +
              QStringLiteral("\n#url3={server}/kestrelmv/files/good.bin\n#url3.sha256=") +
              goodDigest + u'\n');
    answers_->Add(kYes);
    answers_->Add(kYes);
    answers_->Add(kYes);
    u_->CheckUpgrade();
    Finish();
    QCOMPARE(events_, (QStringList{"lost ..%2Fescape 0", "lost evil.bin 0", "done good.bin.uTMP",
                                   "end", "close"}));
    const QDir folder = QFileInfo(program_).absoluteDir();
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden),
             (QStringList{"good.bin.uTMP", "kestrel"}));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("escape.uTMP"))));
}

void TestUpdater::sameSizeFileSkipped() {
    // A file beside the program of the same size is not fetched again; the program always is.
    const QString folder = QFileInfo(program_).absolutePath();
    Serve(QStringLiteral("kestrel"), 11);  // as long as "old program"
    Serve(QStringLiteral("kestrel.dat"), 40);
    QFile local(folder + QStringLiteral("/kestrel.dat"));
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write(QByteArray(40, 'x')) == 40);
    local.close();
    WriteInfo(
        QStringLiteral("#version=0.91\n#url1={server}/kestrelmv/files/KESTREL.dat\n"
                       "#url2={server}/kestrelmv/files/kestrel\n"));
    QFile::rename(dir_.filePath(QStringLiteral("files/kestrel.dat")),
                  dir_.filePath(QStringLiteral("files/KESTREL.dat")));
    QFile::rename(folder + QStringLiteral("/kestrel.dat"), folder + QStringLiteral("/KESTREL.dat"));
    u_->MiscFilesUpgrade = TMiscFilesUpgradeBehavior::mfuOnlyIfSizeDifferent;
    u_->Wizard.Enabled = false;
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("close")), 10000);
    QCOMPARE(events_, (QStringList{"done kestrel.uTMP", "end", "close"}));
}

// A reply without a length still becomes the file, and what a cancelled upgrade left behind is
// gone before the helper could take it for part of this one.
void TestUpdater::replyWithoutLength() {
    const QByteArray bytes = Serve(QStringLiteral("c.bin"), 5000);
    const QString folder = QFileInfo(program_).absolutePath();
    QFile stale(folder + QStringLiteral("/stale.dat.uTMP"));
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("half") == 4);
    stale.close();
    WriteInfo(QStringLiteral("#version=0.91\n#url={server}/kestrelmv/files/c.bin?chunked=1\n"));
    answers_->Add(kYes);
    u_->CheckUpgrade();
    Finish();
    const QString name = QStringLiteral("c.bin?chunked=1.uTMP");
    QCOMPARE(events_, (QStringList{"done " + name, "end", "close"}));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{name, "kestrel"}));
    QFile file(folder + u'/' + name);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
}

// The wizard does not wait for ever on a download whose file cannot be made: it is lost.
void TestUpdater::fileThatCannotBeMade() {
    Serve(QStringLiteral("x.bin"), 100);
    Serve(QStringLiteral("y.bin"), 100);
    QVERIFY(QFileInfo(program_).absoluteDir().mkdir(QStringLiteral("x.bin.uTMP")));
    WriteInfo(
        QStringLiteral("#version=0.91\n#url1={server}/kestrelmv/files/x.bin\n"
                       "#url2={server}/kestrelmv/files/y.bin\n"));
    answers_->Add(kYes);
    answers_->Add(kYes);
    u_->CheckUpgrade();
    Finish();
    QCOMPARE(events_, (QStringList{"lost x.bin 0", "done y.bin.uTMP", "end", "close"}));
}

void TestUpdater::secondCheckWhileBusy() {
    WriteInfo(QStringLiteral("#version=0.90"));
    u_->InfoFileURL += QStringLiteral("?delay_ms=300");
    u_->CheckUpgrade();
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(events_, QStringList{QStringLiteral("noupdate")}, 10000);
    QTest::qWait(500);
    QCOMPARE(events_, QStringList{QStringLiteral("noupdate")});
}

void TestUpdater::readOnlyProgramFolder() {
    if (::geteuid() == 0)
        QSKIP("root writes into any folder");
    Serve(QStringLiteral("kestrel"), 100);
    WriteInfo(QStringLiteral("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n"));
    const QString folder = QFileInfo(program_).absolutePath();
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    answers_->Add(kYes);
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(answers_->Seen.value(1).startsWith(
        QStringLiteral("软件升级精灵|程序所在的文件夹不允许写入")));
    QVERIFY(helper_.isEmpty() && !TUpdaterWizardForm::Instance());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("kestrel")});
}

QTEST_MAIN(TestUpdater)
#include "test_updater.moc"
