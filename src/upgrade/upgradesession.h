// The online upgrade without its windows: TUpgradeSession fetches the information file and its
// signature, decides whether the published version is to be installed, downloads the files into
// a private folder beside the program, checks every one of them and hands the complete set to
// the update helper, which replaces the program once it has ended.
//
// Every transfer runs through an HTTP client that the session is given and whose events it
// takes over. What the user is to see or to answer (a question, an error, a login, the wizard's
// lines) is raised as an event; the updater's dialogs (ui/upgrade) show it and answer.
#pragma once

#include <QElapsedTimer>
#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "upgrade/infofile.h"
#include "upgrade/minisign.h"

class QIODevice;
class QTimer;

namespace kestrel {

class TCustomHTTPClient;
class TUpgradeSession;
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

// Error code of OnLostFile for a file refused before or after its download: a name that would
// leave the program's folder, content that does not match its published digest, a program that
// cannot run here, or a file that could not be written.
inline constexpr int kRefusedFile = 0;

// The keys every copy trusts: the project's publishing key, built in.
QList<MinisignKey> BuiltInUpgradeKeys();

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
    // Why a check found no answer: the name is the server's status.
    infoStatus,    // the server did not hand out the information file
    infoUnsigned,  // the information file comes without a signature
    infoInvalid,   // its signature is not one of ours or does not match it
    infoExpired,   // it is signed, but past its expiry
};
QString UpgradeErrorText(UpgradeError error, const QString& name = {});

// Where the upgrade stands.
enum class TUpgradeStep {
    usIdle,          // nothing under way
    usCheckingInfo,  // the information file and its signature are fetched and read
    usDownloading,   // the files are fetched, one after the other
    usFinishing,     // every file is there and verified; Finish hands them to the helper
};

// What the program sets; the session reads it as it goes.
struct TUpgradeOptions {
    TUpgradeOptions();

    TUpdaterInfo InfoFile;
    QString InfoFileURL = QStringLiteral("https://");
    // Public keys trusted besides the built-in one (base64 key lines separated by ";"), so that
    // an office can publish its own builds. The information file is trusted only with a
    // signature ("<InfoFileURL>.minisig") by one of them.
    QString UpgradeKeys;
    TMiscFilesUpgradeBehavior MiscFilesUpgrade = TMiscFilesUpgradeBehavior::mfuAlwaysDownload;
    TUpdaterVersionControl VersionControl = TUpdaterVersionControl::byDate;
    QString VersionDate;  // today by default
    bool VersionDateAutoSet = true;
    QString VersionNumber;
    TUpdaterShowMessages ShowMessages{mAskUpgrade | mConnLost | mLostFile | mPasswordRequest};
    // The program whose folder receives the downloads; the running executable by default.
    QString ProgramPath;
    // Whether the computer is online, for the automatic check; unassigned means offline.
    std::function<bool()> IsConnected;
    // Starts the helper with the parameter text, the staging folder's name and the upgrade
    // lock to hand over; true when it started.
    std::function<bool(const QString& params, const QString& stagingName, int lockFd)> StartHelper;
};

using TUpgradeNotifyEvent = std::function<void(TUpgradeSession* Sender)>;
using TUpgradeBeginEvent =
    std::function<void(TUpgradeSession* Sender, const QString& UpgradeMsg,
                       TUpgradeMethod UpgradeMethod, const QStringList& Files, bool& CanUpgrade)>;
using TUpgradeProgressEvent =
    std::function<void(TUpgradeSession* Sender, const QString& FileURL, qint64 FileSize,
                       qint64 BytesRead, qint64 ElapsedTime, qint64 EstimatedTimeLeft,
                       quint8 PercentsDone, quint8 TotalPercentsDone, float TransferRate)>;
using TUpgradeFileStartEvent =
    std::function<void(TUpgradeSession* Sender, const QString& FileURL, qint64 FileSize,
                       double FileTime, bool& CanUpgrade)>;
using TUpgradeTextEvent = std::function<void(TUpgradeSession* Sender, const QString& Text)>;
using TUpgradeHostUnreachableEvent =
    std::function<void(TUpgradeSession* Sender, const QString& URL, const QString& Hostname)>;
using TUpgradeLostFileEvent =
    std::function<void(TUpgradeSession* Sender, const QString& FileURL, int ErrorCode)>;
using TUpgradePasswordEvent =
    std::function<void(TUpgradeSession* Sender, const QString& Realm, bool& TryAgain)>;
using TUpgradeAskEvent =
    std::function<void(TUpgradeSession* Sender, const QString& Message, bool& Upgrade)>;
using TUpgradeLoginEvent =
    std::function<void(TUpgradeSession* Sender, const QString& FileName, QString& Username,
                       QString& Password, bool& TryAgain)>;
using TUpgradeNextFileEvent = std::function<void(TUpgradeSession* Sender, int FileIndex,
                                                 int FileCount, const QString& FileURL)>;
using TUpgradeWaitEvent = std::function<void(TUpgradeSession* Sender, bool& Wait)>;

class TUpgradeSession {
public:
    TUpgradeSession(TCustomHTTPClient& client, const TUpgradeOptions& options);
    ~TUpgradeSession();
    TUpgradeSession(const TUpgradeSession&) = delete;
    TUpgradeSession& operator=(const TUpgradeSession&) = delete;

    // Starts a check and returns at once; nothing happens while a transfer runs.
    void CheckUpgrade();
    // Ends the transfer and drops what was downloaded; OnStopped.
    void StopUpgrade();
    // StopUpgrade, then OnAborted.
    void AbortUpgrade();
    // At usFinishing: marks the set complete and starts the helper; otherwise nothing.
    void Finish();
    // Call once the handlers are set: takes back what a killed helper left half done, and a
    // start by the helper (first argument RestartParams) raises OnAfterRestart.
    void Loaded(const QStringList& arguments);

    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool on);
    QString RestartParams() const { return restartParams_; }
    void SetRestartParams(const QString& params);  // empty is kept as a single blank

    TUpgradeStep Step() const { return step_; }
    // Why the last check could not tell whether there is an upgrade (the server unreachable or
    // its answer unusable), or why the upgrade it led to lost its server, as the user is to read
    // it; empty after a check that answered.
    QString CheckFailure() const { return checkFailure_; }

    TUpgradeBeginEvent OnBeginUpgrade;
    TUpgradeNotifyEvent OnEndUpgrade;
    TUpgradeNotifyEvent OnLaterUpgrade;
    TUpgradeProgressEvent OnProgress;
    TUpgradeFileStartEvent OnFileStart;
    TUpgradeTextEvent OnFileDone;  // the verified file's full name
    TUpgradeNotifyEvent OnAfterRestart;
    TUpgradeNotifyEvent OnAborted;
    TUpgradeNotifyEvent OnConnLost;
    TUpgradeHostUnreachableEvent OnHostUnreachable;
    TUpgradeNotifyEvent OnNoUpdateAvailable;
    TUpgradeNotifyEvent OnNoInfoFile;
    // A file that could not be had ends the whole upgrade: nothing is installed without it.
    TUpgradeLostFileEvent OnLostFile;
    TUpgradePasswordEvent OnPasswordRequest;

    // What the user is to see and to answer.
    TUpgradeTextEvent OnShowError;
    // Upgrade now? Unanswered is later.
    TUpgradeAskEvent OnAskUpgrade;
    // The server wants a login for the file; Username comes filled in. Unanswered gives up.
    TUpgradeLoginEvent OnAskPassword;
    // The downloads begin (the wizard's moment), and each file in turn.
    TUpgradeNotifyEvent OnDownloadsBegin;
    TUpgradeNextFileEvent OnNextFile;
    // Every file is verified: Wait keeps the set at usFinishing until Finish.
    TUpgradeWaitEvent OnFilesReady;
    // The upgrade is a web page to open.
    TUpgradeTextEvent OnOpenPage;
    // The upgrade stopped; whatever shows it closes.
    TUpgradeNotifyEvent OnStopped;
    // The helper has the set and waits for the program to end, which is to happen now.
    TUpgradeNotifyEvent OnHelperStarted;

private:
    struct InfoCheck;
    void HookClient();
    void ShowProgress(bool on);  // whether the download's progress is handed over
    void ShowError(const QString& text);
    void FileStep();  // downloads the file at fileIndex_, or ends the loop after the last
    void NextFile();
    void StartDownloads();
    void EndUpgrade();  // the ready mark, OnEndUpgrade and the helper
    void RunHelper(const QString& params);
    void InfoArrived(QIODevice* stream);
    void ReadInfo(const QByteArray& signature);  // off the caller's thread, then ProcessInfo
    void CancelInfoCheck();
    void ProcessInfo(const InfoReading& reading);
    // failure: what the user is told (CheckFailure); empty when the file was read and is current.
    void NoInfoFile(const QString& reason, const QString& failure);
    // Ends the upgrade with an error that says why (when mLostFile is on).
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

    TCustomHTTPClient& client_;
    const TUpgradeOptions& options_;
    TUpgradeStep step_ = TUpgradeStep::usIdle;
    QList<UpgradeFile> files_;
    TUpgradeMethod method_ = TUpgradeMethod::umSelfUpgrade;
    int fileIndex_ = 0;
    QString currentTarget_;
    double fileTime_ = 0;
    bool autoMode_ = false;  // the check under way is the automatic one
    bool autoCheck_ = false;
    bool autoCheckFired_ = false;
    bool fetchingSignature_ = false;
    QByteArray infoBytes_;
    QString checkFailure_;
    QElapsedTimer checkTime_;               // since the check's first request
    std::shared_ptr<InfoCheck> infoCheck_;  // the reading of the information file under way
    QString staging_;  // the private folder of the upgrade under way, with its trailing "/"
    int lockFd_ = -1;  // the program folder's upgrade lock while this copy upgrades
    bool fileFailure_ = false;  // a download failed with no event of its own yet
    QString restartParams_ = QStringLiteral("/afterupgrade");
    std::unique_ptr<QTimer> timer_;
};

}  // namespace kestrel
