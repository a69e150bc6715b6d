#include "tests/support/FakePlatform.h"

#include "store/Database.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace qv::test {

namespace {
const char* iconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None:
        return "none";
    case MsgIcon::Exclamation:
        return "exclamation";
    case MsgIcon::Information:
        return "information";
    case MsgIcon::Critical:
        return "critical";
    }
    return "?";
}
} // namespace

MsgAnswer FakeMessageBox::show(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                               MsgAnswer defaultAnswer) {
    const QString shownTitle = title.isEmpty() ? kProgramTitle : title;
    shown_.push_back({prompt, buttons, icon, shownTitle, defaultAnswer});
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected message box: \"" << prompt.toStdString() << "\" title \""
                      << shownTitle.toStdString() << "\" icon " << iconName(icon);
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
    ExpectedBox expected = std::move(script_.front());
    script_.pop_front();
    if (expected.prompt) {
        EXPECT_EQ(expected.prompt->toStdString(), prompt.toStdString());
    }
    if (expected.title) {
        EXPECT_EQ(expected.title->toStdString(), shownTitle.toStdString()) << "box: " << prompt.toStdString();
    }
    if (expected.icon) {
        EXPECT_STREQ(iconName(*expected.icon), iconName(icon)) << "box: " << prompt.toStdString();
    }
    if (expected.buttons) {
        EXPECT_EQ(int(*expected.buttons), int(buttons)) << "box: " << prompt.toStdString();
    }
    if (expected.whileOpen)
        expected.whileOpen();
    return expected.answer;
}

void FakeMessageBox::expect(const QString& prompt, MsgAnswer answer) {
    ExpectedBox box;
    box.prompt = prompt;
    box.answer = answer;
    script_.push_back(std::move(box));
}

FakePlatform::FakePlatform() {
    platform.folder = dir.path();
}
FakePlatform::~FakePlatform() = default;

ArchiveFolder::ArchiveFolder() {
    Database::create(dbPath());
}

void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 128)
            QTest::keyClicks(widget, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

} // namespace qv::test
