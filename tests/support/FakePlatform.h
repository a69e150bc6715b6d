#pragma once

#include "platform/Platform.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace qv::test {

// One box the program showed.
struct ShownBox {
    QString prompt;
    MsgButtons buttons;
    MsgIcon icon;
    QString title; // as shown: the program's title when the box has none
    MsgAnswer defaultAnswer;
};

// One box a test expects, with the answer to give. Unset fields are not checked.
struct ExpectedBox {
    std::optional<QString> prompt;
    std::optional<QString> title;
    std::optional<MsgIcon> icon;
    std::optional<MsgButtons> buttons;
    MsgAnswer answer = MsgAnswer::Ok;
    // Run while the box is "open" (for example to look at the screens behind it).
    std::function<void()> whileOpen;
};

// Records every box and answers from a script; a box the script did not expect fails the test.
class FakeMessageBox : public MessageBox {
public:
    MsgAnswer show(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                   MsgAnswer defaultAnswer) override;

    void expect(ExpectedBox box) { script_.push_back(std::move(box)); }
    // Shorthand: a box with exactly this prompt, answered with `answer`.
    void expect(const QString& prompt, MsgAnswer answer = MsgAnswer::Ok);

    const std::vector<ShownBox>& shown() const { return shown_; }
    bool scriptDone() const { return script_.empty(); }
    void clear() {
        shown_.clear();
        script_.clear();
    }

private:
    std::deque<ExpectedBox> script_;
    std::vector<ShownBox> shown_;
};

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

// The doubles together with a temporary program folder.
class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();

    FakeMessageBox msg;
    FakeClock clock;
    FakeProgramEnd end;
    FakePrinter printer;
    QTemporaryDir dir;
    Platform platform{msg, clock, end, printer, QString()};

    QString dbPath() const { return platform.path(QStringLiteral("quorvane.mdb")); }
};

// Types text into a widget as a user would, non-ASCII letters included.
void typeText(class QWidget* widget, const QString& text);

} // namespace qv::test
