#pragma once

#include "platform/Clock.h"
#include "platform/Printer.h"
#include "platform/ProgramEnd.h"

#include <QDateTime>

namespace qv::bench {

// The platform's parts a benchmark needs but never looks at: a fixed day, an end that is
// only noted, a printer whose dialog is always cancelled.
class FixedClock : public Clock {
public:
    explicit FixedClock(const QDate& day) : day_(day) {}
    QDate today() const override { return day_; }
    QDateTime now() const override { return QDateTime(day_, QTime(8, 0)); }

private:
    QDate day_;
};

class NoEnd : public ProgramEnd {
public:
    void end() override { ended_ = true; }
    bool ended() const override { return ended_; }

private:
    bool ended_ = false;
};

class NoPrinter : public Printer {
public:
    bool ShowPrinter(QWidget*) override { return false; }
    void PaintPicture(const QImage&) override {}
    void EndDoc() override {}
};

} // namespace qv::bench
