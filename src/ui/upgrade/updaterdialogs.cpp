// The updater's dialogs: the question, the wizard, the login and the error box, filled with the
// texts of the wizard's language.
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "ui/upgrade/dialogframe.h"
#include "ui/upgrade/updater.h"
#include "ui/upgrade/updatermessage.h"
#include "ui/upgrade/updaterpassword.h"
#include "ui/upgrade/updaterwizard.h"

namespace kestrel {

namespace {

// The application's title (its name unless a display name was set).
QString AppTitle() {
    return QGuiApplication::applicationDisplayName();
}

// Lays out a word-wrapping label at its place with the given width, as high as its text.
void FitLabel(QLabel* label, int width) {
    label->setFixedWidth(width);
    label->setFixedHeight(label->heightForWidth(width));
}

}  // namespace

void TUpdater::ErrorBox(const QString& text) {
    // Above the wizard, which may stay on top of every window.
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    QMessageBox box(QMessageBox::Critical, UpgradeText(0), Shown(text), QMessageBox::Ok,
                    wizard ? wizard : DialogOwner);
    box.exec();
}

bool TUpdater::AskUpgrade(const QString& message) {
    QString title = AppTitle();
    if (title.contains(UpgradeString(kStringDefaultTitleMark)))
        title = UpgradeString(kStringAppTitle);
    TUpdaterMessageForm* form = TUpdaterMessageForm::Create();
    if (DialogOwner && form->parentWidget() != DialogOwner)
        form->setParent(DialogOwner, form->windowFlags());
    const QString framed = message.isEmpty() ? message : u'\n' + message + u'\n';
    form->lblMessage->setText(Shown(FormatUpgradeText(23, {title, framed})));
    FitLabel(form->lblMessage, form->width() - form->lblMessage->x() - 11);
    form->setWindowTitle(UpgradeText(0));
    form->btnYes->setText(UpgradeText(14));
    form->btnLater->setText(UpgradeText(19));
    const int height = form->lblMessage->y() + form->lblMessage->height() + 55;
    form->setFixedHeight(height);
    form->pnlButtons->move(0, height - 55);
    return form->exec() == QDialog::Accepted;
}

void TUpdater::ShowWizard() {
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Create();
    // A new parent would hide a wizard already shown.
    if (DialogOwner && wizard->parentWidget() != DialogOwner)
        wizard->setParent(DialogOwner, wizard->windowFlags());
    wizard->OnAbort = [this] { AbortUpgrade(); };
    const QString about = u' ' + UpgradeString(kStringUpdaterName) + u' ';
    wizard->AboutLabel->setText(about);
    wizard->AboutShadow->setText(about);
    wizard->setWindowFlag(Qt::WindowStaysOnTopHint, Wizard.StayOnTop);
    wizard->SetSidePicture(Wizard.Pic118x218);
    wizard->EstimatedTimeLeftLab->setText(UpgradeText(22));
    wizard->setWindowTitle(UpgradeText(0));
    wizard->WizardTitle->setText(UpgradeText(1));
    wizard->LCurrentFile->setTitle(u' ' + UpgradeText(3) + u' ');
    wizard->LAllFiles->setTitle(u' ' + UpgradeText(4) + u' ');
    wizard->LDownloadingFileFrom->setText(UpgradeText(5));
    wizard->FinishBtn->setText(Shown(UpgradeText(18)));
    wizard->CancelBtn->setText(UpgradeText(17));
    wizard->show();
    CentreOnScreen(wizard);
}

bool TUpdater::WizardFinished() {
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    if (!wizard)
        return false;
    wizard->WizardTitle->setText(UpgradeText(2));
    wizard->AfterNote->setText(Shown(FormatUpgradeText(10, {AppTitle()})));
    FitLabel(wizard->AfterNote, wizard->AfterNote->width());
    wizard->LCurrentFile->hide();
    wizard->LAllFiles->hide();
    wizard->CancelBtn->setEnabled(false);
    wizard->FinishBtn->setText(UpgradeText(16));
    wizard->FinishBtn->setEnabled(true);
    wizard->FinishBtn->setDefault(true);
    wizard->FinishBtn->setFocus();
    wizard->activateWindow();
    return true;
}

bool TUpdater::AskPassword(const QString& fileName, QString& user, QString& password) {
    TUpdaterPasswordForm* form = TUpdaterPasswordForm::Create();
    // The login comes up during a download: it belongs to the wizard, or to the ticker when
    // there is none, and must not open behind either.
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    QWidget* owner = wizard ? wizard : DialogOwner;
    const bool onTop =
        (wizard && Wizard.StayOnTop) ||
        (DialogOwner && DialogOwner->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    Qt::WindowFlags flags = form->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (owner && form->parentWidget() != owner)
        form->setParent(owner, flags);
    else
        form->setWindowFlags(flags);
    // The form is gone when exec returns, and with it the references to the answer.
    form->OnConfirm = [&user, &password](const QString& typedUser, const QString& typedPassword) {
        user = typedUser;
        password = typedPassword;
    };
    form->lblText->setText(Shown(FormatUpgradeText(29, {fileName})));
    FitLabel(form->lblText, form->width() - form->lblText->x() - 11);
    form->setWindowTitle(UpgradeText(11));
    form->lblUser->setText(UpgradeText(12));
    form->lblUser->adjustSize();
    form->lblPassword->setText(UpgradeText(13));
    form->lblPassword->adjustSize();
    form->edUser->setText(user);
    form->edPassword->clear();
    form->btnOK->setText(UpgradeText(16));
    form->btnCancel->setText(UpgradeText(17));
    const int bottom = form->pnlBottom->height();
    const int height = form->lblText->y() + form->lblText->height() + bottom;
    form->setFixedHeight(height);
    form->pnlBottom->move(0, height - bottom);
    return form->exec() == QDialog::Accepted;
}

}  // namespace kestrel
