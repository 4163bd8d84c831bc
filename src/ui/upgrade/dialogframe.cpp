#include "ui/upgrade/dialogframe.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "platform/fonts.h"

namespace kestrel {

void SetUpFixedDialog(QDialog* dialog, int clientWidth, int clientHeight) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // A dialog frame: a title and a close button, no minimising, maximising or resizing.
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint);
    dialog->setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    QFont font = dialog->font();
    font.setFamily(WindowFontFamily());
    font.setPixelSize(12);
    dialog->setFont(font);
    dialog->setFixedSize(clientWidth, clientHeight);
}

QLabel* IconLabel(QWidget* parent, const QIcon& icon, int x, int y) {
    auto* label = new QLabel(parent);
    label->setPixmap(icon.pixmap(32, 32));
    label->setGeometry(x, y, 32, 32);
    return label;
}

void CentreOnScreen(QDialog* dialog) {
    const QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), dialog->size());
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

}  // namespace kestrel
