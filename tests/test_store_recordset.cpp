// The data control and its record sets over a real database file: ends, positions,
// Seek, AddNew, the implicit write before every record change, several data controls on
// one table, refused writes, Delete, bookmarks and the agenda's editing sequence.
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "tests/support/BoundBox.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"
#include "tests/support/Text.h"

#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>

using qv::DataControl;
using qv::RecordSet;
using qv::StoreError;
namespace err = qv::err;

using qv::test::errorOf;

namespace {

using qv::test::BoundBox;

class RecordSetTest : public qv::test::FolderTest {
protected:
    std::shared_ptr<qv::Database> db;

    void SetUp() override {
        ASSERT_TRUE(fp.dir.isValid());
        db = qv::Database::open(path());
    }

    // Statements run on the shared connection beside the store, which notices them by itself.
    void sqlExec(const QString& text) {
        char* message = nullptr;
        const int rc = sqlite3_exec(db->handle(), text.toUtf8().constData(), nullptr, nullptr, &message);
        ASSERT_EQ(rc, SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
    }

    // Patients with the given surnames, IDs 1, 2, ... in this order; first names Nome1, Nome2...
    // (stored beside the store)
    void addPatients(const QStringList& surnames) {
        int i = 0;
        for (const QString& s : surnames) {
            ++i;
            qv::sql::Stmt insert(db->handle(),
                                 QStringLiteral("INSERT INTO Pazienti (Cognome, Nome) VALUES (?1, ?2)"));
            insert.bind(1, s);
            insert.bind(2, QStringLiteral("Nome%1").arg(i));
            insert.run();
        }
    }

    QVariant stored(qint64 id, const QString& field) {
        qv::sql::Stmt q(db->handle(),
                        QStringLiteral("SELECT %1 FROM Pazienti WHERE ID = ?1").arg(qv::sql::quoted(field)));
        q.bind(1, id);
        return q.step() ? q.value(0) : QVariant(QStringLiteral("<missing row>"));
    }

    int storedCount(const QString& table = QStringLiteral("Pazienti")) {
        qv::sql::Stmt q(db->handle(), QStringLiteral("SELECT count(*) FROM %1").arg(qv::sql::quoted(table)));
        q.step();
        return int(q.int64(0));
    }

    struct Screen {
        std::unique_ptr<DataControl> data = std::make_unique<DataControl>();
        std::map<QString, BoundBox*> boxes;
        std::vector<QString> events;
        BoundBox& operator[](const QString& field) { return *boxes.at(field); }
        RecordSet& rs() { return data->Recordset(); }
    };

    // A screen with a data control on `source` and boxes bound to `fields`.
    std::unique_ptr<Screen> screen(const QString& source, const QStringList& fields,
                                   RecordSet::Type type = RecordSet::Type::Table) {
        auto s = std::make_unique<Screen>();
        s->data->setDatabaseName(path());
        s->data->setRecordSource(source);
        s->data->setRecordsetType(type);
        for (const QString& f : fields)
            s->boxes[f] = static_cast<BoundBox*>(s->data->bind(std::make_unique<BoundBox>(f)));
        Screen* raw = s.get();
        s->data->onValidate = [raw] { raw->events.push_back(QStringLiteral("validate")); };
        s->data->onReposition = [raw] { raw->events.push_back(QStringLiteral("reposition")); };
        s->data->onError = [raw](int number, const QString& description) {
            raw->events.push_back(QStringLiteral("error %1: %2").arg(number).arg(description));
        };
        return s;
    }

    std::unique_ptr<Screen> card() {
        return screen(QStringLiteral("Pazienti"), {QStringLiteral("ID"), QStringLiteral("Cognome"),
                                                   QStringLiteral("Nome"), QStringLiteral("Indirizzo")});
    }
};

// ---------------------------------------------------------------------------------------
// Ends and positions

TEST_F(RecordSetTest, EmptyTableHasBothEndsAndMovesNeverFail) {
    auto s = card();
    RecordSet& rs = s->rs();
    EXPECT_TRUE(rs.Bof());
    EXPECT_TRUE(rs.Eof());
    EXPECT_FALSE(rs.hasCurrent());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }), 0);
    EXPECT_EQ(errorOf([&] { rs.MovePrevious(); }), 0);
    EXPECT_EQ(errorOf([&] { rs.MoveFirst(); }), 0);
    EXPECT_EQ(errorOf([&] { rs.MoveLast(); }), 0);
    EXPECT_TRUE(rs.Bof());
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(errorOf([&] { rs.Fields(QStringLiteral("Cognome")); }), err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.PercentPosition(); }), err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Edit(); }), err::NoCurrentRecord);
    EXPECT_EQ((*s)[QStringLiteral("Cognome")].text, QString());
    EXPECT_TRUE(std::find(s->events.begin(), s->events.end(), QStringLiteral("reposition")) ==
                s->events.end());
}

TEST_F(RecordSetTest, WalkingPastBothEnds) {
    addPatients({"Rossi", "Bianchi", "Verdi"});
    auto s = card();
    RecordSet& rs = s->rs();
    EXPECT_FALSE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
    EXPECT_EQ((*s)["ID"].text, "1");

    rs.MovePrevious();
    EXPECT_TRUE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    EXPECT_FALSE(rs.hasCurrent());
    EXPECT_EQ((*s)["Cognome"].text, QString()) << "no current record: the boxes are empty";
    rs.MovePrevious();
    EXPECT_TRUE(rs.Bof());
    rs.MoveNext();
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
    EXPECT_FALSE(rs.Bof());

    rs.MoveNext();
    rs.MoveNext();
    EXPECT_EQ((*s)["Cognome"].text, "Verdi");
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_FALSE(rs.Bof());
    EXPECT_EQ((*s)["ID"].text, QString());
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    rs.MovePrevious();
    EXPECT_EQ((*s)["Cognome"].text, "Verdi");
    rs.MoveFirst();
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
    rs.MoveLast();
    EXPECT_EQ((*s)["Cognome"].text, "Verdi");
    EXPECT_FALSE(rs.Eof());
}

TEST_F(RecordSetTest, PercentPositionAndRecordCountOnSevenRows) {
    addPatients({"A", "B", "C", "D", "E", "F", "G"});
    auto s = card();
    RecordSet& rs = s->rs();
    EXPECT_EQ(rs.RecordCount(), 7);
    for (int k = 1; k <= 7; ++k) {
        const float expected = float(100.0 * (k - 1) / 7);
        EXPECT_FLOAT_EQ(rs.PercentPosition(), expected) << "row " << k;
        // The card's position text: (pp * 0.1 * R + 1) / 10, integer part plus one, is k.
        const double x = (double(rs.PercentPosition()) * 0.1 * rs.RecordCount() + 1) / 10;
        EXPECT_EQ(int(x) + 1, k);
        rs.MoveNext();
    }
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(rs.RecordCount(), 7);
    rs.MoveFirst();
    EXPECT_FLOAT_EQ(rs.PercentPosition(), 0.0f);
    rs.MoveLast();
    EXPECT_FLOAT_EQ(rs.PercentPosition(), float(600.0 / 7));
}

TEST_F(RecordSetTest, FieldsMatchNamesWithoutRegardToCase) {
    addPatients({"Rossi"});
    auto s = card();
    RecordSet& rs = s->rs();
    EXPECT_EQ(rs.Fields("cognome").toString(), "Rossi");
    EXPECT_EQ(rs.Fields("COGNOME").toString(), "Rossi");
    EXPECT_EQ(rs.Fields("Id").toLongLong(), 1);
    EXPECT_EQ(rs.Fields("società").isNull(), true);
    EXPECT_EQ(rs.Fields("SOCIETÀ").isNull(), true);
    EXPECT_EQ(errorOf([&] { rs.Fields("Cognomi"); }), err::ItemNotFound);
    EXPECT_EQ(rs.fieldNames().size(), 14);
    EXPECT_EQ(rs.fieldNames().front(), "ID");
}

TEST_F(RecordSetTest, WalkingBothWaysShowsEveryRowAsStoredNow) {
    QStringList names;
    for (int i = 1; i <= 150; ++i)
        names << QStringLiteral("P%1").arg(i);
    addPatients(names);
    sqlExec("UPDATE Pazienti SET Note = 'nota ' || ID");
    auto a = card();
    auto b = card();
    RecordSet& rs = a->rs();
    for (int i = 1; i <= 150; ++i) {
        ASSERT_EQ((*a)["Cognome"].text, names[i - 1]);
        ASSERT_EQ(rs.Fields("Note").toString(), QStringLiteral("nota %1").arg(i)) << "a field no box shows";
        if (i == 70) {
            // Another data control changes rows just ahead of this walk.
            b->rs().setIndex("PrimaryKey");
            b->rs().Seek("=", 71);
            (*b)["Cognome"].type("Cambiato");
            b->rs().MoveNext();
            (*b)["Cognome"].type("Cambiato anche");
            b->rs().MoveNext();
        }
        rs.MoveNext();
        if (i == 70) {
            EXPECT_EQ((*a)["Cognome"].text, "Cambiato");
            rs.MoveNext();
            EXPECT_EQ((*a)["Cognome"].text, "Cambiato anche");
            rs.MovePrevious();
            rs.MovePrevious();
            ASSERT_EQ((*a)["Cognome"].text, "P70");
            rs.MoveNext();
            names[70] = "Cambiato";
            names[71] = "Cambiato anche";
        }
    }
    EXPECT_TRUE(rs.Eof());
    for (int i = 150; i >= 1; --i) {
        rs.MovePrevious();
        ASSERT_EQ((*a)["Cognome"].text, names[i - 1]);
        ASSERT_EQ((*a)["ID"].text, QString::number(i));
        ASSERT_EQ(rs.PercentPosition(), float(100.0 * (i - 1) / 150));
    }
    sqlExec("UPDATE Pazienti SET Nome = 'Diverso' WHERE ID = 2");
    rs.MoveNext();
    EXPECT_EQ((*a)["Nome"].text, "Diverso");
}

// ---------------------------------------------------------------------------------------
// Seek

TEST_F(RecordSetTest, SeekTakesTheKeyAsTextWithBlanksOrAsNumber) {
    QStringList names;
    for (int i = 1; i <= 30; ++i)
        names << QStringLiteral("P%1").arg(i);
    addPatients(names);
    auto s = card();
    RecordSet& rs = s->rs();

    EXPECT_EQ(errorOf([&] { rs.Seek("=", 27); }), err::NoCurrentIndex);
    EXPECT_EQ(errorOf([&] { rs.setIndex("Cognome"); }), err::NotAnIndex);
    rs.setIndex("PrimaryKey");
    EXPECT_EQ(rs.Index(), "PrimaryKey");

    rs.Seek("=", QStringLiteral("   27"));
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ((*s)["Cognome"].text, "P27");
    rs.Seek("=", 3);
    EXPECT_EQ((*s)["Cognome"].text, "P3");
    rs.Seek("=", QVariant::fromValue<qint16>(12));
    EXPECT_EQ((*s)["Cognome"].text, "P12");
    rs.Seek("=", QStringLiteral("30 "));
    EXPECT_EQ((*s)["ID"].text, "30");

    EXPECT_EQ(errorOf([&] { rs.Seek("=", QStringLiteral("abc")); }), err::TypeMismatch);
    EXPECT_EQ((*s)["ID"].text, "30");
    EXPECT_EQ(errorOf([&] { rs.Seek("=", QStringLiteral("   ")); }), err::TypeMismatch);

    rs.Seek("=", 99);
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_EQ((*s)["ID"].text, "30") << "a seek that finds nothing keeps the record";
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 30);
    rs.Seek("=", 5);
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 5);

    rs.Seek(">=", 29);
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 29);
    rs.Seek("<", 29);
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 28);

    // Texts that the Italian screens read as numbers are keys too; a fraction matches no row.
    rs.Seek("=", QStringLiteral("3,0"));
    EXPECT_EQ((*s)["ID"].text, "3");
    EXPECT_EQ(errorOf([&] { rs.Seek("=", QStringLiteral(" 2,5 ")); }), 0);
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_EQ((*s)["ID"].text, "3");
    rs.Seek("=", QStringLiteral("4.0"));
    EXPECT_EQ((*s)["ID"].text, "4");
}

TEST_F(RecordSetTest, SeekOnTheSameRowRepositionsAndOnlyTablesSeek) {
    addPatients({"Rossi", "Bianchi"});
    auto s = card();
    s->rs().setIndex("PrimaryKey");
    s->rs().Seek("=", 2);
    (*s)["Nome"].text = "shown but not typed";
    s->events.clear();
    s->rs().Seek("=", 2);
    EXPECT_EQ(s->events, (std::vector<QString>{"validate", "reposition"}));
    EXPECT_EQ((*s)["Nome"].text, "Nome2");

    auto list = screen("Pazienti", {"ID"}, RecordSet::Type::Dynaset);
    EXPECT_EQ(errorOf([&] { list->rs().setIndex("PrimaryKey"); }), err::OperationNotSupported);
    EXPECT_EQ(errorOf([&] { list->rs().Seek("=", 1); }), err::OperationNotSupported);
}

// ---------------------------------------------------------------------------------------
// The implicit write

struct MoveCase {
    const char* name;
    std::function<void(RecordSet&, DataControl&)> move;
};

TEST_F(RecordSetTest, EveryKindOfMoveWritesTheTypedFieldFirst) {
    addPatients({"Rossi", "Bianchi", "Verdi", "Neri"});
    const std::vector<MoveCase> cases = {
        {"MoveNext", [](RecordSet& rs, DataControl&) { rs.MoveNext(); }},
        {"MovePrevious", [](RecordSet& rs, DataControl&) { rs.MovePrevious(); }},
        {"MoveFirst", [](RecordSet& rs, DataControl&) { rs.MoveFirst(); }},
        {"MoveLast", [](RecordSet& rs, DataControl&) { rs.MoveLast(); }},
        {"Seek", [](RecordSet& rs, DataControl&) { rs.Seek("=", 4); }},
        {"Seek without match", [](RecordSet& rs, DataControl&) { rs.Seek("=", 77); }},
        {"FindFirst", [](RecordSet& rs, DataControl&) { rs.FindFirst("Cognome = 'neri'"); }},
        {"AddNew", [](RecordSet& rs, DataControl&) { rs.AddNew(); }},
        {"setBookmark", [](RecordSet& rs, DataControl&) { rs.setBookmark(QVariant(qlonglong(1))); }},
        {"Refresh", [](RecordSet&, DataControl& data) { data.Refresh(); }},
        {"Close", [](RecordSet&, DataControl& data) { data.Close(); }},
    };
    int n = 0;
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString address = QStringLiteral("Via Roma %1").arg(++n);
        auto s = card();
        RecordSet& rs = s->rs();
        rs.setIndex("PrimaryKey");
        rs.Seek("=", 2);
        (*s)["Indirizzo"].type(address);
        QVariant atValidate;
        s->data->onValidate = [&] { atValidate = stored(2, "Indirizzo"); };
        c.move(rs, *s->data);
        EXPECT_TRUE(atValidate.isNull()) << "the validate event comes before the write";
        EXPECT_EQ(stored(2, "Indirizzo").toString(), address);
        EXPECT_EQ(stored(2, "Cognome").toString(), "Bianchi");
        EXPECT_FALSE((*s)["Indirizzo"].changed);
        sqlExec("UPDATE Pazienti SET Indirizzo = NULL");
    }
}

TEST_F(RecordSetTest, NothingTypedMeansNothingWritten) {
    addPatients({"Rossi", "Bianchi"});
    auto s = card();
    // Text shown in a box without the flag (a fill) is never written.
    (*s)["Cognome"].text = "Altro";
    sqlExec("CREATE TRIGGER no_writes BEFORE UPDATE ON Pazienti BEGIN SELECT RAISE(ABORT, 'scrittura'); END");
    EXPECT_EQ(errorOf([&] { s->rs().MoveNext(); }), 0);
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
    EXPECT_EQ(s->events.end(), std::find_if(s->events.begin(), s->events.end(),
                                            [](const QString& e) { return e.startsWith("error"); }));
}

TEST_F(RecordSetTest, AnEmptiedBoxIsStoredAsNull) {
    addPatients({"Rossi", "Bianchi"});
    auto s = card();
    EXPECT_EQ(s->rs().Fields("Nome").toString(), "Nome1");
    (*s)["Nome"].type(QString());
    s->rs().MoveNext();
    EXPECT_TRUE(stored(1, "Nome").isNull());
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
}

TEST_F(RecordSetTest, UpdateRecordWritesWithoutLeavingOrValidating) {
    addPatients({"Rossi", "Bianchi"});
    auto notes = screen("Pazienti", {"ID", "Note"});
    RecordSet& rs = notes->rs();
    rs.setIndex("PrimaryKey");
    rs.Seek("=", QStringLiteral("    2"));
    (*notes)["Note"].type("{\\rtf1 carie}");
    notes->events.clear();
    notes->data->UpdateRecord();
    EXPECT_EQ(stored(2, "Note").toString(), "{\\rtf1 carie}");
    EXPECT_TRUE(notes->events.empty()) << "no validate, no reposition";
    EXPECT_EQ(rs.LastModified().toLongLong(), 2);
    rs.setBookmark(rs.LastModified());
    EXPECT_EQ((*notes)["ID"].text, "2");

    // Saving with no change still names the current row as last modified.
    rs.MoveFirst();
    notes->data->UpdateRecord();
    EXPECT_EQ(rs.LastModified().toLongLong(), 1);
    EXPECT_EQ(errorOf([&] { rs.setBookmark(QVariant(qlonglong(99))); }), err::InvalidBookmark);
    EXPECT_EQ(errorOf([&] { rs.setBookmark(QVariant()); }), err::InvalidBookmark);
}

TEST_F(RecordSetTest, TwoDataControlsOnOneRowWriteOnlyTheirOwnFields) {
    addPatients({"Rossi", "Bianchi"});
    auto cardScreen = screen("Pazienti", {"ID", "Cognome", "Nome", "Indirizzo", "Telefono Casa"});
    auto notes = screen("Pazienti", {"ID", "Note"});
    for (auto* s : {cardScreen.get(), notes.get()}) {
        s->rs().setIndex("PrimaryKey");
        s->rs().Seek("=", 2);
    }
    (*notes)["Note"].type("appunti");
    (*cardScreen)["Cognome"].type("Bianchini");
    notes->data->UpdateRecord();
    cardScreen->rs().MoveNext();
    EXPECT_EQ(stored(2, "Note").toString(), "appunti");
    EXPECT_EQ(stored(2, "Cognome").toString(), "Bianchini");
    EXPECT_EQ(stored(2, "Nome").toString(), "Nome2");

    // And the other way round: the card writes first, then the notes.
    cardScreen->rs().Seek("=", 1);
    notes->rs().Seek("=", 1);
    (*cardScreen)["Telefono Casa"].type("06 1234");
    (*notes)["Note"].type("seconda visita");
    cardScreen->rs().MovePrevious();
    notes->data->Close();
    EXPECT_EQ(stored(1, "Telefono Casa").toString(), "06 1234");
    EXPECT_EQ(stored(1, "Note").toString(), "seconda visita");
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
}

// ---------------------------------------------------------------------------------------
// New rows

TEST_F(RecordSetTest, AddNewShowsItsIdAtOnceAndStoresOnTheNextMove) {
    addPatients({"Rossi", "Bianchi", "Verdi"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.MoveNext();
    s->events.clear();
    rs.AddNew();
    EXPECT_EQ(s->events, (std::vector<QString>{"validate", "reposition"}));
    EXPECT_TRUE(rs.isNewRow());
    EXPECT_TRUE(rs.hasCurrent());
    EXPECT_EQ((*s)["ID"].text, "4");
    EXPECT_EQ((*s)["Cognome"].text, QString());
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 4);
    EXPECT_EQ(errorOf([&] { rs.PercentPosition(); }), err::NoCurrentRecord);
    EXPECT_EQ(storedCount(), 3) << "nothing is stored before the next record change";

    (*s)["Cognome"].type("Gialli");
    EXPECT_EQ(rs.Fields("cognome").toString(), "Gialli");
    rs.MoveNext();
    EXPECT_EQ(storedCount(), 4);
    EXPECT_EQ(stored(4, "Cognome").toString(), "Gialli");
    EXPECT_EQ((*s)["Cognome"].text, "Verdi") << "moves from a new row start at the row before it";
    EXPECT_EQ(rs.LastModified().toLongLong(), 4);
    rs.setBookmark(rs.LastModified());
    EXPECT_EQ((*s)["Cognome"].text, "Gialli");
    EXPECT_EQ(rs.RecordCount(), 4);
}

TEST_F(RecordSetTest, IdsAreNeverGivenTwice) {
    addPatients({"Rossi", "Bianchi", "Verdi"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.setIndex("PrimaryKey");

    // An untouched new row is dropped, and its ID is not given again.
    rs.AddNew();
    EXPECT_EQ((*s)["ID"].text, "4");
    rs.MoveFirst();
    EXPECT_EQ(storedCount(), 3);
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
    rs.AddNew();
    EXPECT_EQ((*s)["ID"].text, "5");
    (*s)["Cognome"].type("Nuovo");
    rs.MoveFirst();
    EXPECT_EQ(stored(5, "Cognome").toString(), "Nuovo");

    // Deleting the highest row does not free its ID.
    rs.Seek("=", 5);
    rs.Delete();
    rs.AddNew();
    EXPECT_EQ((*s)["ID"].text, "6");
    rs.CancelUpdate();

    // Nor does closing the file: the counter lives in it.
    s.reset();
    EXPECT_EQ(db.use_count(), 1);
    db.reset();
    db = qv::Database::open(path());
    auto again = card();
    again->rs().AddNew();
    EXPECT_EQ((*again)["ID"].text, "7");

    // Rows stored by another program with higher IDs are taken into account.
    again->rs().CancelUpdate();
    sqlExec("INSERT INTO Pazienti (ID, Cognome) VALUES (40, 'Altro programma')");
    again->rs().AddNew();
    EXPECT_EQ((*again)["ID"].text, "41");
}

TEST_F(RecordSetTest, AddNewOnAnEmptyTableThenMoving) {
    auto s = card();
    RecordSet& rs = s->rs();
    rs.AddNew();
    EXPECT_FALSE(rs.Eof());
    EXPECT_EQ((*s)["ID"].text, "1");
    (*s)["Cognome"].type("Primo");
    rs.MoveFirst();
    EXPECT_EQ(stored(1, "Cognome").toString(), "Primo");
    EXPECT_EQ((*s)["Cognome"].text, "Primo");
    EXPECT_FALSE(rs.Eof());
}

TEST_F(RecordSetTest, NewRowAfterASeekOnItsIdIsTheStoredRow) {
    // The card's step before opening the notes: MoveNext stores the new row, Seek comes back.
    addPatients({"Rossi"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.AddNew();
    const QString id = (*s)["ID"].text;
    (*s)["Cognome"].type("Nuovi");
    rs.MoveNext();
    rs.setIndex("PrimaryKey");
    rs.Seek("=", QVariant::fromValue<qint16>(qint16(id.toInt())));
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ((*s)["Cognome"].text, "Nuovi");
}

TEST_F(RecordSetTest, UpdateStoresTheNewRowEvenUntouched) {
    addPatients({"Rossi"});
    auto s = card();
    RecordSet& rs = s->rs();
    EXPECT_EQ(errorOf([&] { rs.Update(); }), err::UpdateWithoutEdit);
    EXPECT_EQ(errorOf([&] { rs.CancelUpdate(); }), err::UpdateWithoutEdit);
    rs.AddNew();
    rs.Update();
    EXPECT_EQ(storedCount(), 2);
    EXPECT_FALSE(rs.isNewRow());
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 2);
    EXPECT_EQ(rs.LastModified().toLongLong(), 2);
}

// ---------------------------------------------------------------------------------------
// Edit, CancelUpdate, Delete

TEST_F(RecordSetTest, CancelUpdateDiscardsTheEdits) {
    addPatients({"Rossi", "Bianchi"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.Edit();
    (*s)["Cognome"].type(QString());
    (*s)["Nome"].type(QString());
    rs.Edit();
    rs.CancelUpdate();
    EXPECT_FALSE((*s)["Cognome"].changed);
    EXPECT_EQ((*s)["Cognome"].text, QString()) << "the boxes keep what they show";
    rs.MoveNext();
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
    EXPECT_EQ(stored(1, "Nome").toString(), "Nome1");

    rs.Edit();
    (*s)["Nome"].type("Mario");
    rs.Update();
    EXPECT_EQ(stored(2, "Nome").toString(), "Mario");
    EXPECT_FALSE((*s)["Nome"].changed);
    EXPECT_EQ(errorOf([&] { rs.Update(); }), err::UpdateWithoutEdit);

    // CancelUpdate of a new row returns to the row before it.
    rs.AddNew();
    (*s)["Cognome"].type("Mai salvato");
    rs.CancelUpdate();
    EXPECT_FALSE(rs.isNewRow());
    EXPECT_EQ((*s)["Cognome"].text, "Bianchi");
    rs.MoveFirst();
    EXPECT_EQ(storedCount(), 2);
}

TEST_F(RecordSetTest, DeleteLeavesNoCurrentRecordUntilTheNextMove) {
    addPatients({"A", "B", "C", "D"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.MoveNext();
    (*s)["Nome"].type("discarded with the row");
    rs.Delete();
    EXPECT_FALSE(rs.hasCurrent());
    EXPECT_FALSE(rs.Eof());
    EXPECT_FALSE(rs.Bof());
    EXPECT_EQ((*s)["Cognome"].text, QString());
    EXPECT_EQ(errorOf([&] { rs.Fields("Cognome"); }), err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), err::NoCurrentRecord);
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveNext();
    EXPECT_EQ((*s)["Cognome"].text, "C");
    rs.MovePrevious();
    EXPECT_EQ((*s)["Cognome"].text, "A");

    // The card's deleting sequence down to an empty table.
    for (int i = 0; i < 3; ++i) {
        rs.MoveLast();
        rs.Delete();
        rs.MoveFirst();
        if (rs.Eof())
            rs.MovePrevious();
    }
    EXPECT_TRUE(rs.Bof());
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(storedCount(), 0);
}

// ---------------------------------------------------------------------------------------
// Refused writes

TEST_F(RecordSetTest, ARefusedWriteFiresTheDataErrorThenFailsWith3426) {
    addPatients({"Rossi", "Bianchi"});
    sqlExec("CREATE TRIGGER guard BEFORE UPDATE ON Pazienti BEGIN SELECT RAISE(ABORT, 'rifiutato'); END");
    auto s = card();
    RecordSet& rs = s->rs();
    (*s)["Cognome"].type("Rossini");
    (*s)["Indirizzo"].type("Via Po");
    s->events.clear();
    int number = 0;
    QString description;
    try {
        rs.MoveNext();
    } catch (const StoreError& e) {
        number = e.number();
        description = e.description();
    }
    EXPECT_EQ(number, err::ActionCancelled);
    EXPECT_TRUE(description.contains("rifiutato")) << description.toStdString();
    ASSERT_EQ(s->events.size(), 2u);
    EXPECT_EQ(s->events[0], "validate");
    EXPECT_EQ(s->events[1], QStringLiteral("error %1: %2").arg(err::WriteFailed).arg(description));
    EXPECT_EQ((*s)["Cognome"].text, "Rossini") << "the pending values stay in the boxes";
    EXPECT_TRUE((*s)["Cognome"].changed);
    EXPECT_EQ(rs.Fields("ID").toLongLong(), 1) << "the record does not change";
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
    EXPECT_TRUE(stored(1, "Indirizzo").isNull()) << "nothing of the refused write is kept";

    // Once the engine accepts, the same move writes what is still pending.
    sqlExec("DROP TRIGGER guard");
    rs.MoveNext();
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossini");
    EXPECT_EQ(stored(1, "Indirizzo").toString(), "Via Po");
    EXPECT_EQ((*s)["Cognome"].text, "Bianchi");
}

TEST_F(RecordSetTest, AFullDiskIsDescribedInItalian) {
    addPatients({"Rossi", "Bianchi"});
    auto s = screen(QStringLiteral("Pazienti"), {QStringLiteral("Note")});
    RecordSet& rs = s->rs();
    // The file may not grow past its present size: a long note no longer fits.
    qv::sql::Stmt pages(db->handle(), QStringLiteral("PRAGMA page_count"));
    ASSERT_TRUE(pages.step());
    sqlExec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages.int64(0)));
    (*s)["Note"].type(QString(200000, QLatin1Char('x')));
    s->events.clear();
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }), err::ActionCancelled);
    ASSERT_EQ(s->events.size(), 2u);
    EXPECT_TRUE(s->events[1].contains(QStringLiteral("il disco è pieno"))) << s->events[1].toStdString();
    EXPECT_FALSE(s->events[1].contains(QStringLiteral("full"))) << s->events[1].toStdString();
    EXPECT_TRUE(stored(1, "Note").isNull());
}

TEST_F(RecordSetTest, ARefusedNewRowStaysNewAndCloseFailsToo) {
    addPatients({"Rossi"});
    sqlExec("CREATE TRIGGER guard BEFORE INSERT ON Pazienti BEGIN SELECT RAISE(ABORT, 'niente nuovi'); END");
    auto s = card();
    RecordSet& rs = s->rs();
    rs.AddNew();
    (*s)["Cognome"].type("Nuovo");
    EXPECT_EQ(errorOf([&] { rs.MoveFirst(); }), err::ActionCancelled);
    EXPECT_TRUE(rs.isNewRow());
    EXPECT_EQ((*s)["ID"].text, "2");
    EXPECT_EQ(errorOf([&] { s->data->Refresh(); }), err::ActionCancelled);
    EXPECT_EQ(errorOf([&] { s->data->Close(); }), err::ActionCancelled);
    EXPECT_TRUE(s->data->isOpen());
    EXPECT_EQ(storedCount(), 1);
    sqlExec("DROP TRIGGER guard");
    s->data->Close();
    EXPECT_FALSE(s->data->isOpen());
    EXPECT_EQ(stored(2, "Cognome").toString(), "Nuovo");
}

// ---------------------------------------------------------------------------------------
// Who sees what

TEST_F(RecordSetTest, TableSeesRowsOthersStoredDynasetOnlyAfterRefresh) {
    addPatients({"Rossi"});
    auto notes = screen("Pazienti", {"ID", "Note"});
    auto list = screen("Pazienti Query", {}, RecordSet::Type::Dynaset);
    auto dyn = screen("Pazienti", {"Cognome"}, RecordSet::Type::Dynaset);
    EXPECT_EQ(notes->rs().RecordCount(), 1);
    EXPECT_EQ(list->rs().RecordCount(), 1);
    EXPECT_EQ(dyn->rs().RecordCount(), 1);

    auto c = card();
    c->rs().AddNew();
    (*c)["Cognome"].type("Nuovo");
    c->rs().MoveFirst();

    notes->rs().setIndex("PrimaryKey");
    notes->rs().Seek("=", QStringLiteral("    2"));
    EXPECT_FALSE(notes->rs().NoMatch());
    EXPECT_EQ((*notes)["ID"].text, "2");
    EXPECT_EQ(notes->rs().RecordCount(), 2);

    EXPECT_EQ(list->rs().RecordCount(), 1);
    EXPECT_EQ(dyn->rs().RecordCount(), 1);
    list->data->Refresh();
    dyn->data->Refresh();
    EXPECT_EQ(list->rs().RecordCount(), 2);
    EXPECT_EQ(dyn->rs().RecordCount(), 2);
}

TEST_F(RecordSetTest, TableSeesARowAnotherProgramStoredWhileItAddedOne) {
    addPatients({"Rossi"});
    auto c = card();
    c->rs().AddNew();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO Pazienti (ID, Cognome) VALUES (10, 'Verdi')", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    (*c)["Cognome"].type("Nuovo");
    c->rs().Update();
    EXPECT_EQ(c->rs().RecordCount(), 3);
    c->rs().MoveLast();
    EXPECT_EQ((*c)["Cognome"].text, "Verdi");
}

TEST_F(RecordSetTest, RefreshReopensOnTheFirstRowWithoutIndex) {
    addPatients({"Rossi", "Bianchi", "Verdi"});
    auto s = card();
    s->rs().setIndex("PrimaryKey");
    s->rs().Seek("=", 3);
    s->events.clear();
    s->data->Refresh();
    EXPECT_EQ(s->rs().Index(), QString());
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
    EXPECT_EQ(s->events, (std::vector<QString>{"validate", "reposition"}));

    s->data->setRecordSource("Tabella che non c'è");
    EXPECT_EQ(errorOf([&] { s->data->Refresh(); }), err::SyntaxError);
    EXPECT_FALSE(s->data->isOpen());
    EXPECT_EQ((*s)["Cognome"].text, QString());
    s->data->setRecordSource("Clienti");
    EXPECT_EQ(errorOf([&] { s->data->Refresh(); }), err::NoSuchTable);
    s->data->setRecordSource("pazienti");
    s->data->Refresh();
    EXPECT_EQ((*s)["Cognome"].text, "Rossi");
}

TEST_F(RecordSetTest, TheViewIsReadOnlyAndKeepsItsColumnOrder) {
    addPatients({"Rossi", "Bianchi"});
    auto list = screen("Pazienti Query", {"Cognome"});
    RecordSet& rs = list->rs();
    EXPECT_EQ(rs.type(), RecordSet::Type::Dynaset);
    const QStringList names = rs.fieldNames();
    ASSERT_GE(names.size(), 3);
    EXPECT_EQ(names[0], "ID");
    EXPECT_EQ(names[1], "Nome");
    EXPECT_EQ(names[2], "Cognome");
    EXPECT_FALSE(names.contains("Note"));
    const auto rows = rs.allRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][2].toString(), "Bianchi");
    EXPECT_EQ(rows[1][0].toLongLong(), 2);

    EXPECT_EQ(errorOf([&] { rs.Edit(); }), err::OperationNotSupported);
    EXPECT_EQ(errorOf([&] { rs.AddNew(); }), err::OperationNotSupported);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), err::OperationNotSupported);
    (*list)["Cognome"].type("Cambiato");
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }), err::OperationNotSupported);
    EXPECT_EQ(stored(1, "Cognome").toString(), "Rossi");
}

TEST_F(RecordSetTest, DynasetWritesGoToTheTableByKey) {
    addPatients({"Rossi", "Bianchi"});
    auto dyn = screen("Pazienti", {"Cognome"}, RecordSet::Type::Dynaset);
    RecordSet& rs = dyn->rs();
    rs.MoveNext();
    (*dyn)["Cognome"].type("Bianco");
    rs.MovePrevious();
    EXPECT_EQ(stored(2, "Cognome").toString(), "Bianco");
    rs.MoveNext();
    EXPECT_EQ((*dyn)["Cognome"].text, "Bianco") << "the dynaset shows its own writes";
    rs.AddNew();
    (*dyn)["Cognome"].type("Terzo");
    rs.MoveFirst();
    EXPECT_EQ(stored(3, "Cognome").toString(), "Terzo");
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveLast();
    EXPECT_EQ((*dyn)["Cognome"].text, "Terzo");
    rs.Delete();
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(storedCount(), 2);
}

// ---------------------------------------------------------------------------------------
// The agenda's weekday rows

TEST_F(RecordSetTest, AgendaEditClearCancelFindAndUpdate) {
    QStringList fields;
    for (int i = 1; i <= 40; ++i)
        fields << QString::number(i);
    fields << "data";
    auto agenda = screen("Agenda", fields, RecordSet::Type::Dynaset);
    RecordSet& rs = agenda->rs();
    EXPECT_EQ(rs.RecordCount(), 7);
    EXPECT_EQ(rs.Fields("giorno").toString(), QString::fromUtf8("lunedì"));
    EXPECT_EQ((*agenda)["1"].text, "08:00");
    EXPECT_EQ((*agenda)["40"].text, "17:45");

    // Loading a day: Edit, empty every box, Edit, CancelUpdate, FindFirst.
    const auto loadDay = [&](const char* weekday) {
        rs.Edit();
        for (const QString& f : fields)
            (*agenda)[f].type(QString());
        rs.Edit();
        rs.CancelUpdate();
        rs.FindFirst(QString::fromUtf8("giorno =   '%1'").arg(QString::fromUtf8(weekday)));
    };
    loadDay("mercoledì");
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ(rs.Fields("giorno").toString(), QString::fromUtf8("mercoledì"));
    EXPECT_EQ((*agenda)["1"].text, "08:00");
    qv::sql::Stmt monday(db->handle(),
                         QString::fromUtf8("SELECT \"1\", \"40\" FROM Agenda WHERE giorno = 'lunedì'"));
    ASSERT_TRUE(monday.step());
    EXPECT_EQ(monday.text(0), "08:00") << "nothing was written into Monday's row";
    EXPECT_EQ(monday.text(1), "17:45");
    monday.reset();

    // "Impostazione orario": Edit then Update stores the shown times, typed or not.
    (*agenda)["1"].type("08:30");
    (*agenda)["2"].text = "08:20";
    rs.Edit();
    rs.Update();
    EXPECT_FALSE((*agenda)["1"].changed);
    qv::sql::Stmt wednesday(db->handle(),
                            QString::fromUtf8("SELECT \"1\", \"2\" FROM Agenda WHERE giorno = 'mercoledì'"));
    ASSERT_TRUE(wednesday.step());
    EXPECT_EQ(wednesday.text(0), "08:30");
    EXPECT_EQ(wednesday.text(1), "08:20");
    wednesday.reset();
    ASSERT_TRUE(monday.step());
    EXPECT_EQ(monday.text(0), "08:00");
    monday.reset();

    // Loading the same weekday again (a week later) refills the boxes from the row.
    loadDay("mercoledì");
    EXPECT_EQ((*agenda)["1"].text, "08:30");
    EXPECT_EQ((*agenda)["40"].text, "17:45");
    EXPECT_FALSE((*agenda)["1"].changed);

    // Criteria match regardless of case, accented letters included; no match keeps the row.
    rs.FindFirst(QString::fromUtf8("giorno='LUNEDÌ'"));
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ(rs.Fields("giorno").toString(), QString::fromUtf8("lunedì"));
    rs.FindFirst("giorno = 'lunedi'");
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_EQ(rs.Fields("giorno").toString(), QString::fromUtf8("lunedì"));
    EXPECT_EQ(errorOf([&] { rs.FindFirst("giorno = 'l'unedì'"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([&] { rs.FindFirst("giorno lunedì"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([&] { rs.FindFirst("giornata = 'lunedì'"); }), err::ItemNotFound);
    EXPECT_EQ(errorOf([&] { rs.Seek("=", 1); }), err::OperationNotSupported);
}

TEST_F(RecordSetTest, FindFirstOnATableRecordSetWritesFirst) {
    addPatients({"Rossi", "Bianchi", QString::fromUtf8("Nicolò")});
    auto s = card();
    RecordSet& rs = s->rs();
    (*s)["Nome"].type("Luigi");
    rs.FindFirst(QString::fromUtf8("Cognome = 'NICOLÒ'"));
    EXPECT_EQ(stored(1, "Nome").toString(), "Luigi");
    EXPECT_EQ((*s)["ID"].text, "3");
    rs.FindFirst("Cognome = 'Nessuno'");
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_EQ((*s)["ID"].text, "3");
}

TEST_F(RecordSetTest, ClosingTheDataControlWritesAndTheDestructorNeverThrows) {
    addPatients({"Rossi"});
    {
        auto s = card();
        s->rs();
        (*s)["Nome"].type("Anna");
        // Destroyed with a pending edit: still written, without calling the screen back.
        bool called = false;
        s->data->onValidate = [&] { called = true; };
        s->data.reset();
        EXPECT_FALSE(called);
    }
    EXPECT_EQ(stored(1, "Nome").toString(), "Anna");
    {
        sqlExec("CREATE TRIGGER guard BEFORE UPDATE ON Pazienti BEGIN SELECT RAISE(ABORT, 'no'); END");
        auto s = card();
        s->rs();
        (*s)["Nome"].type("Persa");
        EXPECT_NO_THROW(s->data.reset());
    }
    EXPECT_EQ(stored(1, "Nome").toString(), "Anna");
}

} // namespace

// ---------------------------------------------------------------------------------------
// Keys kept across a Refresh, and FindFirst in the engine

namespace {

TEST_F(RecordSetTest, ARefreshSeesRowsWrittenBesideTheStoreOrByAnotherConnection) {
    addPatients({"Rossi", "Bianchi"});
    auto s = card();
    s->data->Refresh();
    EXPECT_EQ(s->rs().RecordCount(), 2);

    // A statement run on the shared connection without telling the store.
    qv::sql::Stmt(db->handle(), QStringLiteral("INSERT INTO Pazienti (Cognome) VALUES ('Verdi')")).run();
    s->data->Refresh();
    EXPECT_EQ(s->rs().RecordCount(), 3);

    // Another program on the same file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "DELETE FROM Pazienti WHERE Cognome = 'Rossi'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    s->data->Refresh();
    EXPECT_EQ(s->rs().RecordCount(), 2);
    EXPECT_EQ((*s)["Cognome"].text, "Bianchi");

    // The store's own writes, on this table or another, leave the keys right.
    auto agenda = screen(QStringLiteral("Agenda"), {QStringLiteral("1")}, RecordSet::Type::Dynaset);
    agenda->rs().MoveFirst();
    (*agenda)["1"].type("Visita");
    agenda->data->UpdateRecord();
    s->rs().AddNew();
    (*s)["Cognome"].type("Neri");
    s->rs().Update();
    s->data->Refresh();
    EXPECT_EQ(s->rs().RecordCount(), 3);
    s->rs().MoveLast();
    EXPECT_EQ((*s)["Cognome"].text, "Neri");
}

TEST_F(RecordSetTest, FindFirstTakesPatternCharactersForThemselves) {
    addPatients({"Rossi", "ro*", "[Ab]#?", "Àb"});
    auto s = card();
    RecordSet& rs = s->rs();
    rs.FindFirst("Cognome = 'RO*'");
    EXPECT_FALSE(rs.NoMatch());
    EXPECT_EQ((*s)["ID"].text, "2");
    rs.FindFirst("Cognome = '[ab]#?'");
    EXPECT_EQ((*s)["ID"].text, "3");
    rs.FindFirst("Cognome = 'àB'");
    EXPECT_EQ((*s)["ID"].text, "4");
    rs.FindFirst("Cognome = 'Ros?i'");
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_EQ((*s)["ID"].text, "4");
}

} // namespace

TEST_F(RecordSetTest, RowsAnotherProgramChangesBeforeTheFirstMoveAreNeitherSkippedNorOverrun) {
    addPatients({"Rossi", "Bianchi", "Verdi"});
    auto s = card();
    s->data->Refresh();
    ASSERT_EQ((*s)["Cognome"].text, "Rossi");

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "DELETE FROM Pazienti WHERE Cognome IN ('Rossi', 'Verdi');"
                           "INSERT INTO Pazienti (Cognome) VALUES ('Neri')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);

    s->rs().MoveNext();
    EXPECT_EQ((*s)["Cognome"].text, "Bianchi");
    s->rs().MoveLast();
    EXPECT_EQ((*s)["Cognome"].text, "Neri");
    s->rs().MovePrevious();
    EXPECT_EQ((*s)["Cognome"].text, "Bianchi");
    EXPECT_EQ(s->rs().RecordCount(), 2);
}
