#include "platform/Busy.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace qv {

namespace {
// A window that would be gone again at once is not worth showing.
constexpr qint64 kMomentMs = 400;
constexpr double kNearlyDone = 0.8;
constexpr qint64 kPaintEveryMs = 50;
} // namespace

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

QtProgressWindow::QtProgressWindow(std::function<qint64()> elapsed) : elapsed_(std::move(elapsed)) {
    if (!elapsed_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        elapsed_ = [timer] { return timer->elapsed(); };
    }
}

QtProgressWindow::~QtProgressWindow() = default;

void QtProgressWindow::begin(const QString& what) {
    end();
    what_ = what;
    began_ = elapsed_();
}

void QtProgressWindow::progress(double done) {
    const qint64 now = elapsed_();
    if (!window_) {
        if (what_.isEmpty() || now - began_ < kMomentMs || done >= kNearlyDone)
            return;
        window_ =
            std::make_unique<QWidget>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        window_->setObjectName(QStringLiteral("Avanzamento"));
        window_->setWindowTitle(kProgramTitle);
        window_->setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(window_.get());
        auto* label = new QLabel(what_, window_.get());
        label->setWordWrap(true);
        label->setMinimumWidth(360);
        bar_ = new QProgressBar(window_.get());
        bar_->setRange(0, 100);
        bar_->setAccessibleName(what_);
        layout->addWidget(label);
        layout->addWidget(bar_);
        window_->show();
        painted_ = now - kPaintEveryMs;
    }
    bar_->setValue(int(std::clamp(done, 0.0, 1.0) * 100));
    if (now - painted_ >= kPaintEveryMs) {
        painted_ = now;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void QtProgressWindow::end() {
    window_.reset();
    bar_ = nullptr;
    what_.clear();
}

QWidget* QtProgressWindow::window() const {
    return window_.get();
}

BusyCursor& qtBusyCursor() {
    static QtBusyCursor cursor;
    return cursor;
}

ProgressWindow& qtProgressWindow() {
    static QtProgressWindow window;
    return window;
}

} // namespace qv
