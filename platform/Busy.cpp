#include "platform/Busy.h"

#include <QCursor>
#include <QGuiApplication>

namespace qv {

QtBusyCursor::~QtBusyCursor() {
    hide();
}

void QtBusyCursor::show() {
    if (shown_)
        return;
    shown_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The window system gets it now, not when the program is back in its event loop.
    QGuiApplication::sync();
}

void QtBusyCursor::hide() {
    if (!shown_)
        return;
    shown_ = false;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace qv
