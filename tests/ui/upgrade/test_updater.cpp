// The upgrade component against the quote server on loopback: the check's outcomes, the web page,
// downloads with the wizard, lost, refused and protected files, a full disk and a folder that
// another copy is upgrading. The information file is signed with the tests' own key. Dialogs are
// answered as they open.
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

#include <sys/resource.h>
#include <unistd.h>

#include "../net/raw_server.h"
#include "net/urls.h"
#include "platform/net/curltransfer.h"
#include "platform/online.h"
#include "ui/upgrade/updater.h"
#include "ui/upgrade/updatermessage.h"
#include "ui/upgrade/updaterpassword.h"
#include "ui/upgrade/updaterwizard.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/minisign.h"
#include "upgradekeys.h"

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

// The texts a user reads in a window: its title, labels, group titles and buttons.
QStringList TextsOf(const QWidget* window) {
    QStringList texts{window->windowTitle()};
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    for (const QGroupBox* group : window->findChildren<QGroupBox*>())
        texts << group->title();
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        texts << button->text();
    return texts;
}

QByteArray Script(qint64 size) {
    QByteArray bytes = "#!/bin/sh\n";
    while (bytes.size() < size)
        bytes += char('a' + bytes.size() % 26);
    return bytes.left(size);
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
    void lostFile();
    void protectedFile_data();
    void protectedFile();
    void refusals_data();
    void refusals();
    void sameSizeFileSkipped();
    void replyWithoutLength();
    void fullDisk();
    void drippingDownload();
    void anotherCopyUpgrading();
    void secondCheckWhileBusy();
    void readOnlyProgramFolder();
    void restoredAfterAFailedUpgrade();
    void hundredThousandAddresses();
    void builtInKey();
    void englishThroughout();

private:
    // Publishes an information file ("{server}" stands for the server) with its signature.
    void WriteInfo(QString text, bool withSignature = true,
                   const QString& expires = QStringLiteral("2099-12-31"));
    QByteArray Serve(const QString& name, const QByteArray& bytes);
    void Finish();
    // Checks for an upgrade that ends cancelled, and waits until the wizard has gone.
    void RunUntilCancelled();
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    // Everything in the program's folder.
    QStringList FolderEntries() const {
        return QFileInfo(program_).absoluteDir().entryList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir_;
    QProcess server_;
    int port_ = 0;
    FakeDesktop desktop_;
    std::unique_ptr<TUpdater> u_;
    std::unique_ptr<Answers> answers_;
    QStringList events_;
    QString helper_;
    QString staging_;
    int lockFd_ = -1;
    QString program_;
};

void TestUpdater::initTestCase() {
    SetDefaultTransferFactory(&MakeCurlTransfer);
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("files")));
    server_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
    server_.setArguments({"--port", "0", "--source", "walk", "--upgrade-dir",
                          dir_.filePath("files"), "--private-upgrade-dir", dir_.filePath("files"),
                          "--upgrade-login", "kestrel:demo"});
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
    staging_.clear();
    lockFd_ = -1;
    desktop_.Opened.clear();
    answers_ = std::make_unique<Answers>();
    u_ = std::make_unique<TUpdater>();
    TUpdater& u = *u_;
    u.Proxy.AccessType = THTTPAccessType::atDirect;
    u.Wizard.SetLanguage(wlChineseSimplified);
    u.VersionControl = TUpdaterVersionControl::byNumber;
    u.VersionNumber = QStringLiteral("0.90");
    u.InfoFileURL = Base() + QStringLiteral("/kestrelmv/files/kestrelmv.inf");
    u.UpgradeKeys = MinisignKeyLine(MinisignPublicOf(TestKey()));
    u.ProgramPath = program_;
    u.Desktop = &desktop_;
    u.StartHelper = [this](const QString& params, const QString& staging, int lockFd) {
        helper_ = params;
        staging_ = staging;
        lockFd_ = lockFd;
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
    u.OnLostFile = [this](TUpdater*, const QString& url, int code) {
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

void TestUpdater::WriteInfo(QString text, bool withSignature, const QString& expires) {
    text.replace(QStringLiteral("{server}"), Base());
    const QByteArray bytes = text.toUtf8();
    QFile file(dir_.filePath(QStringLiteral("files/kestrelmv.inf")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    QFile signature(file.fileName() + QStringLiteral(".minisig"));
    if (!withSignature) {
        signature.remove();
        return;
    }
    QVERIFY(signature.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QString comment = QStringLiteral("kestrelmv version=%1 expires=%2")
                                .arg(InfoValue(text, QStringLiteral("version")), expires);
    signature.write(MinisignSign(bytes, TestKey(), comment));
}

QByteArray TestUpdater::Serve(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.filePath(QStringLiteral("files/") + name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
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

void TestUpdater::RunUntilCancelled() {
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Upgrade cancelled")));
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
    QTRY_VERIFY(!TUpdaterWizardForm::Instance());
}

void TestUpdater::checkOutcomes_data() {
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("query");  // behind the information file's address
    QTest::addColumn<bool>("answer");    // a dialog is expected and answered
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("log");      // the reason written to the log, when refused
    QTest::addColumn<QString>("failure");  // what the user is told when no answer was had
    const QString program =
        "#url={server}/kestrelmv/files/kestrel\n#url.sha256=" + QString(64, u'a') + u'\n';
    QTest::newRow("not newer") << "#version=0.90.0.0\n" + program << "" << false << "noinfo"
                               << ""
                               << "version 0.90.0.0 is not newer"
                               << "";
    QTest::newRow("rolled back") << "#version=0.89\n" + program << "" << false << "noinfo"
                                 << ""
                                 << "version 0.89 is not newer"
                                 << "";
    QTest::newRow("newer without a file") << "#version=0.91\n"
                                          << "" << false << "noupdate"
                                          << ""
                                          << ""
                                          << "";
    QTest::newRow("information file missing") << ""
                                              << "?status=404" << false << "noinfo"
                                              << ""
                                              << "the server answered 404"
                                              << "在服务器中无法找到升级的相关信息。";
    QTest::newRow("signature missing")
        << "#version=0.91\n" + program << "nosig" << false << "noinfo"
        << ""
        << "the server answered 404"
        << "服务器上的升级信息没有签名，无法确认其来源，因此不予采用。";
    QTest::newRow("expired")
        << "#version=0.91\n" + program << "expired" << false << "noinfo"
        << ""
        << "it expired on 2020-01-31"
        << "服务器上的升级信息已过期，因此不予采用。\n\n请稍后再进行升级操作。";
    QTest::newRow("address not http")
        << "#version=0.91\n#url=file:///etc/passwd\n#url.sha256=" + QString(64, u'a') << "" << false
        << "noinfo"
        << ""
        << "it names the address file:///etc/passwd"
        << "服务器上的升级信息签名无效或与内容不符，因此不予采用。";
    QTest::newRow("host unreachable")
        << ""
        << "unreachable" << false << "unreachable 127.0.0.1"
        << ""
        << ""
        << "无法与服务器http://127.0.0.1'连接。\n\n请检查您的internet设定之后再进行升级操作。";
    QTest::newRow("connection lost")
        << "#version=0.91"
        << "?short_body=1" << true << "connlost"
        << "软件升级精灵|与远端服务器的连接中断，\n\n请重新连接后再进行升级操作。"
        << ""
        << "与远端服务器的连接中断，\n\n请重新连接后再进行升级操作。";
    QTest::newRow("later")
        << "#version=0.91\n" + program + "#message={新}"
        << "" << true << "later"
        << "软件升级精灵|test_updater已经有新版本推出，\n\n新\n\n您要升级到新版本吗？"
        << ""
        << "";
}

void TestUpdater::checkOutcomes() {
    QFETCH(QString, info);
    QFETCH(QString, query);
    QFETCH(bool, answer);
    QFETCH(QString, events);
    QFETCH(QString, dialog);
    QFETCH(QString, log);
    QFETCH(QString, failure);
    WriteInfo(info, query != u"nosig",
              query == u"expired" ? QStringLiteral("2020-01-31") : QStringLiteral("2099-12-31"));
    if (query == u"unreachable")
        u_->InfoFileURL = QStringLiteral("http://127.0.0.1:1/kestrelmv/kestrelmv.inf");
    else if (query.startsWith(u'?'))
        u_->InfoFileURL += query;
    if (answer)
        answers_->Add(kNo);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not used: ") +
                                                              QRegularExpression::escape(log)));
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(events_.join(u','), events, 10000);
    QCOMPARE(answers_->Seen.join(u';'), dialog);
    QCOMPARE(u_->CheckFailure(), failure);
    QVERIFY(desktop_.Opened.isEmpty() && helper_.isEmpty());
}

void TestUpdater::redirectOpensThePage() {
    WriteInfo(
        QStringLiteral("#version=0.91\n#method=2\n#url=http://kestrel.example.org/new\n"
                       "#url1=http://127.0.0.1:1/second"));
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(desktop_.Opened,
                              QStringList{QStringLiteral("http://kestrel.example.org/new")}, 10000);
    QTest::qWait(100);
    QVERIFY(events_.isEmpty() && !TUpdaterWizardForm::Instance());
}

void TestUpdater::selfUpgradeWithWizard() {
    const QByteArray big = Serve(QStringLiteral("kestrel"), Script(3 * 1024 * 1024));
    const QByteArray small = Serve(QStringLiteral("kestrel-quoted"), Script(1000));
    const QDateTime published(QDate(2025, 11, 30), QTime(8, 30, 0), Qt::UTC);
    {
        QFile served(dir_.filePath(QStringLiteral("files/kestrel-quoted")));
        QVERIFY(served.open(QIODevice::ReadWrite));
        QVERIFY(served.setFileTime(published, QFileDevice::FileModificationTime));
    }
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" + Digest(big) +
              "\n#url0={server}/kestrelmv/files/kestrel-quoted\n#url0.sha256=" + Digest(small));
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

    QCOMPARE(events_,
             (QStringList{"done kestrel.uTMP", "done kestrel-quoted.uTMP", "end", "close"}));
    QCOMPARE(helper_, QStringLiteral("+/afterupgrade0"));
    // The verified set waits in its private folder, marked ready, for the helper; nothing
    // beside the program changed yet.
    QVERIFY(staging_.startsWith(QLatin1String(helper::kStagingPrefix)));
    QVERIFY(lockFd_ >= 0);
    QCOMPARE(FolderEntries(), (QStringList{staging_, ".kestrel-upgrade.lock", "kestrel"}));
    const QString staged = QFileInfo(program_).absolutePath() + u'/' + staging_ + u'/';
    QVERIFY(helper::IsStagingFolder(staged));
    QVERIFY(QFile::exists(staged + QLatin1String(helper::kReadyMark)));
    QFile first(staged + QStringLiteral("kestrel.uTMP")),
        second(staged + QStringLiteral("kestrel-quoted.uTMP"));
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    QVERIFY(first.readAll() == big && second.readAll() == small);
    QCOMPARE(second.fileTime(QFileDevice::FileModificationTime).toUTC(), published);
    // The total percent never goes back and ends complete.
    QVERIFY(totals.size() > 10);
    QVERIFY(std::is_sorted(totals.begin(), totals.end()));
    QCOMPARE(totals.last(), 100);
    QVERIFY(totals.contains(50));
    QCOMPARE(shownAddress, Base() + QStringLiteral("/kestrelmv/files/kestrel-quoted"));
}

// A file that cannot be had ends the upgrade: nothing is kept, there is no skipping it.
void TestUpdater::lostFile() {
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(100));
    QFile::remove(dir_.filePath(QStringLiteral("files/kestrel-quoted")));
    WriteInfo(
        "#version=0.91\n#url1={server}/kestrelmv/files/kestrel\n#url1.sha256=" + Digest(program) +
        "\n#url2={server}/kestrelmv/files/kestrel-quoted\n#url2.sha256=" + Digest(program) + u'\n');
    answers_->Add(kYes);
    answers_->Add(kYes);
    RunUntilCancelled();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(events_, (QStringList{"done kestrel.uTMP", "lost kestrel-quoted 404", "aborted"}));
    QCOMPARE(answers_->Seen.value(1),
             QStringLiteral("软件升级精灵|升级已取消：无法下载文件“kestrel-quoted”。"));
    QVERIFY(helper_.isEmpty());
    QCOMPARE(FolderEntries(), (QStringList{".kestrel-upgrade.lock", "kestrel"}));
}

void TestUpdater::protectedFile_data() {
    QTest::addColumn<bool>("login");
    QTest::newRow("logged in") << true;
    QTest::newRow("cancelled") << false;
}

void TestUpdater::protectedFile() {
    QFETCH(bool, login);
    const QByteArray bytes = Serve(QStringLiteral("kestrel-quoted"), Script(5000));
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/private/kestrel-quoted\n#url.sha256=" +
              Digest(bytes));
    // The login belongs to the wizard, which belongs to the ticker, and stays on top with it.
    QWidget ticker(nullptr, Qt::WindowStaysOnTopHint);
    u_->DialogOwner = &ticker;
    answers_->Add(kYes);
    QWidget* wizard = nullptr;
    QWidget* wizardOwner = nullptr;
    bool loginOnTop = false;
    answers_->Add([&, answer = Login(QStringLiteral("kestrel"), QStringLiteral("demo"), login)](
                      QWidget* dialog) {
        wizard = TUpdaterWizardForm::Instance();
        if (dialog->parentWidget() == wizard && wizard)
            wizardOwner = wizard->parentWidget();
        loginOnTop = dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        answer(dialog);
    });
    u_->CheckUpgrade();
    QTRY_VERIFY(wizard);
    QCOMPARE(wizardOwner, &ticker);
    QVERIFY(loginOnTop);
    if (login) {
        Finish();
        QFile file(QFileInfo(program_).absolutePath() + u'/' + staging_ +
                   QStringLiteral("/kestrel-quoted.uTMP"));
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
        QCOMPARE(u_->Username, QStringLiteral("kestrel"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
        QTRY_VERIFY(!TUpdaterWizardForm::Instance());
        QVERIFY(helper_.isEmpty());
        QCOMPARE(FolderEntries(), (QStringList{".kestrel-upgrade.lock", "kestrel"}));
    }
    QVERIFY(answers_->Seen.value(1).startsWith(
        QStringLiteral("请输入密码|远端的文档\"kestrel-quoted\"被密码保护，")));
}

// A file the upgrade may not install, or that is not what was published, ends the whole
// upgrade with an error that says so; nothing of it stays.
void TestUpdater::refusals_data() {
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("digestOf");  // "served", or a text whose digest is published
    QTest::addColumn<QString>("extra");     // a second file's name, published with a digest
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("error");
    QTest::newRow("settings file") << Script(50) << "served"
                                   << "kestrel.ini"
                                   << "aborted"
                                   << "升级已取消：“kestrel.ini”不是本程序的文件，不能由升级替换。";
    QTest::newRow("selection file")
        << Script(50) << "served"
        << "kestrel.ccy"
        << "aborted"
        << "升级已取消：“kestrel.ccy”不是本程序的文件，不能由升级替换。";
    QTest::newRow("digest mismatch") << Script(50) << "something else"
                                     << ""
                                     << "lost kestrel 0,aborted"
                                     << "升级已取消：下载的文件“kestrel”与发布的校验值不符。";
    QTest::newRow("web page as the program")
        << QByteArray("<html><body>Please log in to the hotel network</body></html>") << "served"
        << ""
        << "lost kestrel 0,aborted"
        << "升级已取消：下载的文件“kestrel”不是能在本机运行的程序。";
}

void TestUpdater::refusals() {
    QFETCH(QByteArray, served);
    QFETCH(QString, digestOf);
    QFETCH(QString, extra);
    QFETCH(QString, events);
    QFETCH(QString, error);
    Serve(QStringLiteral("kestrel"), served);
    const QString digest = Digest(digestOf == u"served" ? served : digestOf.toUtf8());
    QString info = "#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" + digest;
    if (!extra.isEmpty())
        info += "\n#url0={server}/kestrelmv/files/" + extra + "\n#url0.sha256=" + digest;
    WriteInfo(info);
    // A name refused up front is not even asked about.
    if (extra.isEmpty())
        answers_->Add(kYes);
    answers_->Add(kYes);
    RunUntilCancelled();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(events_.join(u','), events);
    QCOMPARE(answers_->Seen.last(), QStringLiteral("软件升级精灵|") + error);
    QVERIFY(helper_.isEmpty());
    QCOMPARE(FolderEntries(), (QStringList{extra.isEmpty() ? ".kestrel-upgrade.lock" : "kestrel"}
                               << (extra.isEmpty() ? QStringList{"kestrel"} : QStringList{})));
}

void TestUpdater::sameSizeFileSkipped() {
    // A file beside the program of the same size is not fetched again; the program always is.
    const QString folder = QFileInfo(program_).absolutePath();
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(11));  // as "old program"
    const QByteArray companion = Serve(QStringLiteral("kestrel-quoted"), Script(40));
    QFile local(folder + QStringLiteral("/kestrel-quoted"));
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write(QByteArray(40, 'x')) == 40);
    local.close();
    WriteInfo("#version=0.91\n#url1={server}/kestrelmv/files/kestrel-quoted\n#url1.sha256=" +
              Digest(companion) +
              "\n#url2={server}/kestrelmv/files/kestrel\n#url2.sha256=" + Digest(program) + u'\n');
    u_->MiscFilesUpgrade = TMiscFilesUpgradeBehavior::mfuOnlyIfSizeDifferent;
    u_->Wizard.Enabled = false;
    answers_->Add(kYes);
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("close")), 10000);
    QCOMPARE(events_, (QStringList{"done kestrel.uTMP", "end", "close"}));
}

// A reply without a length still becomes the file, and what an interrupted upgrade left behind
// is gone before the helper could take it for part of this one.
void TestUpdater::replyWithoutLength() {
    const QByteArray bytes = Serve(QStringLiteral("setup"), Script(5000));
    const QString folder = QFileInfo(program_).absolutePath() + u'/';
    const QString stale = folder + QStringLiteral(".kestrel-upgrade-stale1");
    QVERIFY(QDir().mkdir(stale));
    QVERIFY(QFile::setPermissions(
        stale, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QFile half(stale + QStringLiteral("/kestrel.uTMP"));
    QVERIFY(half.open(QIODevice::WriteOnly) && half.write("half") == 4);
    half.close();
    WriteInfo(
        "#version=0.91\n#method=1\n#url={server}/kestrelmv/files/setup?chunked=1\n"
        "#url.sha256=" +
        Digest(bytes));
    answers_->Add(kYes);
    u_->CheckUpgrade();
    Finish();
    const QString name = QStringLiteral("setup?chunked=1.uTMP");
    QCOMPARE(events_, (QStringList{"done " + name, "end", "close"}));
    QCOMPARE(helper_, QStringLiteral("+/afterupgrade1"));
    QVERIFY(!QFile::exists(stale));
    QFile file(folder + staging_ + u'/' + name);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
}

// A download past the file size limit fails as a write (the limit's signal is ignored) and is
// reported as such, not as a lost connection.
void TestUpdater::fullDisk() {
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(200000));
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" +
              Digest(program));
    struct rlimit limit;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const struct rlimit small = {50000, limit.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
    answers_->Add(kYes);
    answers_->Add(kYes);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Upgrade cancelled")));
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
    QCOMPARE(answers_->Seen.value(1),
             QStringLiteral("软件升级精灵|升级已取消：磁盘已满或文件过大，无法保存“kestrel”。"));
    QVERIFY(!events_.contains(QStringLiteral("connlost")) && helper_.isEmpty());
    QCOMPARE(FolderEntries(), (QStringList{".kestrel-upgrade.lock", "kestrel"}));
}

// A download that drips a byte now and then is never silent for a whole idle time-out; it ends
// as a stalled connection, said so, long before the hour.
void TestUpdater::drippingDownload() {
    test::RawServer drip([](test::RawServer& self, int socket, const std::string&) {
        if (!self.Send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n#!"))
            return;
        while (self.Send(socket, "x"))
            QThread::msleep(100);
    });
    WriteInfo("#version=0.91\n#url=" + drip.Url("/kestrel") +
              "\n#url.sha256=" + Digest(Script(100000)));
    u_->Timeouts.ReceiveTimeout = 500;
    answers_->Add(kYes);
    answers_->Add([](QWidget* box) {
        Shot(QStringLiteral("stalled"));
        Click(box, true);
    });
    QElapsedTimer took;
    took.start();
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("connlost")), 10000);
    QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
    QTRY_COMPARE(answers_->Seen.size(), 2);
    QCOMPARE(
        answers_->Seen.value(1),
        QStringLiteral("软件升级精灵|升级已取消：下载“kestrel”时连接停滞，长时间几乎收不到数据。"));
    QVERIFY(helper_.isEmpty());
}

// While another copy upgrades the folder (it holds the lock), this one downloads nothing; once
// the other is done, the upgrade goes through whole.
void TestUpdater::anotherCopyUpgrading() {
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(1000));
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" +
              Digest(program));
    const int other = helper::LockFolder(QFileInfo(program_).absolutePath(), false);
    QVERIFY(other >= 0);
    answers_->Add(kYes);
    answers_->Add(kYes);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Upgrade cancelled")));
    u_->CheckUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(events_.contains(QStringLiteral("aborted")), 10000);
    QCOMPARE(answers_->Seen.value(1),
             QStringLiteral("软件升级精灵|另一个升级正在进行，请稍后再试。"));
    QCOMPARE(FolderEntries(), (QStringList{".kestrel-upgrade.lock", "kestrel"}));
    ::close(other);

    events_.clear();
    answers_->Add(kYes);
    u_->CheckUpgrade();
    Finish();
    QCOMPARE(events_, (QStringList{"done kestrel.uTMP", "end", "close"}));
    QVERIFY(!staging_.isEmpty());
}

void TestUpdater::secondCheckWhileBusy() {
    WriteInfo(QStringLiteral("#version=0.91"));
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
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(100));
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" +
              Digest(program));
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

// Started again by the helper after the new version failed, the program says so.
void TestUpdater::restoredAfterAFailedUpgrade() {
    answers_->Add(kYes);
    u_->OnAfterRestart = [this](TUpdater*) { events_ << QStringLiteral("restarted"); };
    u_->Loaded({program_, QStringLiteral("/afterupgrade"), QStringLiteral("/upgradefailed")});
    QTRY_COMPARE_WITH_TIMEOUT(
        answers_->Seen, QStringList{QStringLiteral("软件升级精灵|升级失败，已恢复原版本")}, 5000);
    QVERIFY(events_.isEmpty());
    u_->Loaded({program_, QStringLiteral("/afterupgrade")});
    QCOMPARE(events_, QStringList{QStringLiteral("restarted")});
}

// An information file of 100,000 addresses is refused for its length while the window's
// thread goes on serving its events.
void TestUpdater::hundredThousandAddresses() {
    QString info =
        "#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" + QString(64, u'a') +
        u'\n';
    for (int i = 2; i <= 100000; ++i)
        info += QStringLiteral("#url%1={server}/kestrelmv/files/f%1\n").arg(i);
    WriteInfo(info);
    QElapsedTimer sinceLast;
    qint64 longest = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceLast.restart()); });
    sinceLast.start();
    beat.start(5);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("more than 300 files")));
    u_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(events_, QStringList{QStringLiteral("noinfo")}, 30000);
    // A generous bound: reading such a file on the window's thread froze it for minutes.
    QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
    qInfo("longest pause of the window's thread: %lld ms", longest);
}

// The project's publishing key is built in from the key file in the tree; the tests' key is not
// among the built-in ones.
void TestUpdater::builtInKey() {
    QFile file(QStringLiteral(KESTREL_SOURCE_DIR "/resources/upgrade/kestrel-publish.pub"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::optional<MinisignKey> inTree = ParseMinisignKey(QString::fromLatin1(file.readAll()));
    QVERIFY(inTree);
    const QList<MinisignKey> builtIn = BuiltInUpgradeKeys();
    QCOMPARE(builtIn.size(), 1);
    QCOMPARE(MinisignKeyLine(builtIn.first()), MinisignKeyLine(*inTree));
    QVERIFY(builtIn.first().key != MinisignPublicOf(TestKey()).key);
}

QTEST_MAIN(TestUpdater)
// With English chosen, nothing of the upgrade speaks Chinese: the question, the wizard while it
// downloads, and the message that ends a refused upgrade.
void TestUpdater::englishThroughout() {
    u_->Wizard.SetLanguage(wlEnglish);
    const QByteArray program = Serve(QStringLiteral("kestrel"), Script(200 * 1024));
    WriteInfo("#version=0.91\n#url={server}/kestrelmv/files/kestrel\n#url.sha256=" +
              Digest(program) + "\n#url0={server}/kestrelmv/files/kestrel-quoted\n#url0.sha256=" +
              Digest("something else"));
    QStringList shown;
    u_->SetTransferBufferSize(16 * 1024);
    u_->OnProgress = [&](TUpdater*, const QString&, qint64, qint64, qint64, qint64, quint8, quint8,
                         float) {
        if (const TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
            if (shown.isEmpty())
                Shot(QStringLiteral("wizard-english"));
            shown << TextsOf(wizard);
        }
    };
    answers_->Add(kYes);
    answers_->Add(kYes);
    RunUntilCancelled();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!shown.isEmpty());
    QCOMPARE(answers_->Seen.size(), 2);
    QVERIFY2(answers_->Seen.last().contains(QStringLiteral("upgrade was cancelled")),
             qPrintable(answers_->Seen.last()));
    shown << answers_->Seen;
    for (const QString& text : std::as_const(shown)) {
        const bool chinese = std::any_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF;
        });
        QVERIFY2(!chinese, qPrintable(text));
    }
}

#include "test_updater.moc"
