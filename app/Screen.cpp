#include "app/Screen.h"

#include "app/Screens.h"
#include "app/WorkShown.h"
#include "app/frmInizio.h"

#include <QCloseEvent>
#include <QEvent>

namespace qv {

Screen::Screen(Screens& screens, const QString& name) : screens_(screens) {
    // The code name is for the program; a screen reader speaks the window's caption, which
    // is what a window without an accessible name of its own is called.
    setObjectName(name);
}

Screen::~Screen() = default;

Platform& Screen::platform() const {
    return screens_.platform();
}

void Screen::Form_Unload() {
    Screens& all = screens_;
    all.hide(*this);
    all.show(all.inizio());
    all.unload(*this);
}

void Screen::guard(const std::function<void()>& handler) {
    WorkShown::actionBegins();
    screens_.guard(handler);
}

bool Screen::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && isVisible() && !screens_.ending())
        screens_.activated(*this);
    return QMainWindow::event(event);
}

void Screen::closeEvent(QCloseEvent* event) {
    // The screen decides what closing its window means; Qt must not hide it on its own.
    event->ignore();
    guard([this] { Form_Unload(); });
}

} // namespace qv
