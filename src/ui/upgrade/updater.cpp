#include "ui/upgrade/updater.h"

#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "net/netutils.h"
#include "platform/helperlaunch.h"
#include "platform/online.h"
#include "ui/appcontrol.h"
#include "ui/upgrade/updaterfiles.h"
#include "ui/upgrade/updatermessage.h"
#include "ui/upgrade/updaterpassword.h"
#include "ui/upgrade/updaterwizard.h"
#include "updatehelper/updatehelper.h"

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

TUpdaterWizard::TUpdaterWizard() {
    SetLanguage(wlAuto);
}

void TUpdaterWizard::SetLanguage(TUpdaterLanguage language) {
    language_ = language;
    SetUpdaterLanguage(language);
}

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

TUpdater::TUpdater(TransferFactory factory) : TCustomHTTPClient(std::move(factory)) {
    HideOutputFile = true;
    Timeouts.MinBytesPerSecond = kMinBytesPerSecond;
    // Fewer, larger hand-overs to the window's thread; a block not yet full still goes after a
    // moment, so a slow download shows movement all the same.
    SetTransferBufferSize(kReadBlock);
    HookEvents();
    // A download past the file size limit must fail as a write, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    VersionDate = FormatVersionDate(QDate::currentDate());
    ProgramPath = QCoreApplication::applicationFilePath();
    IsConnected = [] { return IsInternetConnected(); };
    StartHelper = [](const QString& params, const QString& stagingName, int lockFd) {
        return LaunchHelper(params, stagingName, lockFd);
    };
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(kAutoCheckMs);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { TimerTick(); });
}

TUpdater::~TUpdater() {
    CancelInfoCheck();
    SetAutoCheck(false);
    // The dialogs outlive nothing of the component they talk to.
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
        wizard->OnAbort = nullptr;
        QObject::disconnect(wizard, &TUpdaterWizardForm::Closed, nullptr, nullptr);
        wizard->Dismiss();
    }
    if (TUpdaterMessageForm* question = TUpdaterMessageForm::Instance())
        question->reject();
    DropStaging();
}

void TUpdater::HookEvents() {
    TCustomHTTPClient::OnDone = [this](TCustomHTTPClient*, const QString&, qint64,
                                       QIODevice* stream) {
        if (CheckingInfo)
            InfoArrived(stream);
        else
            FileDone(stream);
    };
    // A file that cannot be made raises OnAnyError alone; every other failure follows it at once
    // with an event of its own, which clears the mark before the check comes.
    TCustomHTTPClient::OnAnyError = [this](TCustomHTTPClient*) {
        if (CheckingInfo)
            return;
        fileFailure_ = true;
        QTimer::singleShot(0, timer_.get(), [this] {
            if (std::exchange(fileFailure_, false))
                FileLost(kRefusedFile);
        });
    };
    TCustomHTTPClient::OnHTTPError = [this](TCustomHTTPClient*, int code, QIODevice*) {
        fileFailure_ = false;
        if (!CheckingInfo) {
            FileLost(code);
            return;
        }
        NoInfoFile(QStringLiteral("the server answered %1 for %2").arg(code).arg(URL));
    };
    TCustomHTTPClient::OnHostUnreachable = [this](TCustomHTTPClient*) {
        fileFailure_ = false;
        HostUnreachable();
    };
    TCustomHTTPClient::OnConnLost = [this](TCustomHTTPClient*, const QString&, qint64, qint64,
                                           QIODevice*) {
        fileFailure_ = false;
        ConnLost();
    };
    TCustomHTTPClient::OnPasswordRequest = [this](TCustomHTTPClient*, const QString& realm,
                                                  bool& tryAgain) {
        PasswordRequest(realm, tryAgain);
    };
    TCustomHTTPClient::OnHeaderInfo =
        [this](TCustomHTTPClient*, const QString&, const QString&, const QString&, const QString&,
               const QString&, qint64 length, double, double lastModified, double, bool& carryOn) {
            if (!CheckingInfo)
                HeaderInfo(length, lastModified, carryOn);
        };
    ShowProgress(true);
    TCustomHTTPClient::OnDoneInterrupted = [this](TCustomHTTPClient*) {
        if (!CheckingInfo)
            NextFile();
    };
}

void TUpdater::ShowProgress(bool on) {
    // Every hand-over waits for the window's thread: the information file goes without them.
    if (!on) {
        TCustomHTTPClient::OnProgress = nullptr;
        return;
    }
    TCustomHTTPClient::OnProgress = [this](TCustomHTTPClient*, const QString&, qint64 size,
                                           qint64 done, qint64 elapsed, qint64 left, quint8 percent,
                                           float rate, QIODevice*) {
        Progress(size, done, elapsed, left, percent, rate);
    };
}

void TUpdater::SetRestartParams(const QString& params) {
    restartParams_ = params.isEmpty() ? QStringLiteral(" ") : params;
}

void TUpdater::SetAutoCheck(bool on) {
    autoCheck_ = on;
    UpdateTimer();
}

void TUpdater::UpdateTimer() {
    timer_->stop();
    if (autoCheck_ && !AutoCheckFired)
        timer_->start();
}

void TUpdater::TimerTick() {
    if (!autoCheck_ || !IsConnected || !IsConnected())
        return;
    AutoCheckFired = true;
    UpdateTimer();
    CheckUpgrade();
    AutoMode = true;
}

void TUpdater::Loaded(const QStringList& arguments) {
    // An upgrade that a killed helper left half done is taken back to the old files, unless
    // another copy is upgrading right now.
    const QString folder = ProgramFolder(ProgramPath);
    const QStringList entries =
        QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    const auto staged = [](const QString& entry) {
        return entry.startsWith(QLatin1String(helper::kStagingPrefix));
    };
    if (std::any_of(entries.begin(), entries.end(), staged)) {
        const int lock = helper::LockFolder(folder, false);
        if (lock >= 0) {
            helper::RecoverUpgrades(folder, QFileInfo(ProgramPath).fileName());
            ::close(lock);
        }
    }
    if (arguments.size() < 2 || arguments.at(1) != restartParams_)
        return;
    if (arguments.contains(QLatin1String(helper::kUpgradeFailedFlag))) {
        QTimer::singleShot(0, timer_.get(),
                           [this] { ErrorBox(UpgradeErrorText(UpgradeError::restored)); });
        return;
    }
    if (OnAfterRestart)
        OnAfterRestart(this);
}

void TUpdater::CheckUpgrade() {
    Aborted = false;
    AutoMode = false;
    if (Busy() || infoCheck_)
        return;
    CheckingInfo = true;
    ShowProgress(false);
    fetchingSignature_ = false;
    infoBytes_.clear();
    UseCache = false;
    URL = InfoFileURL;
    OutputFileName.clear();
    MaxTransferTime = kInfoTransferTime;
    Read();
}

void TUpdater::InfoArrived(QIODevice* stream) {
    const QByteArray bytes = stream ? stream->readAll() : QByteArray();
    if (fetchingSignature_) {
        fetchingSignature_ = false;
        ReadInfo(bytes);
        return;
    }
    // The signature beside the file comes next; nothing is decided on the file alone.
    infoBytes_ = bytes;
    fetchingSignature_ = true;
    URL = SignatureURL(InfoFileURL);
    Read();
}

void TUpdater::NoInfoFile(const QString& reason) {
    qWarning().noquote() << "Upgrade information file" << InfoFileURL << "not used:" << reason;
    if (OnNoInfoFile)
        OnNoInfoFile(this);
    if (ShowMessages & mNoInfoFile)
        ErrorBox(UpgradeText(25));
}

// What the reading of an information file found, made off the window's thread.
struct InfoReading {
    QString refusal;  // why the file is not trusted; empty when it is
    QList<UpgradeFile> files;
    bool newer = false;
    QString version;
    QString message;
    TUpgradeMethod method = TUpgradeMethod::umSelfUpgrade;
};

// Shared between the updater and the thread that reads the file: the thread posts its result
// to the receiver while there is one, and the updater clears it when it stops the check or goes.
struct TUpdater::InfoCheck {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

void TUpdater::ReadInfo(const QByteArray& signature) {
    auto check = std::make_shared<InfoCheck>();
    check->receiver = timer_.get();
    infoCheck_ = check;
    QList<MinisignKey> keys = BuiltInUpgradeKeys();
    keys += ParseMinisignKeys(UpgradeKeys);
    // A file of megabytes (or of a hundred thousand addresses) must not hold up the window:
    // the signature and the whole text are checked on a thread of their own, which is left to
    // end by itself when the check stops.
    std::thread([this, check, keys, info = infoBytes_, signature, control = VersionControl,
                 number = VersionNumber, date = VersionDate] {
        InfoReading reading;
        reading.refusal = InfoRefusal(info, signature, keys);
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

void TUpdater::CancelInfoCheck() {
    if (!infoCheck_)
        return;
    const std::lock_guard lock(infoCheck_->mutex);
    infoCheck_->receiver = nullptr;
    infoCheck_.reset();
}

void TUpdater::ProcessInfo(const InfoReading& reading) {
    if (!reading.refusal.isEmpty()) {
        NoInfoFile(reading.refusal);
        return;
    }
    UpgradeFiles = reading.files;
    if (!reading.newer) {
        // A signed file of an older version is how a rollback would be served.
        NoInfoFile(QStringLiteral("version %1 is not newer than this one").arg(reading.version));
        return;
    }
    if (UpgradeFiles.isEmpty()) {
        if (OnNoUpdateAvailable)
            OnNoUpdateAvailable(this);
        if (!AutoMode && (ShowMessages & mNoUpdateAvailable))
            ErrorBox(UpgradeText(24));
        return;
    }
    bool canUpgrade = true;
    const QString& message = reading.message;
    FoundMethod = reading.method;
    if (OnBeginUpgrade) {
        QStringList files;
        for (const UpgradeFile& file : UpgradeFiles)
            files << file.URL;
        OnBeginUpgrade(this, message, FoundMethod, files, canUpgrade);
    }
    if (FoundMethod == TUpgradeMethod::umSelfUpgrade) {
        const QString refused = RefusedTarget(UpgradeFiles, QFileInfo(ProgramPath).fileName());
        if (!refused.isEmpty()) {
            RefuseUpgrade(UpgradeErrorText(UpgradeError::refusedFile, refused));
            return;
        }
    }
    if (!canUpgrade || ((ShowMessages & mAskUpgrade) && !AskUpgrade(message))) {
        if (OnLaterUpgrade)
            OnLaterUpgrade(this);
        return;
    }
    if (FoundMethod == TUpgradeMethod::umRedirectToURL) {
        OpenURL(UpgradeFiles.first().URL, true, Desktop ? *Desktop : SystemDesktopCommands());
        return;
    }
    StartDownloads();
}

void TUpdater::RefuseUpgrade(const QString& text) {
    qWarning().noquote() << "Upgrade cancelled:" << text;
    if (ShowMessages & mLostFile)
        ErrorBox(text);
    AbortUpgrade();
}

void TUpdater::StartDownloads() {
    // A program the user cannot replace (installed for the whole system) is upgraded by the
    // package manager: downloading files that could never take its place helps nobody.
    if (!ProgramFolderWritable()) {
        ErrorBox(ReadOnlyFolderText());
        AbortUpgrade();
        return;
    }
    // One upgrade at a time, each in a private folder beside the program: on the same file
    // system, so that every move into place is a single rename.
    if (!PrepareStaging()) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::busy));
        return;
    }
    CheckingInfo = false;
    ShowProgress(true);
    UseCache = true;
    FileIndex = 0;
    if (Wizard.Enabled)
        ShowWizard();
    FileStep();
}

void TUpdater::NextFile() {
    ++FileIndex;
    FileStep();
}

void TUpdater::FileStep() {
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    if (FileIndex < UpgradeFiles.size()) {
        const QString address = UpgradeFiles.at(FileIndex).URL;
        if (wizard) {
            wizard->FileURL->setText(address);
            wizard->FileURL->setCursorPosition(0);
            wizard->AllDownloading->setText(
                FormatUpgradeText(9, {FileIndex + 1, int(UpgradeFiles.size())}));
        }
        URL = address;
        FileTime = 0;
        const QString name = SafeDownloadName(address);
        if (name.isEmpty()) {
            // Never written: the name would leave the program's folder or hide in it.
            CurrentTarget.clear();
            FileLost(kRefusedFile);
            return;
        }
        CurrentTarget = staging_ + name + QStringLiteral(".uTMP");
        OutputFileName = CurrentTarget;
        MaxTransferTime = kFileTransferTime;
        Read();
        return;
    }
    if (wizard) {
        // The program goes on while the finish page waits for the user; closing it by its
        // button restarts, closing it otherwise asks and may abort.
        WizardFinished();
        QObject::connect(wizard, &TUpdaterWizardForm::Closed, wizard, [this] {
            if (!Aborted)
                EndUpgrade();
        });
        return;
    }
    EndUpgrade();
}

void TUpdater::EndUpgrade() {
    // Only a complete, verified set is marked for the helper.
    QFile ready(staging_ + QLatin1String(helper::kReadyMark));
    if (!ready.open(QIODevice::WriteOnly) || !helper::SyncFile(ready.fileName())) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::diskFull, ready.fileName()));
        return;
    }
    if (OnEndUpgrade)
        OnEndUpgrade(this);
    RunHelper(u'+' + restartParams_ + QString::number(int(FoundMethod)));
}

void TUpdater::HeaderInfo(qint64 contentLength, double lastModified, bool& carryOn) {
    FileTime = lastModified;
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance())
        wizard->FileSizeLab->setText(FormatUpgradeText(6, {double(contentLength) / 1024}));
    if (MiscFilesUpgrade == TMiscFilesUpgradeBehavior::mfuOnlyIfSizeDifferent &&
        contentLength != 0 && UpgradeFiles.size() > 1) {
        const QString local = ProgramFolder(ProgramPath) +
                              QFileInfo(CurrentTarget).fileName().chopped(int(qstrlen(".uTMP")));
        // The program itself is always replaced, whatever its size.
        if (QFileInfo(local).fileName().compare(QFileInfo(ProgramPath).fileName(),
                                                Qt::CaseInsensitive) != 0 &&
            QFileInfo::exists(local)) {
            carryOn = contentLength != FileSize64(local);
        }
    }
    if (OnFileStart)
        OnFileStart(this, URL, contentLength, FileTime, carryOn);
}

void TUpdater::Progress(qint64 dataSize, qint64 bytesRead, qint64 elapsed, qint64 left,
                        quint8 percent, float rate) {
    const quint8 total = TotalPercent(FileIndex, int(UpgradeFiles.size()), percent);
    if (OnProgress)
        OnProgress(this, URL, dataSize, bytesRead, elapsed, left, percent, total, rate);
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
        wizard->ShowFileProgress(bytesRead, dataSize);
        wizard->ProgressAllFiles->setValue(std::min<int>(total, 100));
        wizard->TransferRateLab->setText(FormatUpgradeText(7, {double(rate)}));
        wizard->EstimatedTimeLeftLab->setText(TimeLeftText(left));
    }
}

void TUpdater::FileDone(QIODevice* body) {
    // A reply without a length arrives in memory rather than in the file; it is the file all
    // the same.
    if (body && !SaveDownload(CurrentTarget, *body)) {
        FileLost(kRefusedFile);
        return;
    }
    const QString name = QFileInfo(CurrentTarget).fileName().chopped(int(qstrlen(".uTMP")));
    const auto refuse = [&](UpgradeError error) {
        // A file that is not what was published never reaches the helper.
        QFile::remove(CurrentTarget);
        if (OnLostFile)
            OnLostFile(this, URL, kRefusedFile);
        RefuseUpgrade(UpgradeErrorText(error, name));
    };
    if (!DigestMatches(CurrentTarget, UpgradeFiles.at(FileIndex).Sha256)) {
        refuse(UpgradeError::digestMismatch);
        return;
    }
    const bool program =
        name == QFileInfo(ProgramPath).fileName() || name == QLatin1String(helper::kCompanionName);
    if ((program || FoundMethod == TUpgradeMethod::umUseExternalSetup) &&
        !helper::IsRunnableHere(CurrentTarget)) {
        refuse(UpgradeError::notRunnable);
        return;
    }
    if (!helper::SyncFile(CurrentTarget)) {
        refuse(UpgradeError::diskFull);
        return;
    }
    if (FileTime != 0)
        SetFileDates(CurrentTarget, FileTime, FileTime, -1);
    if (OnFileDone)
        OnFileDone(this, CurrentTarget);
    NextFile();
}

void TUpdater::FileLost(int errorCode) {
    if (OnLostFile)
        OnLostFile(this, URL, errorCode);
    // Every file belongs to the set: without one, nothing is installed.
    const bool full =
        errorCode == kRefusedFile && !CurrentTarget.isEmpty() && DiskRefusedWrite(CurrentTarget);
    RefuseUpgrade(
        UpgradeErrorText(full ? UpgradeError::diskFull : UpgradeError::lostFile, FileName()));
}

void TUpdater::HostUnreachable() {
    if (OnHostUnreachable)
        OnHostUnreachable(this, URL, HostName());
    if (AutoMode) {
        // Offline at the automatic check: try again quietly a little later.
        AutoCheckFired = false;
        UpdateTimer();
    } else if (ShowMessages & mHostUnreachable) {
        ErrorBox(FormatUpgradeText(26, {QStringLiteral("http://") + HostName() + u'\''}));
    }
    StopUpgrade();
}

void TUpdater::ConnLost() {
    if (!CheckingInfo && !CurrentTarget.isEmpty() && DiskRefusedWrite(CurrentTarget)) {
        // The client reports a write that failed like a line that broke.
        FileLost(kRefusedFile);
        return;
    }
    if (OnConnLost)
        OnConnLost(this);
    if (ShowMessages & mConnLost)
        ErrorBox(LastFailure().Stalled ? UpgradeErrorText(UpgradeError::stalled, FileName())
                                       : UpgradeText(30));
    StopUpgrade();
}

void TUpdater::PasswordRequest(const QString& realm, bool& tryAgain) {
    if (OnPasswordRequest)
        OnPasswordRequest(this, realm, tryAgain);
    if (tryAgain || !(ShowMessages & mPasswordRequest))
        return;
    tryAgain = AskPassword();
    if (!tryAgain)
        AbortUpgrade();
}

void TUpdater::StopUpgrade() {
    Abort();
    CancelInfoCheck();
    DropStaging();
    if (TUpdaterMessageForm* question = TUpdaterMessageForm::Instance())
        question->reject();
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
        QObject::disconnect(wizard, &TUpdaterWizardForm::Closed, nullptr, nullptr);
        wizard->Dismiss();
    }
}

void TUpdater::AbortUpgrade() {
    Aborted = true;
    StopUpgrade();
    if (OnAborted)
        OnAborted(this);
}

void TUpdater::RunHelper(const QString& params) {
    const QString stagingName = QFileInfo(staging_.chopped(1)).fileName();
    if (!StartHelper || !StartHelper(params, stagingName, lockFd_)) {
        RefuseUpgrade(UpgradeErrorText(UpgradeError::noHelper));
        return;
    }
    // The folder is the helper's now; it holds the lock until it is done.
    staging_.clear();
    DropStaging();
    if (OnDoOwnCloseAppMethod)
        OnDoOwnCloseAppMethod(this);
    else
        CloseApplication();
}

}  // namespace kestrel
