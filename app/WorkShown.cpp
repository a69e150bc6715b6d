#include "app/WorkShown.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace qv {

namespace {
constexpr qint64 kBusyAfterMs = 100;
// A progress window that would be gone again at once is not worth showing: it comes when the
// work has gone on for a moment and is not nearly done.
constexpr qint64 kWindowAfterMs = 400;
constexpr double kNearlyDone = 0.8;
constexpr qint64 kSteps = 100;
} // namespace

WorkShown* WorkShown::current_ = nullptr;

WorkShown::WorkShown(Platform& platform, std::function<qint64()> elapsed)
    : before_(current_), observerBefore_(work::observe(this)), platform_(platform),
      elapsed_(std::move(elapsed)) {
    if (!elapsed_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        elapsed_ = [timer] { return timer->elapsed(); };
    }
    current_ = this;
}

WorkShown::~WorkShown() {
    if (shown_)
        platform_.busy.hide();
    work::observe(observerBefore_);
    current_ = before_;
}

void WorkShown::actionBegins() {
    if (current_ && !current_->inAction_)
        current_->begin();
}

// An action runs until the program is back in an event loop, which runs the zero timer.
void WorkShown::begin() {
    inAction_ = true;
    began_ = elapsed_();
    if (QCoreApplication::instance())
        QTimer::singleShot(0, this, [this] { actionEnds(); });
}

void WorkShown::actionEnds() {
    if (tasks_ > 0) {
        // A progress window paints itself while the work goes on: the action is not over.
        endAfterTask_ = true;
        return;
    }
    inAction_ = false;
    if (shown_) {
        shown_ = false;
        platform_.busy.hide();
    }
}

void WorkShown::working() {
    if (!inAction_)
        begin();
    if (!shown_ && elapsed_() - began_ >= kBusyAfterMs) {
        shown_ = true;
        platform_.busy.show();
    }
}

void WorkShown::taskBegins(const QString& what) {
    if (!inAction_)
        begin();
    ++tasks_;
    if (!shown_) {
        shown_ = true;
        platform_.busy.show();
    }
    task_ = what;
    taskBegan_ = elapsed_();
    windowOpen_ = false;
}

void WorkShown::taskProgress(double done) {
    if (!windowOpen_) {
        if (task_.isEmpty() || elapsed_() - taskBegan_ < kWindowAfterMs || done >= kNearlyDone)
            return;
        windowOpen_ = true;
        platform_.progress.begin(kProgramTitle, task_);
    }
    platform_.progress.step(task_, qint64(std::clamp(done, 0.0, 1.0) * kSteps), kSteps);
}

void WorkShown::taskEnds() {
    if (windowOpen_) {
        windowOpen_ = false;
        platform_.progress.end();
    }
    task_.clear();
    if (tasks_ > 0)
        --tasks_;
    if (tasks_ == 0 && endAfterTask_) {
        endAfterTask_ = false;
        QTimer::singleShot(0, this, [this] { actionEnds(); });
    }
}

} // namespace qv
