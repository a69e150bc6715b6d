#pragma once

#include "platform/Platform.h"
#include "store/Work.h"

#include <QObject>
#include <functional>

namespace qv {

// Shows the user that the program is working: the busy cursor once an action has gone on
// for a tenth of a second, and a progress window for the store's long pieces of work. An
// action lasts until the program is back in an event loop (its own, or a message box's): then
// the cursor goes and the next work is timed afresh.
//
// While it lives it is told of the store's work (see store/Work.h); the screens tell it when
// a handler begins (Screen::guard).
class WorkShown : public QObject, public work::Observer {
public:
    // `elapsed` gives milliseconds since a start of its own (a monotonic clock unless a test
    // gives another).
    explicit WorkShown(Platform& platform, std::function<qint64()> elapsed = {});
    ~WorkShown() override;

    // A handler of the user's action begins: its time counts from now.
    static void actionBegins();

    void working() override;
    void taskBegins(const QString& what) override;
    void taskProgress(double done) override;
    void taskEnds() override;

private:
    void begin();
    void actionEnds();

    static WorkShown* current_;
    WorkShown* before_;
    work::Observer* observerBefore_;
    Platform& platform_;
    std::function<qint64()> elapsed_;
    bool inAction_ = false;
    qint64 began_ = 0;
    bool shown_ = false;
    int tasks_ = 0;
    QString task_;
    qint64 taskBegan_ = 0;
    bool windowOpen_ = false;
    bool endAfterTask_ = false;
};

} // namespace qv
