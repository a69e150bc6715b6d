#pragma once

// The platform's doubles that need no test framework: the tests' FakePlatform and the
// benchmarks both use them.
#include "app/WorkShown.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QImage>
#include <QStringList>
#include <vector>

namespace qv::test {

// A clock that stands still where it is set: 6 December 2004, 10:00, a Monday, unless set.
class FakeClock : public Clock {
public:
    QDate today() const override { return now_.date(); }
    QDateTime now() const override { return now_; }
    void set(const QDate& date, const QTime& time = QTime(10, 0)) { now_ = QDateTime(date, time); }

private:
    QDateTime now_{QDate(2004, 12, 6), QTime(10, 0)};
};

class FakeProgramEnd : public ProgramEnd {
public:
    void end() override { ++count_; }
    bool ended() const override { return count_ > 0; }
    int count() const { return count_; }

private:
    int count_ = 0;
};

// Cancels the dialog, or "prints" to a PDF file when a file name is set.
class FakePrinter : public Printer {
public:
    bool ShowPrinter(QWidget* parent) override;
    void PaintPicture(const QImage& image) override;
    void EndDoc() override;

    void cancelNext(bool cancel) { cancel_ = cancel; }
    void printToFile(const QString& pdfPath) { pdfPath_ = pdfPath; }
    int dialogsShown() const { return dialogs_; }
    int pagesEnded() const { return ended_; }
    const std::vector<QImage>& images() const { return images_; }

private:
    bool cancel_ = false;
    QString pdfPath_;
    int dialogs_ = 0;
    int ended_ = 0;
    std::vector<QImage> images_;
};

// The busy cursor: whether it is on, and how many times it was put on.
class FakeBusyCursor : public BusyCursor {
public:
    void show() override {
        on = true;
        ++shows;
    }
    void hide() override { on = false; }
    bool on = false;
    int shows = 0;
};

// Records what a progress window would show: its title, each text and count, whether it is
// open and how many times it was opened.
class FakeProgress : public Progress {
public:
    void begin(const QString& windowTitle, const QString& text) override {
        title = windowTitle;
        texts << text;
        open = true;
        ++begins;
    }
    void step(const QString& text, qint64 done, qint64 steps) override {
        texts << text;
        counts.push_back(done);
        total = steps;
    }
    void end() override { open = false; }

    QString title;
    QStringList texts;
    std::vector<qint64> counts;
    qint64 total = 0;
    bool open = false;
    int begins = 0;
};

// A message box nobody looks at: every box is answered Ok and its prompt kept; with `echo`
// the prompt is printed too, so that a benchmark's output shows a box it did not expect.
class QuietMessageBox : public MessageBox {
public:
    MsgAnswer show(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                   MsgAnswer defaultAnswer) override;

    bool echo = false;
    QStringList prompts;
};

// The doubles over a given program folder, for a run that nobody watches: boxes answered Ok,
// a clock standing at `now`, every print dialog cancelled, the busy cursor and the progress
// window only recorded.
class QuietPlatform {
public:
    explicit QuietPlatform(const QString& folder,
                           const QDateTime& now = QDateTime(QDate(2004, 12, 6), QTime(10, 0)));

    QuietMessageBox msg;
    FakeClock clock;
    FakeProgramEnd end;
    FakePrinter printer;
    FakeProgress progress;
    FakeBusyCursor busy;
    Platform platform;
    // Told of the store's work, as in the program (on the real clock).
    WorkShown work;
};

} // namespace qv::test
