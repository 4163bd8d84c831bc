// The login for a password-protected download on the upgrade server. At most one exists; it frees
// itself when it closes.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrel {

class TUpdaterPasswordForm : public QDialog {
    Q_OBJECT
public:
    static TUpdaterPasswordForm* Instance();
    static TUpdaterPasswordForm* Create();
    ~TUpdaterPasswordForm() override;

    QLabel* Image1 = nullptr;
    QLabel* lblText = nullptr;
    QWidget* pnlBottom = nullptr;
    QLabel* lblUser = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPassword = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // Called by the OK button before the dialog closes, with what was typed.
    std::function<void(const QString& user, const QString& password)> OnConfirm;

private:
    TUpdaterPasswordForm();
    void btnOKClick();
};

}  // namespace kestrel
