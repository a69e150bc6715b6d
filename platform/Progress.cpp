#include "platform/Progress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>
#include <climits>

namespace qv {

QtProgress::QtProgress() = default;
QtProgress::~QtProgress() = default;

void QtProgress::begin(const QString& title, const QString& text) {
    dialog_ = std::make_unique<QProgressDialog>();
    dialog_->setWindowTitle(title);
    dialog_->setLabelText(text);
    dialog_->setCancelButton(nullptr);
    dialog_->setWindowFlags(dialog_->windowFlags() & ~Qt::WindowCloseButtonHint);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setRange(0, 0); // busy until the first step says how much there is
    dialog_->show();
    paint(true);
}

void QtProgress::step(const QString& text, qint64 done, qint64 total) {
    if (!dialog_)
        return;
    dialog_->setLabelText(text);
    dialog_->setRange(0, int(std::clamp<qint64>(total, 1, INT_MAX)));
    dialog_->setValue(int(std::clamp<qint64>(done, 0, dialog_->maximum())));
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
    dialog_.reset();
}

} // namespace qv
