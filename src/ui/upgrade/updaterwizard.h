// The download wizard: the current file with its address, size, rate and time left, all files,
// and the finish page. Modeless; at most one exists and it frees itself when it closes.
//
// Closing it before the finish button was pressed (cancel button, Escape, the frame's close box)
// asks whether to give up the upgrade; yes closes it and raises OnAbort.
#pragma once

#include <QDialog>
#include <functional>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kestrel {

class TUpdaterWizardForm : public QDialog {
    Q_OBJECT
public:
    static TUpdaterWizardForm* Instance();
    static TUpdaterWizardForm* Create();
    ~TUpdaterWizardForm() override;

    QFrame* pnlImage = nullptr;
    QLabel* imgSide = nullptr;
    QLabel* WizardTitle = nullptr;
    QLabel* AfterNote = nullptr;
    QGroupBox* LCurrentFile = nullptr;
    QLabel* LDownloadingFileFrom = nullptr;
    QLineEdit* FileURL = nullptr;
    QLabel* FileSizeLab = nullptr;
    QLabel* TransferRateLab = nullptr;
    QLabel* EstimatedTimeLeftLab = nullptr;
    QProgressBar* ProgressCurrentFile = nullptr;
    QGroupBox* LAllFiles = nullptr;
    QLabel* AllDownloading = nullptr;
    QProgressBar* ProgressAllFiles = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* AboutShadow = nullptr;
    QLabel* AboutLabel = nullptr;
    QPushButton* FinishBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    void SetSidePicture(const QPixmap& picture);
    // The current file's bar, counted in bytes so that it moves with every one; a file of
    // unknown size gets the busy bar.
    void ShowFileProgress(qint64 done, qint64 size);
    // Closes without the question (the upgrade was stopped elsewhere).
    void Dismiss();

    std::function<void()> OnAbort;

signals:
    // The wizard has closed, by any way.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TUpdaterWizardForm();
    bool closeWithoutQuestion_ = false;
};

}  // namespace kestrel
