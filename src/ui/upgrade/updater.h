// The online upgrade as the main window uses it: TUpdater is the HTTP client that the upgrade
// session (upgrade/upgradesession.h) runs its transfers through, and the session's face. It
// raises the session's events as its own (with the updater as sender) and shows what the session
// says in the upgrade's dialogs (the question, the wizard, the login, the error box) as
// ShowMessages allows; every decision is the session's.
#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <functional>

#include "net/httpclient.h"
#include "upgrade/infofile.h"
#include "upgrade/upgradesession.h"
#include "upgrade/upgradetext.h"

class QWidget;

namespace kestrel {

class IDesktopCommands;
class TUpdater;

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

class TUpdater : public TCustomHTTPClient, public TUpgradeOptions {
public:
    explicit TUpdater(TransferFactory factory = DefaultTransferFactory());
    ~TUpdater();

    // Starts a check and returns at once; nothing happens while a transfer runs.
    void CheckUpgrade() { session_.CheckUpgrade(); }
    // Ends the transfer and closes the question and the wizard.
    void StopUpgrade() { session_.StopUpgrade(); }
    // StopUpgrade, then OnAborted.
    void AbortUpgrade() { session_.AbortUpgrade(); }
    // Call once the handlers are set: a start by the helper (first argument RestartParams)
    // raises OnAfterRestart.
    void Loaded(const QStringList& arguments) { session_.Loaded(arguments); }

    // TUpgradeSession::CheckFailure as a box shows it.
    QString CheckFailure() const { return Shown(session_.CheckFailure()); }

    bool AutoCheck() const { return session_.AutoCheck(); }
    void SetAutoCheck(bool on) { session_.SetAutoCheck(on); }
    QString RestartParams() const { return session_.RestartParams(); }
    void SetRestartParams(const QString& params) { session_.SetRestartParams(params); }

    TUpdaterWizard Wizard;
    // The window that the question, the wizard and the boxes belong to, so that the window
    // manager keeps them above it; none for top-level dialogs of their own.
    QWidget* DialogOwner = nullptr;

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

    // Where web pages are opened; the desktop's by default.
    IDesktopCommands* Desktop = nullptr;

private:
    void HookSession();
    void RaiseEvents();  // the session's events as the updater's
    void ErrorBox(const QString& text);
    bool AskUpgrade(const QString& message);
    void ShowWizard();
    void ShowFile(int index, int count, const QString& address);
    void ShowFileSize(qint64 size);
    void ShowProgress(qint64 size, qint64 done, quint8 total, float rate, qint64 left);
    // Turns the wizard to its finish page; false when there is no wizard to wait for.
    bool WizardFinished();
    bool AskPassword(const QString& fileName, QString& user, QString& password);
    void CloseDialogs();

    TUpgradeSession session_;
};

}  // namespace kestrel
