#pragma once

#include "platform/Platform.h"

#include <QMainWindow>
#include <functional>

namespace qv {

class Screens;
class DataControl;

// The base of every screen: its load, activation and unload handlers, and the way its
// handlers are run so that a failure nobody answers ends the program in order.
class Screen : public QMainWindow {
    Q_OBJECT
public:
    Screen(Screens& screens, const QString& name);
    ~Screen() override;

    Screens& screens() const { return screens_; }
    Platform& platform() const;

    // Run by the registry: once after creation (hidden), on every activation of the screen
    // within the program, and when its window is closed by the user.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    // Closing the window. The default hides the screen and shows the start screen, after
    // which the screen is unloaded (search, list, notes, agenda).
    virtual void Form_Unload();

    // The data controls the registry closes (writing pending edits) when it unloads the screen.
    virtual std::vector<DataControl*> dataControls() { return {}; }
    // Run by the end of the program before the data controls close: writes what the screen
    // keeps outside them (the box being edited). `quiet`: no box may be shown any more.
    virtual void writePending(bool quiet) { Q_UNUSED(quiet); }

    // Runs a handler; a failure that escapes it is shown and ends the program in order.
    void guard(const std::function<void()>& handler);

    // Connects a signal to a handler of this screen, run through guard().
    template <class Sender, class Signal, class Handler>
    void on(Sender* sender, Signal signal, Handler handler) {
        QObject::connect(sender, signal, this, [this, handler] { guard(handler); });
    }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Screens& screens_;
};

// Gives a widget its objectName and the name a screen reader speaks.
template <class W> W* named(W* widget, const QString& objectName, const QString& accessibleName) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}

} // namespace qv
