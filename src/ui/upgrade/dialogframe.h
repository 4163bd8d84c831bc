// What the three upgrade dialogs share: a fixed dialog frame of a given client size, centred on
// the screen, in the window font.
#pragma once

#include <QIcon>

class QDialog;
class QLabel;
class QWidget;

namespace kestrel {

void SetUpFixedDialog(QDialog* dialog, int clientWidth, int clientHeight);

// A 32 by 32 picture of the icon at (x, y).
QLabel* IconLabel(QWidget* parent, const QIcon& icon, int x, int y);

// Centres the dialog on its screen.
void CentreOnScreen(QDialog* dialog);

}  // namespace kestrel
