#include "platform/Progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <climits>

namespace qv {

QtProgress::QtProgress() = default;
QtProgress::~QtProgress() = default;

void QtProgress::begin(const QString& title, const QString& text) {
    window_ = std::make_unique<QWidget>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window_->setWindowTitle(title);
    window_->setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(window_.get());
    label_ = new QLabel(text, window_.get());
    label_->setWordWrap(true);
    label_->setMinimumWidth(360);
    bar_ = new QProgressBar(window_.get());
    bar_->setRange(0, 0); // busy until the first step says how much there is
    bar_->setAccessibleName(text);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    window_->show();
    paint(true);
}

void QtProgress::step(const QString& text, qint64 done, qint64 total) {
    if (!window_)
        return;
    label_->setText(text);
    bar_->setAccessibleName(text);
    bar_->setRange(0, int(std::clamp<qint64>(total, 1, INT_MAX)));
    bar_->setValue(int(std::clamp<qint64>(done, 0, bar_->maximum())));
    paint(false);
}

void QtProgress::paint(bool always) {
    constexpr qint64 kPaintEveryMs = 50;
    if (!always && painted_.isValid() && painted_.elapsed() < kPaintEveryMs)
        return;
    painted_.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtProgress::end() {
    window_.reset();
    label_ = nullptr;
    bar_ = nullptr;
}

} // namespace qv
