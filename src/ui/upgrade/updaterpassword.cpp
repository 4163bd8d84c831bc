#include "ui/upgrade/updaterpassword.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include "ui/upgrade/dialogframe.h"

namespace kestrel {

namespace {
QPointer<TUpdaterPasswordForm> gPasswordForm;
}

TUpdaterPasswordForm* TUpdaterPasswordForm::Instance() {
    return gPasswordForm;
}

TUpdaterPasswordForm* TUpdaterPasswordForm::Create() {
    if (!gPasswordForm)
        gPasswordForm = new TUpdaterPasswordForm;
    return gPasswordForm;
}

TUpdaterPasswordForm::TUpdaterPasswordForm() {
    SetUpFixedDialog(this, 297, 141);
    const QIcon lock = QIcon::fromTheme(QStringLiteral("dialog-password"),
                                        style()->standardIcon(QStyle::SP_MessageBoxWarning));
    Image1 = IconLabel(this, lock, 7, 5);
    lblText = new QLabel(this);
    lblText->move(45, 5);
    lblText->setWordWrap(true);
    lblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pnlBottom = new QWidget(this);
    pnlBottom->setGeometry(0, 141 - 98, 297, 98);
    lblUser = new QLabel(pnlBottom);
    lblUser->move(45, 14);
    lblPassword = new QLabel(pnlBottom);
    lblPassword->move(45, 38);
    edUser = new QLineEdit(pnlBottom);
    edUser->setGeometry(122, 10, 157, 22);
    edPassword = new QLineEdit(pnlBottom);
    edPassword->setGeometry(122, 34, 157, 22);
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    btnOK = new QPushButton(pnlBottom);
    btnOK->setGeometry(114, 68, 75, 23);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TUpdaterPasswordForm::btnOKClick);
    btnCancel = new QPushButton(pnlBottom);
    btnCancel->setGeometry(204, 68, 75, 23);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TUpdaterPasswordForm::~TUpdaterPasswordForm() = default;

void TUpdaterPasswordForm::btnOKClick() {
    if (OnConfirm)
        OnConfirm(edUser->text(), edPassword->text());
    accept();
}

}  // namespace kestrel
