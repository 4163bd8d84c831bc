#include "upgrade/upgradesession.h"

#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include "net/files.h"
#include "net/httpclient.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/logging.h"
#include "upgrade/upgradefiles.h"
#include "upgrade/upgradetext.h"

namespace kestrel {

namespace {

constexpr int kAutoCheckMs = 10000;
// The information file is small and gets the client's usual bound; a program file of many
// megabytes over a slow line needs far longer, and the idle time-out still catches a dead one.
constexpr int kInfoTransferTime = 60 * 1000;
constexpr int kFileTransferTime = 60 * 60 * 1000;
// A server that drips a few bytes now and then never falls silent, and would hold the upgrade
// for the whole hour: what brings less than this over an idle time-out has stalled.
constexpr quint32 kMinBytesPerSecond = 512;
constexpr int kReadBlock = 64 * 1024;

// The address of the signature beside the information file.
QString SignatureURL(const QString& infoURL) {
    QUrl url(infoURL);
    url.setPath(url.path() + QStringLiteral(".minisig"));
    return url.toString();
}

// A text in the wizard's language: Simplified or Traditional Chinese, else English.
QString ByLanguage(const QString& simplified, const QString& traditional, const QString& english) {
    const quint16 base = LanguageBase();
    const auto baseOf = [](TUpdaterLanguage l) { return quint16(41000 + 50 * (int(l) - 1)); };
    if (base == baseOf(wlChineseSimplified))
        return simplified;
    if (base == baseOf(wlChineseTraditional))
        return traditional;
    return english;
}

}  // namespace

QString ReadOnlyFolderText() {
    return ByLanguage(QStringLiteral("程序所在的文件夹不允许写入（例如由软件包管理器安装的程序），"
                                     "无法在此升级，程序保持不变；请通过软件包管理器升级。"),
                      QStringLiteral("程式所在的資料夾不允許寫入（例如由套件管理程式安裝的程式），"
                                     "無法在此升級，程式保持不變；請透過套件管理程式升級。"),
                      QStringLiteral("The program's folder cannot be written (a system-wide "
                                     "installation, for example), so the upgrade cannot replace "
                                     "it here and nothing was changed; please upgrade it through "
                                     "your package manager."));
}

QString UpgradeErrorText(UpgradeError error, const QString& name) {
    QString text;
    switch (error) {
        case UpgradeError::refusedFile:
            text =
                ByLanguage(QStringLiteral("升级已取消：“%1”不是本程序的文件，不能由升级替换。"),
                           QStringLiteral("升級已取消：「%1」不是本程式的檔案，不能由升級替換。"),
                           QStringLiteral("The upgrade was cancelled: \"%1\" is not a file of "
                                          "this program and may not be replaced by an upgrade."));
            break;
        case UpgradeError::digestMismatch:
            text =
                ByLanguage(QStringLiteral("升级已取消：下载的文件“%1”与发布的校验值不符。"),
                           QStringLiteral("升級已取消：下載的檔案「%1」與發佈的校驗值不符。"),
                           QStringLiteral("The upgrade was cancelled: the downloaded file \"%1\" "
                                          "does not match its published digest."));
            break;
        case UpgradeError::notRunnable:
            text =
                ByLanguage(QStringLiteral("升级已取消：下载的文件“%1”不是能在本机运行的程序。"),
                           QStringLiteral("升級已取消：下載的檔案「%1」不是能在本機執行的程式。"),
                           QStringLiteral("The upgrade was cancelled: the downloaded file \"%1\" "
                                          "is not a program that can run on this computer."));
            break;
        case UpgradeError::diskFull:
            text = ByLanguage(QStringLiteral("升级已取消：磁盘已满或文件过大，无法保存“%1”。"),
                              QStringLiteral("升級已取消：磁碟已滿或檔案過大，無法儲存「%1」。"),
                              QStringLiteral("The upgrade was cancelled: the disk is full or the "
                                             "file is too large to save \"%1\"."));
            break;
        case UpgradeError::lostFile:
            text = ByLanguage(QStringLiteral("升级已取消：无法下载文件“%1”。"),
                              QStringLiteral("升級已取消：無法下載檔案「%1」。"),
                              QStringLiteral("The upgrade was cancelled: the file \"%1\" could not "
                                             "be downloaded."));
            break;
        case UpgradeError::stalled:
            text = ByLanguage(
                QStringLiteral("升级已取消：下载“%1”时连接停滞，长时间几乎收不到数据。"),
                QStringLiteral("升級已取消：下載「%1」時連線停滯，長時間幾乎收不到資料。"),
                QStringLiteral("The upgrade was cancelled: the connection stalled while "
                               "downloading \"%1\"; almost nothing arrived for too long."));
            break;
        case UpgradeError::busy:
            return ByLanguage(QStringLiteral("另一个升级正在进行，请稍后再试。"),
                              QStringLiteral("另一個升級正在進行，請稍後再試。"),
                              QStringLiteral("Another upgrade of this program is under way; please "
                                             "try again later."));
        case UpgradeError::noHelper:
            return ByLanguage(
                QStringLiteral("升级已取消：无法启动升级助手，程序保持不变。"),
                QStringLiteral("升級已取消：無法啟動升級助手，程式保持不變。"),
                QStringLiteral("The upgrade was cancelled: the update helper could not "
                               "be started; nothing was changed."));
        case UpgradeError::restored:
            return ByLanguage(
                QStringLiteral("升级失败，已恢复原版本"), QStringLiteral("升級失敗，已恢復原版本"),
                QStringLiteral("The upgrade failed; the previous version was restored."));
        case UpgradeError::infoStatus:
            text = ByLanguage(
                QStringLiteral("无法读取服务器上的升级信息（服务器回答 %1）。\r\r"
                               "请稍后再进行升级操作。"),
                QStringLiteral("無法讀取伺服器上的升級資訊（伺服器回答 %1）。\r\r"
                               "請稍後再進行升級操作。"),
                QStringLiteral(
                    "The upgrade information could not be read from the server (it "
                    "answered %1).\r\rPlease try to upgrade this software again later."));
            break;
        case UpgradeError::infoUnsigned:
            return ByLanguage(
                QStringLiteral("服务器上的升级信息没有签名，无法确认其来源，因此不予采用。"),
                QStringLiteral("伺服器上的升級資訊沒有簽章，無法確認其來源，因此不予採用。"),
                QStringLiteral("The upgrade information on the server is not signed, so where it "
                               "comes from cannot be confirmed; it was not used."));
        case UpgradeError::infoInvalid:
            return ByLanguage(
                QStringLiteral("服务器上的升级信息签名无效或与内容不符，因此不予采用。"),
                QStringLiteral("伺服器上的升級資訊簽章無效或與內容不符，因此不予採用。"),
                QStringLiteral("The signature of the upgrade information on the server is not "
                               "valid or does not match it; it was not used."));
        case UpgradeError::infoExpired:
            return ByLanguage(
                QStringLiteral(
                    "服务器上的升级信息已过期，因此不予采用。\r\r请稍后再进行升级操作。"),
                QStringLiteral(
                    "伺服器上的升級資訊已過期，因此不予採用。\r\r請稍後再進行升級操作。"),
                QStringLiteral("The upgrade information on the server has expired and was not "
                               "used.\r\rPlease try to upgrade this software again later."));
    }
    return text.arg(name);
}

QList<MinisignKey> BuiltInUpgradeKeys() {
    QFile file(QStringLiteral(":/upgrade/kestrel-publish.pub"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<MinisignKey> key = ParseMinisignKey(QString::fromLatin1(file.readAll()));
    return key ? QList<MinisignKey>{*key} : QList<MinisignKey>{};
}

TUpgradeOptions::TUpgradeOptions()
    : VersionDate(FormatVersionDate(QDate::currentDate())),
      ProgramPath(QCoreApplication::applicationFilePath()) {}

TUpgradeSession::TUpgradeSession(TCustomHTTPClient& client, const TUpgradeOptions& options)
    : client_(client), options_(options) {
    client_.HideOutputFile = true;
    client_.Timeouts.MinBytesPerSecond = kMinBytesPerSecond;
    // Fewer, larger hand-overs to the caller's thread; a block not yet full still goes after a
    // moment, so a slow download shows movement all the same.
    client_.SetTransferBufferSize(kReadBlock);
    HookClient();
    // A download past the file size limit must fail as a write, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(kAutoCheckMs);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { TimerTick(); });
}

TUpgradeSession::~TUpgradeSession() {
    CancelInfoCheck();
    SetAutoCheck(false);
    DropStaging();
}

void TUpgradeSession::HookClient() {
    client_.OnDone = [this](TCustomHTTPClient*, const QString&, qint64, QIODevice* stream) {
        if (step_ == TUpgradeStep::usCheckingInfo)
            InfoArrived(stream);
        else
            FileDone(stream);
    };
    // A file that cannot be made raises OnAnyError alone; every other failure follows it at once
    // with an event of its own, which clears the mark before the check comes.
    client_.OnAnyError = [this](TCustomHTTPClient*) {
        if (step_ == TUpgradeStep::usCheckingInfo)
            return;
        fileFailure_ = true;
        QTimer::singleShot(0, timer_.get(), [this] {
            if (std::exchange(fileFailure_, false))
                FileLost(kRefusedFile);
        });
    };
    client_.OnHTTPError = [this](TCustomHTTPClient*, int code, QIODevice*) {
        fileFailure_ = false;
        if (step_ != TUpgradeStep::usCheckingInfo) {
            FileLost(code);
            return;
        }
        // A signature that is not there is the publisher's omission, not the server's fault.
        const bool missing = code == 404 || code == 410;
        NoInfoFile(QStringLiteral("the server answered %1 for %2").arg(code).arg(client_.URL),
                   missing && fetchingSignature_ ? UpgradeErrorText(UpgradeError::infoUnsigned)
                   : missing                     ? UpgradeText(25)
                             : UpgradeErrorText(UpgradeError::infoStatus, QString::number(code)));
    };
    client_.OnHostUnreachable = [this](TCustomHTTPClient*) {
        fileFailure_ = false;
        HostUnreachable();
    };
    client_.OnConnLost = [this](TCustomHTTPClient*, const QString&, qint64, qint64, QIODevice*) {
        fileFailure_ = false;
        ConnLost();
    };
    client_.OnPasswordRequest = [this](TCustomHTTPClient*, const QString& realm, bool& tryAgain) {
        PasswordRequest(realm, tryAgain);
    };
    client_.OnHeaderInfo = [this](TCustomHTTPClient*, const QString&, const QString&,
                                  const QString&, const QString&, const QString&, qint64 length,
                                  double, double lastModified, double, bool& carryOn) {
        if (step_ != TUpgradeStep::usCheckingInfo)
            HeaderInfo(length, lastModified, carryOn);
    };
    ShowProgress(true);
    client_.OnDoneInterrupted = [this](TCustomHTTPClient*) {
        if (step_ != TUpgradeStep::usCheckingInfo)
            NextFile();
    };
}

void TUpgradeSession::ShowProgress(bool on) {
    // Every hand-over waits for the caller's thread: the information file goes without them.
    if (!on) {
        client_.OnProgress = nullptr;
        return;
    }
    client_.OnProgress = [this](TCustomHTTPClient*, const QString&, qint64 size, qint64 done,
                                qint64 elapsed, qint64 left, quint8 percent, float rate,
                                QIODevice*) { Progress(size, done, elapsed, left, percent, rate); };
}

void TUpgradeSession::ShowError(const QString& text) {
    if (OnShowError)
        OnShowError(this, text);
}

void TUpgradeSession::SetRestartParams(const QString& params) {
    restartParams_ = params.isEmpty() ? QStringLiteral(" ") : params;
}

void TUpgradeSession::SetAutoCheck(bool on) {
    autoCheck_ = on;
    UpdateTimer();
}

void TUpgradeSession::UpdateTimer() {
    timer_->stop();
    if (autoCheck_ && !autoCheckFired_)
        timer_->start();
}

void TUpgradeSession::TimerTick() {
    if (!autoCheck_ || !options_.IsConnected || !options_.IsConnected())
        return;
    autoCheckFired_ = true;
    UpdateTimer();
    CheckUpgrade();
    autoMode_ = true;
}

void TUpgradeSession::Loaded(const QStringList& arguments) {
    // An upgrade that a killed helper left half done is taken back to the old files, unless
    // another copy is upgrading right now.
    const QString folder = ProgramFolder(options_.ProgramPath);
    const QStringList entries =
        QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    const auto staged = [](const QString& entry) {
        return entry.startsWith(QLatin1String(helper::kStagingPrefix));
    };
    if (std::any_of(entries.begin(), entries.end(), staged)) {
        const int lock = helper::LockFolder(folder, false);
        if (lock >= 0) {
            helper::RecoverUpgrades(folder, QFileInfo(options_.ProgramPath).fileName());
            ::close(lock);
        }
    }
    if (arguments.size() < 2 || arguments.at(1) != restartParams_)
        return;
    if (arguments.contains(QLatin1String(helper::kUpgradeFailedFlag))) {
        QTimer::singleShot(0, timer_.get(),
                           [this] { ShowError(UpgradeErrorText(UpgradeError::restored)); });
        return;
    }
    if (OnAfterRestart)
        OnAfterRestart(this);
}

void TUpgradeSession::CheckUpgrade() {
    autoMode_ = false;
    if (client_.Busy() || infoCheck_)
        return;
    step_ = TUpgradeStep::usCheckingInfo;
    checkFailure_.clear();
    checkTime_.start();
    ShowProgress(false);
    fetchingSignature_ = false;
    infoBytes_.clear();
    client_.UseCache = false;
    client_.URL = options_.InfoFileURL;
    client_.OutputFileName.clear();
    client_.MaxTransferTime = kInfoTransferTime;
    client_.Read();
}

void TUpgradeSession::InfoArrived(QIODevice* stream) {
    const QByteArray bytes = stream ? stream->readAll() : QByteArray();
    if (fetchingSignature_) {
        fetchingSignature_ = false;
        ReadInfo(bytes);
        return;
    }
    // The signature beside the file comes next; nothing is decided on the file alone.
    infoBytes_ = bytes;
    fetchingSignature_ = true;
    client_.URL = SignatureURL(options_.InfoFileURL);
    // The check as a whole gets the information file's bound, not one for each request.
    client_.MaxTransferTime = int(std::max<qint64>(kInfoTransferTime - checkTime_.elapsed(), 1000));
    client_.Read();
}

void TUpgradeSession::NoInfoFile(const QString& reason, const QString& failure) {
    step_ = TUpgradeStep::usIdle;
    checkFailure_ = failure;
    qCWarning(lcUpgrade).noquote()
        << "Upgrade information file" << options_.InfoFileURL << "not used:" << reason;
    if (OnNoInfoFile)
        OnNoInfoFile(this);
    if (options_.ShowMessages & mNoInfoFile)
        ShowError(failure.isEmpty() ? UpgradeText(25) : failure);
}

// What the reading of an information file found, made off the caller's thread.
struct InfoReading {
    QString refusal;  // why the file is not trusted; empty when it is
    InfoDistrust distrust = InfoDistrust::none;
    QList<UpgradeFile> files;
    bool newer = false;
    QString version;
    QString message;
    TUpgradeMethod method = TUpgradeMethod::umSelfUpgrade;
};

// Shared between the session and the thread that reads the file: the thread posts its result
// to the receiver while there is one, and the session clears it when it stops the check or goes.
struct TUpgradeSession::InfoCheck {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

void TUpgradeSession::ReadInfo(const QByteArray& signature) {
    auto check = std::make_shared<InfoCheck>();
    check->receiver = timer_.get();
    infoCheck_ = check;
    QList<MinisignKey> keys = BuiltInUpgradeKeys();
    keys += ParseMinisignKeys(options_.UpgradeKeys);
    // A file of megabytes (or of a hundred thousand addresses) must not hold up the window:
    // the signature and the whole text are checked on a thread of their own, which is left to
    // end by itself when the check stops.
    std::thread([this, check, keys, info = infoBytes_, signature, control = options_.VersionControl,
                 number = options_.VersionNumber, date = options_.VersionDate] {
        InfoReading reading;
        reading.refusal =
            InfoRefusal(info, signature, keys, QDate::currentDate(), &reading.distrust);
        if (reading.refusal.isEmpty()) {
            const QString text = DecodeInfoFile(info);
            const InfoIndex index(text);
            reading.files = InfoFiles(text);
            reading.newer = IsNewerVersion(text, control, number, date);
            reading.version = index.Value(QStringLiteral("version"));
            reading.message = index.Value(QStringLiteral("message"), true);
            reading.method = InfoMethod(text);
        }
        const std::lock_guard lock(check->mutex);
        if (check->receiver) {
            QMetaObject::invokeMethod(
                check->receiver,
                [this, check, reading] {
                    if (infoCheck_ != check)
                        return;
                    infoCheck_.reset();
                    ProcessInfo(reading);
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

void TUpgradeSession::CancelInfoCheck() {
    if (!infoCheck_)
        return;
    const std::lock_guard lock(infoCheck_->mutex);
    infoCheck_->receiver = nullptr;
    infoCheck_.reset();
}

void TUpgradeSession::ProcessInfo(const InfoReading& reading) {
    if (!reading.refusal.isEmpty()) {
        NoInfoFile(reading.refusal, UpgradeErrorText(reading.distrust == InfoDistrust::unsigned_
                                                         ? UpgradeError::infoUnsigned
                                                     : reading.distrust == InfoDistrust::expired
                                                         ? UpgradeError::infoExpired
                                                         : UpgradeError::infoInvalid));
        return;
    }
    files_ = reading.files;
    if (!reading.newer) {
        // A signed file of an older version is how a rollback would be served.
        NoInfoFile(QStringLiteral("version %1 is not newer than this one").arg(reading.version),
                   {});
        return;
    }
    if (files_.isEmpty()) {
        step_ = TUpgradeStep::usIdle;
        if (OnNoUpdateAvailable)
            OnNoUpdateAvailable(this);
        if (!autoMode_ && (options_.ShowMessages & mNoUpdateAvailable))
            ShowError(UpgradeText(24));
        return;
    }
    bool canUpgrade = true;
    const QString& message = reading.message;
    method_ = reading.method;
    if (OnBeginUpgrade) {
        QStringList files;
        for (const UpgradeFile& file : files_)
            files << file.URL;
        OnBeginUpgrade(this, message, method_, files, canUpgrade);
    }
    if (method_ == TUpgradeMethod::umSelfUpgrade) {
        const QString refused = RefusedTarget(files_, QFileInfo(options_.ProgramPath).fileName());
        if (!refused.isEmpty()) {
            RefuseUpgrade(UpgradeErrorText(UpgradeError::refusedFile, refused));
            return;
        }
    }
    bool upgrade = canUpgrade;
    if (upgrade && (options_.ShowMessages & mAskUpgrade)) {
        upgrade = false;
        if (OnAskUpgrade)
            OnAskUpgrade(this, message, upgrade);
    }
    if (!upgrade) {
        step_ = TUpgradeStep::usIdle;
        if (OnLaterUpgrade)
            OnLaterUpgrade(this);
        return;
    }
    if (method_ == TUpgradeMethod::umRedirectToURL) {
        step_ = TUpgradeStep::usIdle;
        if (OnOpenPage)
            OnOpenPage(this, files_.first().URL);
        return;
    }
    StartDownloads();
}

void TUpgradeSession::RefuseUpgrade(const QString& text) {
    qCWarning(lcUpgrade).noquote() << "Upgrade cancelled:" << text;
    if (options_.ShowMessages & mLostFile)
        ShowError(text);
    AbortUpgrade();
}

void TUpgradeSession::StartDownloads() {
    // A program the user cannot replace (installed for the whole system) is upgraded by the
    // package manager: downloading files that could never take its place helps nobody.
    if (!ProgramFolderWritable()) {
        ShowError(ReadOnlyFolderText());
        AbortUpgrade();
        return;
    }
    // One upgrade at a time, each in a private folder beside the program: on the same file
    // system, so that every move into place is a single rename.
    if (!PrepareStaging()) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::busy));
        return;
    }
    step_ = TUpgradeStep::usDownloading;
    ShowProgress(true);
    client_.UseCache = true;
    fileIndex_ = 0;
    if (OnDownloadsBegin)
        OnDownloadsBegin(this);
    FileStep();
}

void TUpgradeSession::NextFile() {
    ++fileIndex_;
    FileStep();
}

void TUpgradeSession::FileStep() {
    if (fileIndex_ < files_.size()) {
        const QString address = files_.at(fileIndex_).URL;
        if (OnNextFile)
            OnNextFile(this, fileIndex_, int(files_.size()), address);
        client_.URL = address;
        fileTime_ = 0;
        const QString name = SafeDownloadName(address);
        if (name.isEmpty()) {
            // Never written: the name would leave the program's folder or hide in it.
            currentTarget_.clear();
            FileLost(kRefusedFile);
            return;
        }
        currentTarget_ = staging_ + name + QStringLiteral(".uTMP");
        client_.OutputFileName = currentTarget_;
        client_.MaxTransferTime = kFileTransferTime;
        client_.Read();
        return;
    }
    // Whoever shows the finish may keep the program going until the user has seen it.
    step_ = TUpgradeStep::usFinishing;
    bool wait = false;
    if (OnFilesReady)
        OnFilesReady(this, wait);
    if (!wait)
        EndUpgrade();
}

void TUpgradeSession::Finish() {
    if (step_ == TUpgradeStep::usFinishing)
        EndUpgrade();
}

void TUpgradeSession::EndUpgrade() {
    // Only a complete, verified set is marked for the helper.
    QFile ready(staging_ + QLatin1String(helper::kReadyMark));
    if (!ready.open(QIODevice::WriteOnly) || !helper::SyncFile(ready.fileName())) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::diskFull, ready.fileName()));
        return;
    }
    if (OnEndUpgrade)
        OnEndUpgrade(this);
    RunHelper(u'+' + restartParams_ + QString::number(int(method_)));
}

void TUpgradeSession::HeaderInfo(qint64 contentLength, double lastModified, bool& carryOn) {
    fileTime_ = lastModified;
    if (options_.MiscFilesUpgrade == TMiscFilesUpgradeBehavior::mfuOnlyIfSizeDifferent &&
        contentLength != 0 && files_.size() > 1) {
        const QString programName = QFileInfo(options_.ProgramPath).fileName();
        const QString local = ProgramFolder(options_.ProgramPath) +
                              QFileInfo(currentTarget_).fileName().chopped(int(qstrlen(".uTMP")));
        // The program itself is always replaced, whatever its size.
        if (QFileInfo(local).fileName().compare(programName, Qt::CaseInsensitive) != 0 &&
            QFileInfo::exists(local)) {
            carryOn = contentLength != FileSize64(local);
        }
    }
    if (OnFileStart)
        OnFileStart(this, client_.URL, contentLength, fileTime_, carryOn);
}

void TUpgradeSession::Progress(qint64 dataSize, qint64 bytesRead, qint64 elapsed, qint64 left,
                               quint8 percent, float rate) {
    const quint8 total = TotalPercent(fileIndex_, int(files_.size()), percent);
    if (OnProgress)
        OnProgress(this, client_.URL, dataSize, bytesRead, elapsed, left, percent, total, rate);
}

void TUpgradeSession::FileDone(QIODevice* body) {
    // A reply without a length arrives in memory rather than in the file; it is the file all
    // the same.
    if (body && !SaveDownload(currentTarget_, *body)) {
        FileLost(kRefusedFile);
        return;
    }
    const QString name = QFileInfo(currentTarget_).fileName().chopped(int(qstrlen(".uTMP")));
    const auto refuse = [&](UpgradeError error) {
        // A file that is not what was published never reaches the helper.
        QFile::remove(currentTarget_);
        if (OnLostFile)
            OnLostFile(this, client_.URL, kRefusedFile);
        RefuseUpgrade(UpgradeErrorText(error, name));
    };
    if (!DigestMatches(currentTarget_, files_.at(fileIndex_).Sha256)) {
        refuse(UpgradeError::digestMismatch);
        return;
    }
    const bool program = name == QFileInfo(options_.ProgramPath).fileName() ||
                         name == QLatin1String(helper::kCompanionName);
    if ((program || method_ == TUpgradeMethod::umUseExternalSetup) &&
        !helper::IsRunnableHere(currentTarget_)) {
        refuse(UpgradeError::notRunnable);
        return;
    }
    if (!helper::SyncFile(currentTarget_)) {
        refuse(UpgradeError::diskFull);
        return;
    }
    if (fileTime_ != 0)
        SetFileDates(currentTarget_, fileTime_, fileTime_, -1);
    if (OnFileDone)
        OnFileDone(this, currentTarget_);
    NextFile();
}

void TUpgradeSession::FileLost(int errorCode) {
    if (OnLostFile)
        OnLostFile(this, client_.URL, errorCode);
    // Every file belongs to the set: without one, nothing is installed.
    const bool full =
        errorCode == kRefusedFile && !currentTarget_.isEmpty() && DiskRefusedWrite(currentTarget_);
    RefuseUpgrade(UpgradeErrorText(full ? UpgradeError::diskFull : UpgradeError::lostFile,
                                   client_.FileName()));
}

void TUpgradeSession::HostUnreachable() {
    // Also while downloading: the upgrade the user let start ends here, and says why.
    checkFailure_ = FormatUpgradeText(26, {QStringLiteral("http://") + client_.HostName() + u'\''});
    if (OnHostUnreachable)
        OnHostUnreachable(this, client_.URL, client_.HostName());
    if (autoMode_) {
        // Offline at the automatic check: try again quietly a little later.
        autoCheckFired_ = false;
        UpdateTimer();
    } else if (options_.ShowMessages & mHostUnreachable) {
        ShowError(checkFailure_);
    }
    StopUpgrade();
}

void TUpgradeSession::ConnLost() {
    if (step_ != TUpgradeStep::usCheckingInfo && !currentTarget_.isEmpty() &&
        DiskRefusedWrite(currentTarget_)) {
        // The client reports a write that failed like a line that broke.
        FileLost(kRefusedFile);
        return;
    }
    if (step_ == TUpgradeStep::usCheckingInfo)
        checkFailure_ = UpgradeText(30);
    if (OnConnLost)
        OnConnLost(this);
    if (options_.ShowMessages & mConnLost)
        ShowError(client_.LastFailure().Stalled
                      ? UpgradeErrorText(UpgradeError::stalled, client_.FileName())
                      : UpgradeText(30));
    StopUpgrade();
}

void TUpgradeSession::PasswordRequest(const QString& realm, bool& tryAgain) {
    if (OnPasswordRequest)
        OnPasswordRequest(this, realm, tryAgain);
    if (tryAgain || !(options_.ShowMessages & mPasswordRequest))
        return;
    QString user = client_.Username;
    QString password = client_.Password;
    if (OnAskPassword)
        OnAskPassword(this, client_.FileName(), user, password, tryAgain);
    if (!tryAgain) {
        AbortUpgrade();
        return;
    }
    client_.Username = user;
    client_.Password = password;
}

void TUpgradeSession::StopUpgrade() {
    step_ = TUpgradeStep::usIdle;
    client_.Abort();
    CancelInfoCheck();
    DropStaging();
    if (OnStopped)
        OnStopped(this);
}

void TUpgradeSession::AbortUpgrade() {
    StopUpgrade();
    if (OnAborted)
        OnAborted(this);
}

void TUpgradeSession::RunHelper(const QString& params) {
    const QString stagingName = QFileInfo(staging_.chopped(1)).fileName();
    if (!options_.StartHelper || !options_.StartHelper(params, stagingName, lockFd_)) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::noHelper));
        return;
    }
    // The folder is the helper's now; it holds the lock until it is done.
    step_ = TUpgradeStep::usIdle;
    staging_.clear();
    DropStaging();
    if (OnHelperStarted)
        OnHelperStarted(this);
}

}  // namespace kestrel
