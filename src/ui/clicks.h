// A click on a widget that is not a button: the left button pressed on it and let go over it.
// Qt sends the release to the pressed widget wherever the mouse is let go, so a press dragged
// off the widget also ends in a release there.
#pragma once

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace kestrel {

inline bool IsClickRelease(const QWidget* widget, const QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    return mouse->button() == Qt::LeftButton &&
           widget->rect().contains(mouse->position().toPoint());
}

}  // namespace kestrel
