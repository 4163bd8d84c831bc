// Where the main window opens: at the corner stored in the settings file, else near the panel;
// and the corner stored again when the window goes.
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>

#include "platform/windowservices.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "ui/errorreport.h"
#include "ui/mainwindow/mainform.h"

namespace kestrel {

void TMainForm::PlaceWindow() {
    const TIniFile ini = TIniFile::Snapshot(Files.IniPath);
    const int posX = ReadInteger(ini, keys::PosX);
    const int posY = ReadInteger(ini, keys::PosY);
    const bool top = ReadBoolean(ini, keys::Top);
    mnAlwaysOnTop->setChecked(top);
    if (top)
        SetStaysOnTop(true);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = services_.Window ? services_.Window->ScreenRect(screen)
                                              : (screen ? screen->geometry() : QRect());
    placeByRule_ = posX < 0 || posX > screenRect.width() || posY < 0 || posY > screenRect.height();
    placedAt_ = QPoint(posX, posY);
    ApplyPlacement();
    placementPending_ = true;
}

void TMainForm::ApplyPlacement() {
    const QMargins frame = services_.Window ? services_.Window->FrameMargins(this) : QMargins();
    if (placeByRule_) {
        // Near the panel's corner: 20 pixels above it and 50 to the left of it.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect screenRect = services_.Window ? services_.Window->ScreenRect(screen)
                                                  : (screen ? screen->geometry() : QRect());
        const QRect taskbar = services_.Window ? services_.Window->TaskbarRect(screen) : QRect();
        const int refTop = taskbar.top() < 100 ? screenRect.height() : taskbar.top();
        const int refLeft = taskbar.left() < 100 ? screenRect.width() : taskbar.left();
        const int outerHeight = height() + frame.top() + frame.bottom();
        const int outerWidth = width() + frame.left() + frame.right();
        int windowTop = refTop - outerHeight - 20;
        int windowLeft = refLeft - outerWidth - 50;
        if (windowLeft < 0)
            windowLeft = 100;
        if (windowTop < 0)
            windowTop = 100;
        placedAt_ = QPoint(windowLeft, windowTop);
    }
    // placedAt_ is the frame's corner; the geometry is the client area inside the frame, which
    // does not depend on when the window manager reports its frame.
    setGeometry(QRect(placedAt_ + QPoint(frame.left(), frame.top()), size()));
}

// A window dragged by its title bar is moved by the window manager, and no press reaches us;
// taking on its frame moves a window by no more than the frame itself.
bool TMainForm::MovedSincePlaced() const {
    constexpr int kSlack = 4;
    const QMargins frame = services_.Window ? services_.Window->FrameMargins(this) : QMargins();
    const QPoint shift = pos() - placedAt_;
    return std::abs(shift.x()) > frame.left() + frame.right() + kSlack ||
           std::abs(shift.y()) > frame.top() + frame.bottom() + kSlack;
}

void TMainForm::SaveWindowPosition() {
    try {
        // The keys go in one replacement of the file, so that a program killed meanwhile leaves
        // the old corner or the new one, never half of each.
        TIniFile ini(Files.IniPath);
        TIniEdit edit(ini);
        WriteBoolean(edit, keys::Top, mnAlwaysOnTop->isChecked());
        if (PositionMeaningful) {
            WriteInteger(edit, keys::PosX, pos().x());
            WriteInteger(edit, keys::PosY, pos().y());
        }
        edit.Commit();
    } catch (const WriteError& e) {
        // Saved on every move: a read-only folder is told once, not at each step of a drag.
        ReportErrorOnce(QString::fromUtf8(e.what()));
    }
}

}  // namespace kestrel
