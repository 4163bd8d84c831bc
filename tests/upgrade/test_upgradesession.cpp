// The upgrade session with no window and no network: the information file comes from a local
// file, the downloads from a transfer that serves bytes held in memory. What a window would show
// or answer is the test's handlers.
#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <mutex>

#include "net/httpclient.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/minisign.h"
#include "upgrade/upgradesession.h"
#include "upgrade/upgradetext.h"
#include "upgradekeys.h"

using namespace kestrel;

namespace {

const QString kServer = QStringLiteral("http://upgrade.test/");

// The served files by address; a file with a login answers 401 until it is given.
struct Served {
    QByteArray bytes;
    QString login;  // "user:password", or empty
};
std::mutex gServedLock;
std::map<QString, Served> gServed;

class MemoryTransfer final : public ITransfer {
public:
    bool Open(const TransferSessionOptions&) override { return true; }
    bool Send(const TransferRequest& request) override {
        const std::lock_guard lock(gServedLock);
        const auto it = gServed.find(request.URL);
        body_.clear();
        at_ = 0;
        if (it == gServed.end()) {
            status_ = 404;
        } else if (!it->second.login.isEmpty() &&
                   request.Username + u':' + request.Password != it->second.login) {
            status_ = 401;
        } else {
            status_ = 200;
            body_ = it->second.bytes;
        }
        return true;
    }
    int StatusCode() const override { return status_; }
    std::optional<QString> Header(TransferHeader header) const override {
        if (header == TransferHeader::ContentLength)
            return QString::number(body_.size());
        if (header == TransferHeader::WWWAuthenticate && status_ == 401)
            return QStringLiteral("Basic realm=\"upgrade\"");
        return std::nullopt;
    }
    qint64 Read(char* buffer, qint64 size) override {
        const qint64 n = std::min<qint64>(size, body_.size() - at_);
        memcpy(buffer, body_.constData() + at_, size_t(n));
        at_ += n;
        return n;
    }

private:
    int status_ = -1;
    QByteArray body_;
    qint64 at_ = 0;
};

QByteArray Script(int size) {
    QByteArray bytes = "#!/bin/sh\n";
    while (bytes.size() < size)
        bytes += char('a' + bytes.size() % 26);
    return bytes;
}

}  // namespace

class TestUpgradeSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void waitsForFinish();
    void unanswered_data();
    void unanswered();

private:
    // Publishes the files (name, bytes) in a signed information file of version 0.91.
    void Publish(const QList<std::pair<QString, QByteArray>>& files, const QString& login = {});
    QStringList FolderEntries() const {
        return QDir(folder_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir_;
    QString folder_;  // the program's, with its trailing "/"
    std::unique_ptr<TCustomHTTPClient> client_;
    std::unique_ptr<TUpgradeOptions> options_;
    std::unique_ptr<TUpgradeSession> session_;
    QStringList events_;
    QString helper_;
};

void TestUpgradeSession::initTestCase() {
    SetUpdaterLanguage(wlEnglish);
}

void TestUpgradeSession::init() {
    folder_ = dir_.filePath(QStringLiteral("program/"));
    QDir(folder_).removeRecursively();
    QVERIFY(QDir().mkpath(folder_));
    QFile own(folder_ + QStringLiteral("kestrel"));
    QVERIFY(own.open(QIODevice::WriteOnly) && own.write("old program") > 0);
    own.close();
    gServed.clear();
    events_.clear();
    helper_.clear();
    client_ =
        std::make_unique<TCustomHTTPClient>([] { return std::make_unique<MemoryTransfer>(); });
    options_ = std::make_unique<TUpgradeOptions>();
    options_->ProgramPath = folder_ + QStringLiteral("kestrel");
    options_->InfoFileURL =
        QUrl::fromLocalFile(dir_.filePath(QStringLiteral("info.inf"))).toString();
    options_->UpgradeKeys = MinisignKeyLine(MinisignPublicOf(TestKey()));
    options_->VersionControl = TUpdaterVersionControl::byNumber;
    options_->VersionNumber = QStringLiteral("0.90");
    options_->StartHelper = [this](const QString& params, const QString& staging, int lockFd) {
        helper_ = params + u' ' + staging;
        return lockFd >= 0;
    };
    session_ = std::make_unique<TUpgradeSession>(*client_, *options_);
    TUpgradeSession& s = *session_;
    const auto note = [this](const char* name) {
        return [this, name](TUpgradeSession*) { events_ << QString::fromLatin1(name); };
    };
    s.OnLaterUpgrade = note("later");
    s.OnAborted = note("aborted");
    s.OnEndUpgrade = note("end");
    s.OnStopped = note("stopped");
    s.OnHelperStarted = note("helper");
    s.OnDownloadsBegin = note("downloads");
    s.OnFileDone = [this](TUpgradeSession*, const QString& name) {
        events_ << QStringLiteral("done ") + QFileInfo(name).fileName();
    };
    s.OnShowError = [this](TUpgradeSession*, const QString& text) { events_ << text; };
}

void TestUpgradeSession::cleanup() {
    session_.reset();
    client_.reset();
}

void TestUpgradeSession::Publish(const QList<std::pair<QString, QByteArray>>& files,
                                 const QString& login) {
    QString info = QStringLiteral("#version=0.91\n");
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString address = kServer + files.at(i).first;
        gServed[address] = {files.at(i).second, login};
        info += QStringLiteral("#url%1=%2\n#url%1.sha256=%3\n")
                    .arg(i + 1)
                    .arg(address, Digest(files.at(i).second));
    }
    QFile file(dir_.filePath(QStringLiteral("info.inf")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(info.toUtf8());
    QFile signature(file.fileName() + QStringLiteral(".minisig"));
    QVERIFY(signature.open(QIODevice::WriteOnly | QIODevice::Truncate));
    signature.write(MinisignSign(info.toUtf8(), TestKey(),
                                 QStringLiteral("kestrelmv version=0.91 expires=2099-12-31")));
}

// A verified set waits at usFinishing for as long as the window keeps the finish page; a stop
// there drops it, and a Finish after the stop must not hand the helper a folder that is gone.
void TestUpgradeSession::waitsForFinish() {
    const QByteArray program = Script(3000), companion = Script(500);
    Publish({{QStringLiteral("kestrel"), program}, {QStringLiteral("kestrel-quoted"), companion}});
    TUpgradeSession& s = *session_;
    s.OnAskUpgrade = [](TUpgradeSession*, const QString&, bool& upgrade) { upgrade = true; };
    s.OnFilesReady = [](TUpgradeSession*, bool& wait) { wait = true; };
    s.CheckUpgrade();
    QCOMPARE(s.Step(), TUpgradeStep::usCheckingInfo);
    QTRY_COMPARE_WITH_TIMEOUT(s.Step(), TUpgradeStep::usFinishing, 10000);
    QCOMPARE(events_, (QStringList{"downloads", "done kestrel.uTMP", "done kestrel-quoted.uTMP"}));
    const QStringList staged = QDir(folder_).entryList(
        {QLatin1String(helper::kStagingPrefix) + u'*'}, QDir::Dirs | QDir::Hidden);
    QCOMPARE(staged.size(), 1);
    const QString staging = folder_ + staged.first() + u'/';
    QVERIFY(!QFile::exists(staging + QLatin1String(helper::kReadyMark)));

    // Stopped at the finish page: nothing stays, and the finish that follows does nothing.
    s.StopUpgrade();
    s.Finish();
    QCOMPARE(s.Step(), TUpgradeStep::usIdle);
    QCOMPARE(events_.mid(3), QStringList{QStringLiteral("stopped")});
    QVERIFY(helper_.isEmpty());
    QCOMPARE(FolderEntries(), (QStringList{".kestrel-upgrade.lock", "kestrel"}));

    // Again, to the end: the set is marked ready and the folder handed over with its lock.
    events_.clear();
    s.CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(s.Step(), TUpgradeStep::usFinishing, 10000);
    s.Finish();
    QCOMPARE(s.Step(), TUpgradeStep::usIdle);
    QCOMPARE(events_.mid(3), (QStringList{"end", "helper"}));
    QVERIFY(helper_.startsWith(QStringLiteral("+/afterupgrade0 ") +
                               QLatin1String(helper::kStagingPrefix)));
    const QString handed = folder_ + helper_.section(u' ', 1) + u'/';
    QVERIFY(QFile::exists(handed + QLatin1String(helper::kReadyMark)));
    QFile first(handed + QStringLiteral("kestrel.uTMP"));
    QVERIFY(first.open(QIODevice::ReadOnly) && first.readAll() == program);
}

// A question nobody answers is no consent: no handler for the question means later, none for a
// login means giving up, and nothing is downloaded or kept either way.
void TestUpgradeSession::unanswered_data() {
    QTest::addColumn<bool>("login");  // the file needs a login; the question is answered yes
    QTest::addColumn<QString>("events");
    QTest::newRow("question") << false << "later";
    QTest::newRow("login") << true << "downloads,stopped,aborted";
}

void TestUpgradeSession::unanswered() {
    QFETCH(bool, login);
    QFETCH(QString, events);
    Publish({{QStringLiteral("kestrel"), Script(100)}},
            login ? QStringLiteral("kestrel:demo") : QString());
    if (login)
        session_->OnAskUpgrade = [](TUpgradeSession*, const QString&, bool& upgrade) {
            upgrade = true;
        };
    session_->CheckUpgrade();
    QTRY_COMPARE_WITH_TIMEOUT(session_->Step(), TUpgradeStep::usIdle, 10000);
    QCOMPARE(events_.join(u','), events);
    QVERIFY(helper_.isEmpty());
    QCOMPARE(QDir(folder_).entryList(QDir::Files), QStringList{QStringLiteral("kestrel")});
    QVERIFY(!FolderEntries().join(u',').contains(QLatin1String(helper::kStagingPrefix)));
}

QTEST_GUILESS_MAIN(TestUpgradeSession)
#include "test_upgradesession.moc"
