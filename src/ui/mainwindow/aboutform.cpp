#include "ui/mainwindow/aboutform.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "builddate.h"
#include "platform/fonts.h"
#include "ui/clicks.h"
#include "version.h"

namespace kestrel {

TAboutForm::TAboutForm(std::function<void(const QString&)> openUrl, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      openUrl_(std::move(openUrl)) {
    setWindowTitle(tr("关于"));
    setFont(WindowFont());

    Image1 = new QLabel(this);
    Image1->setGeometry(24, 24, 32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/kestrel.svg")).pixmap(32, 32));

    Label1 = new QLabel(QStringLiteral("Kestrel"), this);
    QFont title(QStringLiteral("Tahoma"));
    title.setPixelSize(21);
    title.setBold(true);
    Label1->setFont(title);
    Label1->move(80, 24);
    Label1->adjustSize();

    Label4 = new QLabel(QString::fromLatin1(kMakerWebAddress), this);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->move(80, 64);
    Label4->adjustSize();
    Label4->installEventFilter(this);

    Label2 = new QLabel(QStringLiteral("ver " KESTREL_VERSION), this);
    Label2->move(80, 88);
    Label2->adjustSize();

    // Beside the version, however long it grows.
    Label3 = new QLabel(QStringLiteral(KESTREL_BUILD_DATE), this);
    Label3->move(Label2->geometry().right() + 8, 88);
    Label3->adjustSize();

    // Escape closes the box as this button does (QDialog's own key handling).
    btnOK = new QPushButton(tr("确定"), this);
    btnOK->setDefault(true);
    btnOK->adjustSize();
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // The box grows with the longest line (never narrower than its 251 pixels) and keeps the
    // left margin on the right too.
    const int margin = Image1->x();
    const int right = std::max({Label1->geometry().right(), Label4->geometry().right(),
                                Label3->geometry().right(), 251 - margin - 1});
    btnOK->move(right - btnOK->width() + 1, Label2->geometry().bottom() + 16);
    setFixedSize(right + 1 + margin, btnOK->geometry().bottom() + 1 + 12);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
}

void TAboutForm::Label4Click() {
    if (openUrl_)
        openUrl_(Label4->text());
    close();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label4 && IsClickRelease(Label4, event)) {
        Label4Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kestrel
