#include "ui/appcontrol.h"

#include <QApplication>
#include <QWidget>

namespace kestrel {

void CloseApplication() {
    // Found by class name, so that this layer needs nothing of the main window's unit.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->inherits("kestrel::TMainForm")) {
            window->close();
            break;
        }
    }
    QCoreApplication::quit();
}

}  // namespace kestrel
