// Damage the engine finds in the archive while the program works on it (a bad sector, a copy cut
// short): nothing more is written to the file, and the newest sound backup is offered in the
// same run, as for damage found at opening.
#include "app/Backup.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "platform/Candy.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/Files.h"
#include "tests/support/Sql.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const QString kReminder = QStringLiteral("Devi aprire la scheda relativa a:   \r\nMario\r\nRossi\r\n\r\n");
const QString kKept = QStringLiteral("/quorvane.mdb.danneggiato-2004-12-06-100000");

// Two patients, Rossi overdue since 1 December, in today's backup; a third added after it.
class DamageFound : public ::testing::Test {
protected:
    void SetUp() override {
        {
            Session first;
            ASSERT_TRUE(openSession(fp.platform, first));
        }
        execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome, Nome, \"Data richiamo\") VALUES"
                             " (1, 'Rossi', 'Mario', '01/12/2004'), (2, 'Bianchi', 'Anna', NULL)");
        DailyBackup backup(fp.platform);
        backup.start();
        backup.waitForEnd();
        ASSERT_EQ(DailyBackup::Outcome::Made, backup.outcome());
        // Long notes: their pages are read only when the whole row is.
        execSql(fp.dbPath(),
                QStringLiteral("INSERT INTO Pazienti (ID, Cognome, Note) VALUES (3, 'Verdi', '%1')")
                    .arg(QString(40000, QLatin1Char('n'))));
        pageSize = std::stoi(queryText(fp.dbPath(), "PRAGMA page_size"));
    }

    // The offer, answered Yes, with every screen already closed.
    void expectOfferAnsweredYes() {
        ExpectedBox offer;
        offer.title = QStringLiteral("Quorvane");
        offer.icon = MsgIcon::Exclamation;
        offer.buttons = MsgButtons::YesNo;
        offer.answer = MsgAnswer::Yes;
        offer.whileOpen = [this] { EXPECT_TRUE(screens.loadOrder().isEmpty()); };
        fp.msg.expect(offer);
    }

    // The program started again on the backup: the reminder named Rossi, the start screen is
    // shown, the card reads the backup's two patients, the damaged file is kept beside it.
    void expectRunningOnTheBackup(const QByteArray& damaged) {
        EXPECT_TRUE(fp.msg.scriptDone());
        ASSERT_LE(2u, fp.msg.shown().size());
        const QString offer = fp.msg.shown()[fp.msg.shown().size() - 2].prompt; // before the reminder
        EXPECT_TRUE(offer.contains(QStringLiteral("06/12/2004"))) << offer.toStdString();
        EXPECT_FALSE(screens.ending());
        EXPECT_FALSE(fp.end.ended());
        EXPECT_TRUE(screens.inizio().isVisible());
        EXPECT_EQ(2, screens.scheda().Data1.Recordset().RecordCount());
        EXPECT_EQ(QStringLiteral("Rossi"), screens.scheda().txtFields(1)->text());
        EXPECT_EQ(2, patientCount(fp.dbPath()));
        EXPECT_EQ(damaged, readFile(fp.platform.folder + kKept)) << "nothing more written to it";
    }

    FakePlatform fp;
    Session session;
    Screens screens{fp.platform};
    int pageSize = 0;
};

TEST_F(DamageFound, byTheReminderAtStartUpOffersTheBackupAndStartsOnIt) {
    // The first page is whole, so the archive opens; every page after it is not.
    ASSERT_TRUE(damage(fp.dbPath(), pageSize));
    const QByteArray damaged = readFile(fp.dbPath());
    ASSERT_TRUE(openSession(fp.platform, session));

    expectOfferAnsweredYes();
    fp.msg.expect(kReminder);
    startProgram(screens, session);
    expectRunningOnTheBackup(damaged);
}

TEST_F(DamageFound, declinedTheProgramEndsInOrderAndTheArchiveStaysAsItIs) {
    ASSERT_TRUE(damage(fp.dbPath(), pageSize));
    const QByteArray damaged = readFile(fp.dbPath());
    ASSERT_TRUE(openSession(fp.platform, session));
    fp.msg.expect({.buttons = MsgButtons::YesNo, .answer = MsgAnswer::No});
    startProgram(screens, session);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_TRUE(screens.ended());
    EXPECT_EQ(1, fp.end.count());
    EXPECT_EQ(1, screens.exitStatus());
    EXPECT_TRUE(screens.loadOrder().isEmpty());
    EXPECT_EQ(damaged, readFile(fp.dbPath()));
    EXPECT_FALSE(QFileInfo::exists(fp.platform.folder + kKept));
}

TEST_F(DamageFound, afterTheStartScreenClosesEveryScreenInOrderThenOffersTheBackup) {
    ASSERT_TRUE(openSession(fp.platform, session));
    fp.msg.expect(kReminder);
    startProgram(screens, session);
    ASSERT_TRUE(screens.inizio().isVisible());

    // A new patient is being typed on the card when the search reads the damaged pages.
    QTest::mouseClick(screens.inizio().CandyHCommand5, Qt::LeftButton);
    typeText(screens.scheda().txtFields(1), QStringLiteral("Gialli"));
    QTest::mouseClick(screens.scheda().lblCerca, Qt::LeftButton);
    ASSERT_TRUE(screens.cerca().isVisible());
    // The search reads the surnames' index: its page and those after it are damaged.
    const int indexPage = std::stoi(
        queryText(fp.dbPath(), "SELECT rootpage FROM sqlite_master WHERE name = 'Pazienti_Cognome_Nome'"));
    ASSERT_TRUE(damage(fp.dbPath(), qsizetype(indexPage - 1) * pageSize));
    const QByteArray damaged = readFile(fp.dbPath());

    expectOfferAnsweredYes();
    fp.msg.expect(kReminder);
    typeText(screens.cerca().TXTCerca, QStringLiteral("Verdi"));
    QTest::mouseClick(screens.cerca().lblCerca, Qt::LeftButton);
    EXPECT_EQ((QStringList{"frmInizio", "frmScheda", "frmCerca"}), screens.unloadedAtEnd());
    expectRunningOnTheBackup(damaged);
}

TEST_F(DamageFound, whileTheListPaintsItsRowsIsAnsweredAsSoonAsTheEventLoopRuns) {
    execSql(fp.dbPath(),
            "WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
            " INSERT INTO Pazienti (ID, Cognome, Nome) SELECT i, 'Cognome ' || i, 'Nome' FROM n");
    ASSERT_TRUE(openSession(fp.platform, session));
    fp.msg.expect(kReminder);
    startProgram(screens, session);
    QTest::mouseClick(screens.inizio().CandyHCommand4, Qt::LeftButton);
    ASSERT_TRUE(screens.elenco().isVisible());

    ASSERT_TRUE(damage(fp.dbPath(), pageSize));
    // The engine's cache no longer holds the pages (the file's change counter moved on).
    QByteArray bytes = readFile(fp.dbPath());
    bytes[27] = char(bytes[27] + 1);
    ASSERT_TRUE(writeFile(fp.dbPath(), bytes));

    expectOfferAnsweredYes();
    fp.msg.expect(kReminder);
    // The rows further down are read as the grid paints them; the damage found there is
    // answered once the painting is over.
    screens.elenco().MSFlexGrid1->scrollToBottom();
    for (int i = 0; i < 10 && !fp.msg.scriptDone(); ++i)
        QApplication::processEvents();
    expectRunningOnTheBackup(bytes);
}

} // namespace
