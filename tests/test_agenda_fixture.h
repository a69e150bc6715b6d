// The agenda over a real database in a temporary program folder, driven as a user would.
#pragma once

#include "agenda/DayFile.h"
#include "agenda/FormAgend.h"
#include "app/Screens.h"
#include "app/frmInizio.h"
#include "platform/Dates.h"
#include "tests/support/Files.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"
#include "tests/support/Text.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

namespace qv::test {

class AgendaTest : public ScreensTest {
protected:
    static constexpr FormAgend::Column Time = FormAgend::Column::Time;
    static constexpr FormAgend::Column Name = FormAgend::Column::Name;
    static constexpr FormAgend::Column Note = FormAgend::Column::Note;

    void SetUp() override { fp.clock.set(QDate(2004, 12, 6)); } // a Monday

    FormAgend& agenda() { return screens.agend(); }

    // The start screen's way in: the agenda shown and activated.
    FormAgend& open() {
        screens.show(agenda());
        QApplication::processEvents();
        return agenda();
    }

    QLineEdit* box(int slot, FormAgend::Column column) {
        return agenda().Text(FormAgend::TextIndex(slot, column));
    }
    QString title() { return agenda().Label1->text(); }

    // Clicks into a box, puts the caret at its end and types.
    void typeInto(QLineEdit* target, const QString& text) {
        QTest::mouseClick(target, Qt::LeftButton);
        EXPECT_TRUE(target->hasFocus()) << target->objectName().toStdString();
        target->end(false);
        typeText(target, text);
    }
    // Leaves the box that has the focus with the Tab key.
    void leave() {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(nullptr, focused);
        QTest::keyClick(focused, Qt::Key_Tab);
        EXPECT_NE(focused, QApplication::focusWidget());
    }

    QString dayPath(const QDate& date) const {
        return dayfile::filePath(fp.platform.folder, dates::longDate(date));
    }
    QByteArray dayBytes(const QDate& date) const { return readFile(dayPath(date)); }
    QStringList dayValues(const QDate& date) const { return dayfile::decode(dayBytes(date)); }
    void writeDay(const QDate& date, const QByteArray& bytes) {
        dayfile::ensureFolder(fp.platform.folder);
        ASSERT_TRUE(writeFile(dayPath(date), bytes));
    }

    // A slot time as the weekday row holds it.
    std::string rowTime(const char* weekday, int slot) const {
        const std::string sql =
            "SELECT \"" + std::to_string(slot) + "\" FROM Agenda WHERE giorno = '" + weekday + "'";
        return queryText(fp.dbPath(), sql.c_str());
    }

    // All 124 texts of the sheet, in index order.
    QStringList sheet() {
        QStringList texts;
        for (int i = 0; i < FormAgend::kTextCount; ++i)
            texts << agenda().Text(i)->text();
        return texts;
    }
};

} // namespace qv::test
