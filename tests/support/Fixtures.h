#pragma once

// The fixtures most tests start from: a temporary program folder, the same with a new archive
// in it, and the same with the program's screens over it. Patients go in with execSql or
// insertRows (tests/support/Sql.h), as another program would put them there.
#include "app/Screens.h"
#include "card/frmScheda.h"
#include "tests/support/FakePlatform.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace qv::test {

// A temporary program folder with the platform's doubles over it; no archive yet.
class FolderTest : public ::testing::Test {
protected:
    // Where the archive goes.
    QString path() const { return fp.dbPath(); }

    FakePlatform fp;
};

// A temporary program folder holding a new, empty archive.
class ArchiveTest : public ::testing::Test {
protected:
    QString path() const { return fp.dbPath(); }

    ArchiveFolder fp;
};

// The program's screens over a new, empty archive; none is loaded yet.
class ScreensTest : public ArchiveTest {
protected:
    frmScheda& card() { return screens.scheda(); }

    // Shows the card on a patient the way the search and the list do.
    void openCardOn(const QString& id) {
        RecordSet& records = card().Data1.Recordset();
        records.setIndex(QStringLiteral("PrimaryKey"));
        records.Seek(QStringLiteral("="), id);
        screens.show(card());
        QApplication::processEvents();
    }
    void openCardOn(int id) { openCardOn(QString::number(id)); }

    Screens screens{fp.platform};
};

} // namespace qv::test
