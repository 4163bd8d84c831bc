// The online upgrade: TUpdater fetches the information file, compares the published version with
// the program's own and, when it is newer, asks the user and then either opens a web page or
// downloads the files beside the program and hands over to the update helper, which replaces
// them once the program has ended.
//
// Every transfer runs through the inherited HTTP client; its events are hooked by the component,
// which raises its own events (the same names where the meaning is the same, with the updater as
// sender) and shows its dialogs as ShowMessages allows.
#pragma once

#include <QFlags>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "net/httpclient.h"
#include "ui/upgrade/updaterfiles.h"
#include "upgrade/infofile.h"
#include "upgrade/minisign.h"
#include "upgrade/upgradetext.h"

class QTimer;

namespace kestrel {

class IDesktopCommands;
class TUpdater;
struct InfoReading;

enum TUpdaterShowMessage : quint8 {
    mAskUpgrade = 0x01,
    mConnLost = 0x02,
    mHostUnreachable = 0x04,
    mLostFile = 0x08,
    mNoInfoFile = 0x10,
    mNoUpdateAvailable = 0x20,
    mPasswordRequest = 0x40,
};
Q_DECLARE_FLAGS(TUpdaterShowMessages, TUpdaterShowMessage)
Q_DECLARE_OPERATORS_FOR_FLAGS(TUpdaterShowMessages)

enum class TMiscFilesUpgradeBehavior { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };

// What the developer writes into the information file; the check itself never reads it.
struct TUpdaterInfo {
    QStringList Files;
    TUpgradeMethod UpgradeMethod = TUpgradeMethod::umSelfUpgrade;
    QString UpgradeMsg;
};

class TUpdaterWizard {
public:
    TUpdaterWizard();
    bool Enabled = true;
    QPixmap Pic118x218;  // replaces the built-in side picture when not null
    bool StayOnTop = true;
    TUpdaterLanguage Language() const { return language_; }
    // Also switches the texts of every upgrader: the last language set wins.
    void SetLanguage(TUpdaterLanguage language);

private:
    TUpdaterLanguage language_;
};

using TUpdaterNotifyEvent = std::function<void(TUpdater* Sender)>;
using TUpdaterBeginEvent =
    std::function<void(TUpdater* Sender, const QString& UpgradeMsg, TUpgradeMethod UpgradeMethod,
                       const QStringList& Files, bool& CanUpgrade)>;
using TUpdaterProgressEvent = std::function<void(
    TUpdater* Sender, const QString& FileURL, qint64 FileSize, qint64 BytesRead, qint64 ElapsedTime,
    qint64 EstimatedTimeLeft, quint8 PercentsDone, quint8 TotalPercentsDone, float TransferRate)>;
using TUpdaterFileStartEvent = std::function<void(
    TUpdater* Sender, const QString& FileURL, qint64 FileSize, double FileTime, bool& CanUpgrade)>;
using TUpdaterFileDoneEvent = std::function<void(TUpdater* Sender, const QString& FileName)>;
using TUpdaterHostUnreachableEvent =
    std::function<void(TUpdater* Sender, const QString& URL, const QString& Hostname)>;
// A file that could not be had ends the whole upgrade: nothing is installed without it.
using TUpdaterLostFileEvent =
    std::function<void(TUpdater* Sender, const QString& FileURL, int ErrorCode)>;
using TUpdaterPasswordEvent =
    std::function<void(TUpdater* Sender, const QString& Realm, bool& TryAgain)>;

// Error code of OnLostFile for a file refused before or after its download: a name that would
// leave the program's folder, content that does not match its published digest, a program that
// cannot run here, or a file that could not be written.
inline constexpr int kRefusedFile = 0;

// The keys every copy trusts: the project's publishing key, built in.
QList<MinisignKey> BuiltInUpgradeKeys();

class TUpdater : public TCustomHTTPClient {
public:
    explicit TUpdater(TransferFactory factory = DefaultTransferFactory());
    ~TUpdater();

    // Starts a check and returns at once; nothing happens while a transfer runs.
    void CheckUpgrade();
    // Ends the transfer and closes the question and the wizard.
    void StopUpgrade();
    // StopUpgrade, then OnAborted.
    void AbortUpgrade();
    // Call once the handlers are set: a start by the helper (first argument RestartParams)
    // raises OnAfterRestart.
    void Loaded(const QStringList& arguments);

    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool on);
    QString RestartParams() const { return restartParams_; }
    void SetRestartParams(const QString& params);  // empty is kept as a single blank

    TUpdaterInfo InfoFile;
    QString InfoFileURL = QStringLiteral("https://");
    // Public keys trusted besides the built-in one (base64 key lines separated by ";"), so that
    // an office can publish its own builds. The information file is trusted only with a
    // signature ("<InfoFileURL>.minisig") by one of them.
    QString UpgradeKeys;
    TMiscFilesUpgradeBehavior MiscFilesUpgrade = TMiscFilesUpgradeBehavior::mfuAlwaysDownload;
    TUpdaterVersionControl VersionControl = TUpdaterVersionControl::byDate;
    QString VersionDate;
    bool VersionDateAutoSet = true;
    QString VersionNumber;
    TUpdaterShowMessages ShowMessages{mAskUpgrade | mConnLost | mLostFile | mPasswordRequest};
    TUpdaterWizard Wizard;

    TUpdaterBeginEvent OnBeginUpgrade;
    TUpdaterNotifyEvent OnEndUpgrade;
    TUpdaterNotifyEvent OnLaterUpgrade;
    TUpdaterProgressEvent OnProgress;
    TUpdaterFileStartEvent OnFileStart;
    TUpdaterFileDoneEvent OnFileDone;
    TUpdaterNotifyEvent OnDoOwnCloseAppMethod;
    TUpdaterNotifyEvent OnAfterRestart;
    TUpdaterNotifyEvent OnAborted;
    TUpdaterNotifyEvent OnConnLost;
    TUpdaterHostUnreachableEvent OnHostUnreachable;
    TUpdaterNotifyEvent OnNoUpdateAvailable;
    TUpdaterNotifyEvent OnNoInfoFile;
    TUpdaterLostFileEvent OnLostFile;
    TUpdaterPasswordEvent OnPasswordRequest;

    // The program whose folder receives the downloads; the running executable by default.
    QString ProgramPath;
    // Where web pages are opened; the desktop's by default.
    IDesktopCommands* Desktop = nullptr;
    // Whether the computer is online, for the automatic check.
    std::function<bool()> IsConnected;
    // Starts the helper with the parameter text, the staging folder's name and the upgrade
    // lock to hand over; true when it started.
    std::function<bool(const QString& params, const QString& stagingName, int lockFd)> StartHelper;

    // The check under way, for the dialogs and for tests.
    QList<UpgradeFile> UpgradeFiles;
    TUpgradeMethod FoundMethod = TUpgradeMethod::umSelfUpgrade;
    int FileIndex = 0;
    QString CurrentTarget;
    double FileTime = 0;
    bool CheckingInfo = false;
    bool Aborted = false;
    bool AutoCheckFired = false;
    bool AutoMode = false;

    bool AskUpgrade(const QString& message);
    void ShowWizard();
    void WizardFinished();
    bool AskPassword();
    void StartDownloads();
    void NextFile();
    void RunHelper(const QString& params);
    void ErrorBox(const QString& text);

private:
    void HookEvents();
    void ShowProgress(bool on);  // whether the download's progress is handed over
    void FileStep();             // downloads the file at FileIndex, or ends the loop after the last
    void EndUpgrade();           // OnEndUpgrade and the helper
    struct InfoCheck;
    void InfoArrived(QIODevice* stream);
    void ReadInfo(const QByteArray& signature);  // off the window's thread, then ProcessInfo
    void CancelInfoCheck();
    void ProcessInfo(const InfoReading& reading);
    void NoInfoFile(const QString& reason);
    // Ends the upgrade with an error box that says why (when mLostFile is on).
    void RefuseUpgrade(const QString& text);
    bool PrepareStaging();
    void DropStaging();
    void UpdateTimer();
    void TimerTick();
    void HeaderInfo(qint64 contentLength, double lastModified, bool& carryOn);
    void Progress(qint64 dataSize, qint64 bytesRead, qint64 elapsed, qint64 left, quint8 percent,
                  float rate);
    void FileDone(QIODevice* body);
    void FileLost(int errorCode);
    void HostUnreachable();
    void ConnLost();
    void PasswordRequest(const QString& realm, bool& tryAgain);
    bool ProgramFolderWritable() const;

    bool autoCheck_ = false;
    bool fetchingSignature_ = false;
    QByteArray infoBytes_;
    std::shared_ptr<InfoCheck> infoCheck_;  // the reading of the information file under way
    QString staging_;  // the private folder of the upgrade under way, with its trailing "/"
    int lockFd_ = -1;  // the program folder's upgrade lock while this copy upgrades
    bool fileFailure_ = false;  // a download failed with no event of its own yet
    QString restartParams_ = QStringLiteral("/afterupgrade");
    std::unique_ptr<QTimer> timer_;
};

// The sentence shown when the program's folder cannot be written, in the wizard's language.
QString ReadOnlyFolderText();

// Why an upgrade ended, in the wizard's language: the file's name is put in.
enum class UpgradeError {
    refusedFile,     // not a file of the program
    digestMismatch,  // not what was published
    notRunnable,     // named like a program, but cannot run here
    diskFull,        // the disk is full or the file too large
    lostFile,        // could not be downloaded
    stalled,         // the download crawled on too slowly to ever end
    busy,            // another upgrade of the folder is under way
    noHelper,        // the helper could not be started
    restored,        // the new version did not start; the old one is back
};
QString UpgradeErrorText(UpgradeError error, const QString& name = {});

}  // namespace kestrel
