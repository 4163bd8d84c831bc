// The about box: program icon, name, the maker's web address, version and date.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace kestrel {

inline constexpr const char* kMakerWebAddress = "https://kestrel.example.org/";

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    // openUrl opens the web address with the desktop's default handler.
    explicit TAboutForm(std::function<void(const QString&)> openUrl, QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* btnOK = nullptr;

    void Label4Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString&)> openUrl_;
};

}  // namespace kestrel
