#include "ui/upgrade/updaterwizard.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <limits>

#include "ui/upgrade/dialogframe.h"
#include "upgrade/upgradetext.h"

namespace kestrel {

namespace {

QPointer<TUpdaterWizardForm> gWizardForm;

// The address field can be selected and copied, but every key press is swallowed.
class AddressField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        event->accept();
    }
};

QProgressBar* Progress(QWidget* parent, int x, int y) {
    auto* bar = new QProgressBar(parent);
    bar->setGeometry(x, y, 307, 22);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QLabel* Label(QWidget* parent, int x, int y, int width) {
    auto* label = new QLabel(parent);
    label->setGeometry(x, y, width, 16);
    return label;
}

}  // namespace

TUpdaterWizardForm* TUpdaterWizardForm::Instance() {
    return gWizardForm;
}

TUpdaterWizardForm* TUpdaterWizardForm::Create() {
    if (!gWizardForm)
        gWizardForm = new TUpdaterWizardForm;
    return gWizardForm;
}

TUpdaterWizardForm::TUpdaterWizardForm() {
    SetUpFixedDialog(this, 463, 281);

    pnlImage = new QFrame(this);
    pnlImage->setGeometry(10, 10, 120, 220);
    pnlImage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlImage->setLineWidth(1);
    imgSide = new QLabel(pnlImage);
    imgSide->setGeometry(1, 1, 118, 218);
    imgSide->setScaledContents(true);
    // Through the icon engine that draws the window icon anyway: a QPixmap read from the file
    // would probe and load every image-format plugin.
    SetSidePicture(QIcon(QStringLiteral(":/upgrade/wizard-side.svg")).pixmap(118, 218));

    WizardTitle = new QLabel(this);
    WizardTitle->setGeometry(136, 10, 319, 24);
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    WizardTitle->setFont(titleFont);

    AfterNote = new QLabel(this);
    AfterNote->setGeometry(136, 44, 319, 16);
    AfterNote->setWordWrap(true);
    AfterNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Group captions sit on the frame line, leaving the inside to the controls.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0px; }"));
    LCurrentFile = new QGroupBox(this);
    LCurrentFile->setGeometry(136, 34, 319, 125);
    LDownloadingFileFrom = Label(LCurrentFile, 6, 14, 300);
    FileURL = new AddressField(LCurrentFile);
    FileURL->setGeometry(10, 28, 301, 15);
    FileURL->setFrame(false);
    FileURL->setReadOnly(true);
    FileURL->setFocusPolicy(Qt::ClickFocus);
    QPalette addressColours = FileURL->palette();
    addressColours.setColor(QPalette::Base, palette().color(QPalette::Window));
    addressColours.setColor(QPalette::Text, palette().color(QPalette::Highlight));
    FileURL->setPalette(addressColours);
    FileSizeLab = Label(LCurrentFile, 6, 44, 300);
    TransferRateLab = Label(LCurrentFile, 6, 60, 300);
    EstimatedTimeLeftLab = Label(LCurrentFile, 6, 76, 300);
    ProgressCurrentFile = Progress(LCurrentFile, 6, 96);

    LAllFiles = new QGroupBox(this);
    LAllFiles->setGeometry(136, 162, 319, 67);
    AllDownloading = Label(LAllFiles, 6, 16, 300);
    ProgressAllFiles = Progress(LAllFiles, 6, 38);

    Bevel1 = new QFrame(this);
    Bevel1->setGeometry(10, 238, 447, 2);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    // The component's name, embossed: a highlight-coloured shadow one pixel right and down.
    AboutShadow = Label(this, 31, 234, 200);
    AboutLabel = Label(this, 30, 233, 200);
    QPalette shadow = AboutShadow->palette();
    shadow.setColor(QPalette::WindowText, palette().color(QPalette::Light));
    AboutShadow->setPalette(shadow);
    QPalette engraved = AboutLabel->palette();
    engraved.setColor(QPalette::WindowText, palette().color(QPalette::Dark));
    AboutLabel->setPalette(engraved);
    AboutLabel->setAttribute(Qt::WA_TranslucentBackground);
    AboutShadow->lower();

    FinishBtn = new QPushButton(this);
    FinishBtn->setGeometry(296, 248, 75, 25);
    FinishBtn->setEnabled(false);
    FinishBtn->setAutoDefault(false);
    connect(FinishBtn, &QPushButton::clicked, this, [this] {
        closeWithoutQuestion_ = true;
        close();
    });
    CancelBtn = new QPushButton(this);
    CancelBtn->setGeometry(380, 248, 75, 25);
    CancelBtn->setDefault(true);
    connect(CancelBtn, &QPushButton::clicked, this, &QWidget::close);
}

TUpdaterWizardForm::~TUpdaterWizardForm() = default;

void TUpdaterWizardForm::SetSidePicture(const QPixmap& picture) {
    if (!picture.isNull())
        imgSide->setPixmap(picture);
}

void TUpdaterWizardForm::ShowFileProgress(qint64 done, qint64 size) {
    if (size <= 0) {
        ProgressCurrentFile->setRange(0, 0);
        return;
    }
    // A bar counts in int: a larger file is counted in units of a few bytes.
    int shift = 0;
    while ((size >> shift) > std::numeric_limits<int>::max())
        ++shift;
    ProgressCurrentFile->setRange(0, int(size >> shift));
    ProgressCurrentFile->setValue(int(std::clamp<qint64>(done, 0, size) >> shift));
}

void TUpdaterWizardForm::Dismiss() {
    closeWithoutQuestion_ = true;
    close();
}

void TUpdaterWizardForm::reject() {
    // Escape asks the same question as the close box.
    close();
}

void TUpdaterWizardForm::closeEvent(QCloseEvent* event) {
    bool abort = false;
    if (!closeWithoutQuestion_) {
        const auto answer =
            QMessageBox::question(this, QGuiApplication::applicationDisplayName(),
                                  Shown(UpgradeText(27)), QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        abort = true;
    }
    event->accept();
    if (gWizardForm == this)
        gWizardForm = nullptr;
    if (abort && OnAbort)
        OnAbort();
    emit Closed();
}

}  // namespace kestrel
