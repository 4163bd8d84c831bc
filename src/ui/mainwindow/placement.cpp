// Where the main window opens: at the corner stored in the settings file, else near the panel;
// how it stays on the screens as it grows and they change; and the corner stored again when the
// window goes.
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
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

    // A corner stored on a screen that is gone (or never was) is no place to open at.
    placedAt_ = QPoint(posX, posY);
    placeByRule_ = true;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect screenRect =
            services_.Window ? services_.Window->ScreenRect(screen) : screen->geometry();
        if (screenRect.contains(placedAt_))
            placeByRule_ = false;
    }
    ApplyPlacement();
    placementPending_ = true;

    // A screen unplugged or set to another resolution may leave the window off the screens.
    const auto keep = [this] { KeepOnScreen(); };
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &TMainForm::WatchScreen);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, keep, Qt::QueuedConnection);
    for (QScreen* screen : QGuiApplication::screens())
        WatchScreen(screen);
}

void TMainForm::WatchScreen(QScreen* screen) {
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { KeepOnScreen(); });
}

QRect TMainForm::OuterRect() const {
    const QMargins frame = services_.Window ? services_.Window->FrameMargins(this) : QMargins();
    return QRect(geometry().topLeft() - QPoint(frame.left(), frame.top()), size().grownBy(frame));
}

QRect TMainForm::WorkArea(const QRect& outer) const {
    QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestOverlap = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = outer.intersected(
            services_.Window ? services_.Window->ScreenRect(screen) : screen->geometry());
        const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (overlap > bestOverlap) {
            best = screen;
            bestOverlap = overlap;
        }
    }
    if (!best)
        return QRect();
    if (!services_.Window)
        return best->availableGeometry();
    QRect area = services_.Window->ScreenRect(best);
    const QRect panel = services_.Window->TaskbarRect(best).intersected(area);
    if (panel.isEmpty())
        return area;
    // The panel is a strip along one edge: the area is what lies beside it.
    if (panel.width() >= area.width()) {
        if (panel.top() <= area.top())
            area.setTop(panel.bottom() + 1);
        else
            area.setBottom(panel.top() - 1);
    } else if (panel.height() >= area.height()) {
        if (panel.left() <= area.left())
            area.setLeft(panel.right() + 1);
        else
            area.setRight(panel.left() - 1);
    }
    return area;
}

void TMainForm::KeepOnScreen(const QRect& before) {
    if (!PositionMeaningful || services_.LayerSurface)
        return;
    QRect outer = OuterRect();
    if (before.isValid()) {
        const QRect area = WorkArea(before);
        if (before.center().x() > area.center().x())
            outer.moveRight(before.right());
        else
            outer.moveLeft(before.left());
        if (before.center().y() > area.center().y())
            outer.moveBottom(before.bottom());
        else
            outer.moveTop(before.top());
    }
    const QRect area = WorkArea(outer);
    if (area.isEmpty())
        return;
    // Too big for the area: its top-left part shows, where the names and the time are.
    outer.moveLeft(std::max(area.left(), std::min(outer.left(), area.right() + 1 - outer.width())));
    outer.moveTop(std::max(area.top(), std::min(outer.top(), area.bottom() + 1 - outer.height())));
    if (outer == OuterRect())
        return;
    const QMargins frame = services_.Window ? services_.Window->FrameMargins(this) : QMargins();
    placedAt_ = outer.topLeft();
    setGeometry(QRect(placedAt_ + QPoint(frame.left(), frame.top()), size()));
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
