#include "platform/windowservices.h"

namespace kestrel {

IWindowServices::~IWindowServices() = default;

QRect TaskbarFromGeometry(const QRect& full, const QRect& free) {
    // The reserved area is one strip per panel; with panels on several edges the largest is
    // taken as the taskbar.
    const QRect strips[] = {
        QRect(QPoint(full.left(), full.top()), QPoint(full.right(), free.top() - 1)),
        QRect(QPoint(full.left(), free.bottom() + 1), QPoint(full.right(), full.bottom())),
        QRect(QPoint(full.left(), full.top()), QPoint(free.left() - 1, full.bottom())),
        QRect(QPoint(free.right() + 1, full.top()), QPoint(full.right(), full.bottom())),
    };
    QRect taskbar;
    for (const QRect& strip : strips) {
        if (strip.isValid() && strip.width() * strip.height() > taskbar.width() * taskbar.height())
            taskbar = strip;
    }
    return taskbar.isValid() ? taskbar : QRect();
}

}  // namespace kestrel
