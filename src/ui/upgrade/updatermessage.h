// The upgrade question: the news of the new version and the choice between upgrading now and
// later. At most one exists; it frees itself when it closes.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QWidget;

namespace kestrel {

class TUpdaterMessageForm : public QDialog {
    Q_OBJECT
public:
    // The open question, or nullptr.
    static TUpdaterMessageForm* Instance();
    // The open question, or a new one.
    static TUpdaterMessageForm* Create();
    ~TUpdaterMessageForm() override;

    QLabel* Image1 = nullptr;
    QLabel* lblMessage = nullptr;
    QWidget* pnlButtons = nullptr;
    QPushButton* btnYes = nullptr;
    QPushButton* btnLater = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TUpdaterMessageForm();
};

}  // namespace kestrel
