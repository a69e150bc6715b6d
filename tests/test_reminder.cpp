// The recall reminder while the program starts: which patient it names, and when it names none.
#include "app/Reminder.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QApplication>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace qv;
using namespace qv::test;

namespace {

struct Patient {
    const char* nome;
    const char* cognome;
    const char* attivita;
    const char* societa;
    const char* richiamo; // nullptr: empty
};

QString reminder(const QString& nome, const QString& cognome, const QString& attivita,
                 const QString& societa) {
    return QStringLiteral("Devi aprire la scheda relativa a:   \r\n") + nome + QStringLiteral("\r\n") +
           cognome + QStringLiteral("\r\n") + attivita + QStringLiteral("\r\n") + societa;
}

class Reminder : public ScreensTest {
protected:
    void SetUp() override { fp.clock.set(QDate(2004, 12, 6), QTime(8, 30)); }

    // Stores the patients in this order, with IDs 1, 2, ...
    void store(const std::vector<Patient>& patients) {
        std::vector<std::vector<const char*>> rows;
        for (const Patient& p : patients)
            rows.push_back({p.nome, p.cognome, p.attivita, p.societa, p.richiamo});
        insertRows(fp.dbPath(), "Pazienti", {"Nome", "Cognome", "Attività", "Società", "Data richiamo"},
                   rows);
    }

    // The box as the reminder must show it; checks that it comes before the start screen.
    void expectReminder(const QString& prompt) {
        fp.msg.expect({.prompt = prompt,
                       .title = QStringLiteral("Quorvane"),
                       .icon = MsgIcon::None,
                       .buttons = MsgButtons::Ok,
                       .whileOpen = [this] {
                           if (Screen* start = screens.loaded(QStringLiteral("frmInizio"))) {
                               EXPECT_FALSE(start->isVisible());
                           }
                           EXPECT_FALSE(screens.scheda().isVisible());
                       }});
    }

    void start() {
        startProgram(screens);
        QApplication::processEvents();
        EXPECT_TRUE(screens.inizio().isVisible());
        EXPECT_FALSE(screens.ended());
    }
};

TEST_F(Reminder, anEmptyTableNamesNobody) {
    start();
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(screens.isLoaded(QStringLiteral("frmScheda")));
    EXPECT_FALSE(screens.scheda().isVisible());
}

TEST_F(Reminder, emptyAndFutureRecallDatesNameNobodyAndTheWalkEndsPastTheLastRecord) {
    store({{"Anna", "Bianchi", nullptr, nullptr, nullptr},
           {"Luca", "Verdi", nullptr, nullptr, "07/12/2004"},
           {"Sara", "Galli", nullptr, nullptr, "01/01/2030"},
           {"Paola", "Neri", nullptr, nullptr, nullptr}});
    RunRecallReminder(screens);
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(screens.scheda().Data1.Recordset().Eof());
    // Through the start screen the same, and its activation puts the card on the first record.
    start();
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_EQ("Bianchi", screens.scheda().txtFields(1)->text().toStdString());
}

TEST_F(Reminder, onlyTheFirstOverduePatientIsNamedAndTheWalkStopsThere) {
    store({{"Anna", "Bianchi", nullptr, nullptr, "10/12/2004"},
           {"Mario", "Rossi", "Ingegnere", "Acme Spa", "15/03/2004"},
           {"Luca", "Verdi", "Medico", "Ospedale", "01/01/2003"}});
    expectReminder(reminder("Mario", "Rossi", "Ingegnere", "Acme Spa"));
    RunRecallReminder(screens);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(1u, fp.msg.shown().size());
    // The walk ended on the reminded patient.
    EXPECT_EQ("Rossi", screens.scheda().txtFields(1)->text().toStdString());
}

TEST_F(Reminder, theStartScreenShowsTheReminderBeforeItselfAndThenRequeriesTheCard) {
    store({{"Anna", "Bianchi", nullptr, nullptr, nullptr},
           {"Mario", "Rossi", "Ingegnere", "Acme Spa", "15/03/2004"},
           {"Luca", "Verdi", "Medico", "Ospedale", "01/01/2003"}});
    expectReminder(reminder("Mario", "Rossi", "Ingegnere", "Acme Spa"));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(1u, fp.msg.shown().size());
    EXPECT_FALSE(screens.scheda().isVisible());
    EXPECT_EQ("Bianchi", screens.scheda().txtFields(1)->text().toStdString());
}

TEST_F(Reminder, emptyNamesAndCompaniesKeepTheirLines) {
    store({{nullptr, "Rossi", nullptr, nullptr, "05/12/2004"}});
    expectReminder(QStringLiteral("Devi aprire la scheda relativa a:   \r\n\r\nRossi\r\n\r\n"));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Reminder, aCompanyWithoutAPersonIsNamedToo) {
    store({{nullptr, nullptr, "Fornitore", "Dental Srl", "05/12/2004"}});
    expectReminder(reminder(QString(), QString(), QStringLiteral("Fornitore"), QStringLiteral("Dental Srl")));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Reminder, yesterdayIsRemindedWhateverTheTimeOfDay) {
    fp.clock.set(QDate(2004, 12, 6), QTime(0, 0, 1));
    store({{"Anna", "Bianchi", "Insegnante", "Scuola", "5/12/04"}});
    expectReminder(reminder("Anna", "Bianchi", "Insegnante", "Scuola"));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Reminder, todayIsNotRemindedAndDoesNotHideALaterOverduePatient) {
    store({{"Anna", "Bianchi", nullptr, nullptr, "06/12/2004"},
           {"Luca", "Verdi", nullptr, nullptr, "6-12-2004"},
           {"Sara", "Galli", nullptr, nullptr, nullptr},
           {"Mario", "Rossi", "Ingegnere", "Acme", "30/11/2004"}});
    expectReminder(reminder("Mario", "Rossi", "Ingegnere", "Acme"));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Reminder, todayAloneNamesNobody) {
    store({{"Anna", "Bianchi", nullptr, nullptr, "06/12/2004"}});
    RunRecallReminder(screens);
    EXPECT_TRUE(fp.msg.shown().empty());
    EXPECT_TRUE(screens.scheda().Data1.Recordset().Eof());
}

TEST_F(Reminder, aRecallTextThatIsNotADateIsSkipped) {
    store({{"Anna", "Bianchi", nullptr, nullptr, "presto"},
           {"Luca", "Verdi", nullptr, nullptr, "31/02/2004"},
           {"Sara", "Galli", nullptr, nullptr, "12:30"},
           {"Mario", "Rossi", "Ingegnere", "Acme", "1 dicembre 2004"}});
    expectReminder(reminder("Mario", "Rossi", "Ingegnere", "Acme"));
    start();
    EXPECT_TRUE(fp.msg.scriptDone());
}

TEST_F(Reminder, theWalkCoversMoreRecordsThanASixteenBitCounterCould) {
    std::vector<Patient> patients(32800, Patient{"N", "C", nullptr, nullptr, "01/01/2010"});
    patients.push_back({"Ultimo", "Paziente", "Pensionato", "Nessuna", "01/12/2004"});
    store(patients);
    expectReminder(reminder("Ultimo", "Paziente", "Pensionato", "Nessuna"));
    RunRecallReminder(screens);
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ("32801", screens.scheda().txtFields(0)->text().toStdString());
}

} // namespace
