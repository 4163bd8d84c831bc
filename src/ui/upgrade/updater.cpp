#include "ui/upgrade/updater.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <utility>

#include "platform/helperlaunch.h"
#include "platform/online.h"
#include "ui/appcontrol.h"
#include "ui/upgrade/updatermessage.h"
#include "ui/upgrade/updaterwizard.h"

namespace kestrel {

TUpdaterWizard::TUpdaterWizard() {
    SetLanguage(wlAuto);
}

void TUpdaterWizard::SetLanguage(TUpdaterLanguage language) {
    language_ = language;
    SetUpdaterLanguage(language);
}

TUpdater::TUpdater(TransferFactory factory)
    : TCustomHTTPClient(std::move(factory)), session_(*this, *this) {
    IsConnected = [] { return IsInternetConnected(); };
    StartHelper = [](const QString& params, const QString& stagingName, int lockFd) {
        return LaunchHelper(params, stagingName, lockFd);
    };
    HookSession();
    RaiseEvents();
}

TUpdater::~TUpdater() {
    // The dialogs outlive nothing of the component they talk to.
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance())
        wizard->OnAbort = nullptr;
    CloseDialogs();
}

void TUpdater::HookSession() {
    TUpgradeSession& s = session_;
    s.OnShowError = [this](TUpgradeSession*, const QString& text) { ErrorBox(text); };
    s.OnAskUpgrade = [this](TUpgradeSession*, const QString& message, bool& upgrade) {
        upgrade = AskUpgrade(message);
    };
    s.OnAskPassword = [this](TUpgradeSession*, const QString& fileName, QString& user,
                             QString& password,
                             bool& tryAgain) { tryAgain = AskPassword(fileName, user, password); };
    s.OnDownloadsBegin = [this](TUpgradeSession*) {
        if (Wizard.Enabled)
            ShowWizard();
    };
    s.OnNextFile = [this](TUpgradeSession*, int index, int count, const QString& address) {
        ShowFile(index, count, address);
    };
    s.OnFilesReady = [this](TUpgradeSession*, bool& wait) {
        // The program goes on while the finish page waits for the user; closing it by its
        // button restarts, closing it otherwise asks and may abort.
        wait = WizardFinished();
        if (wait)
            QObject::connect(TUpdaterWizardForm::Instance(), &TUpdaterWizardForm::Closed,
                             TUpdaterWizardForm::Instance(), [this] { session_.Finish(); });
    };
    s.OnOpenPage = [this](TUpgradeSession*, const QString& address) {
        OpenURL(address, true, Desktop ? *Desktop : SystemDesktopCommands());
    };
    s.OnStopped = [this](TUpgradeSession*) { CloseDialogs(); };
    s.OnHelperStarted = [this](TUpgradeSession*) {
        if (OnDoOwnCloseAppMethod)
            OnDoOwnCloseAppMethod(this);
        else
            CloseApplication();
    };
}

void TUpdater::RaiseEvents() {
    TUpgradeSession& s = session_;
    const auto notify = [this](TUpdaterNotifyEvent TUpdater::*event) {
        return [this, event](TUpgradeSession*) {
            if (this->*event)
                (this->*event)(this);
        };
    };
    s.OnEndUpgrade = notify(&TUpdater::OnEndUpgrade);
    s.OnLaterUpgrade = notify(&TUpdater::OnLaterUpgrade);
    s.OnAfterRestart = notify(&TUpdater::OnAfterRestart);
    s.OnAborted = notify(&TUpdater::OnAborted);
    s.OnConnLost = notify(&TUpdater::OnConnLost);
    s.OnNoUpdateAvailable = notify(&TUpdater::OnNoUpdateAvailable);
    s.OnNoInfoFile = notify(&TUpdater::OnNoInfoFile);
    s.OnBeginUpgrade = [this](TUpgradeSession*, const QString& message, TUpgradeMethod method,
                              const QStringList& files, bool& canUpgrade) {
        if (OnBeginUpgrade)
            OnBeginUpgrade(this, message, method, files, canUpgrade);
    };
    s.OnProgress = [this](TUpgradeSession*, const QString& address, qint64 size, qint64 done,
                          qint64 elapsed, qint64 left, quint8 percent, quint8 total, float rate) {
        if (OnProgress)
            OnProgress(this, address, size, done, elapsed, left, percent, total, rate);
        ShowProgress(size, done, total, rate, left);
    };
    s.OnFileStart = [this](TUpgradeSession*, const QString& address, qint64 size, double time,
                           bool& carryOn) {
        ShowFileSize(size);
        if (OnFileStart)
            OnFileStart(this, address, size, time, carryOn);
    };
    s.OnFileDone = [this](TUpgradeSession*, const QString& name) {
        if (OnFileDone)
            OnFileDone(this, name);
    };
    s.OnHostUnreachable = [this](TUpgradeSession*, const QString& address, const QString& host) {
        if (OnHostUnreachable)
            OnHostUnreachable(this, address, host);
    };
    s.OnLostFile = [this](TUpgradeSession*, const QString& address, int code) {
        if (OnLostFile)
            OnLostFile(this, address, code);
    };
    s.OnPasswordRequest = [this](TUpgradeSession*, const QString& realm, bool& tryAgain) {
        if (OnPasswordRequest)
            OnPasswordRequest(this, realm, tryAgain);
    };
}

void TUpdater::ShowFile(int index, int count, const QString& address) {
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    if (!wizard)
        return;
    wizard->FileURL->setText(address);
    wizard->FileURL->setCursorPosition(0);
    wizard->AllDownloading->setText(FormatUpgradeText(9, {index + 1, count}));
}

void TUpdater::ShowFileSize(qint64 size) {
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance())
        wizard->FileSizeLab->setText(FormatUpgradeText(6, {double(size) / 1024}));
}

void TUpdater::ShowProgress(qint64 size, qint64 done, quint8 total, float rate, qint64 left) {
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    if (!wizard)
        return;
    wizard->ShowFileProgress(done, size);
    wizard->ProgressAllFiles->setValue(std::min<int>(total, 100));
    wizard->TransferRateLab->setText(FormatUpgradeText(7, {double(rate)}));
    wizard->EstimatedTimeLeftLab->setText(TimeLeftText(left));
}

void TUpdater::CloseDialogs() {
    if (TUpdaterMessageForm* question = TUpdaterMessageForm::Instance())
        question->reject();
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
        QObject::disconnect(wizard, &TUpdaterWizardForm::Closed, nullptr, nullptr);
        wizard->Dismiss();
    }
}

}  // namespace kestrel
