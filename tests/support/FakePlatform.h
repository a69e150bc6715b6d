#pragma once

#include "platform/Platform.h"
#include "tests/support/Doubles.h"

#include <QTemporaryDir>
#include <deque>
#include <functional>
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

// One box a test expects, with the answer to give. Unset fields are not checked; a test names
// the ones it sets: fp.msg.expect({.prompt = ..., .icon = MsgIcon::Critical}).
struct ExpectedBox {
    std::optional<QString> prompt{};
    std::optional<QString> title{};
    std::optional<MsgIcon> icon{};
    std::optional<MsgButtons> buttons{};
    MsgAnswer answer = MsgAnswer::Ok;
    // Run while the box is "open" (for example to look at the screens behind it).
    std::function<void()> whileOpen{};
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

// The doubles together with a temporary program folder.
class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();

    FakeMessageBox msg;
    FakeClock clock;
    FakeProgramEnd end;
    FakePrinter printer;
    FakeProgress progress;
    FakeBusyCursor busy;
    QTemporaryDir dir;
    Platform platform{msg, clock, end, printer, progress, busy, QString()};
    // The clock the busy cursor is timed by, in milliseconds: it stands still unless a test
    // moves it, or makes it move by `workStepMs` at every look (as work goes on).
    qint64 workMs = 0;
    qint64 workStepMs = 0;
    WorkShown work{platform, [this] { return workMs += workStepMs; }};

    QString dbPath() const { return platform.archivePath(); }
};

// The same over a program folder that holds a new, empty archive.
class ArchiveFolder : public FakePlatform {
public:
    ArchiveFolder();
};

// Types text into a widget as a user would, non-ASCII letters included.
void typeText(class QWidget* widget, const QString& text);

} // namespace qv::test
