#include "ui/upgrade/updatermessage.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include "ui/upgrade/dialogframe.h"

namespace kestrel {

namespace {
QPointer<TUpdaterMessageForm> gMessageForm;
}

TUpdaterMessageForm* TUpdaterMessageForm::Instance() {
    return gMessageForm;
}

TUpdaterMessageForm* TUpdaterMessageForm::Create() {
    if (!gMessageForm)
        gMessageForm = new TUpdaterMessageForm;
    return gMessageForm;
}

TUpdaterMessageForm::TUpdaterMessageForm() {
    SetUpFixedDialog(this, 318, 130);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Image1 = IconLabel(this, style()->standardIcon(QStyle::SP_MessageBoxInformation), 7, 5);
    lblMessage = new QLabel(this);
    lblMessage->move(45, 5);
    lblMessage->setWordWrap(true);
    lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pnlButtons = new QWidget(this);
    pnlButtons->setGeometry(0, 130 - 55, 318, 55);
    btnYes = new QPushButton(pnlButtons);
    btnYes->setGeometry(124, 19, 75, 23);
    btnYes->setDefault(true);
    connect(btnYes, &QPushButton::clicked, this, &QDialog::accept);
    btnLater = new QPushButton(pnlButtons);
    btnLater->setGeometry(213, 19, 75, 23);
    connect(btnLater, &QPushButton::clicked, this, &QDialog::reject);
}

TUpdaterMessageForm::~TUpdaterMessageForm() = default;

void TUpdaterMessageForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
    raise();
}

}  // namespace kestrel
