// What the search and the list need of the record store: statements and the view read their
// rows as they are walked or shown, a seek never lands on a removed row, and the grid's model
// sorts as the user reads names.
#include "platform/BoundGrid.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"

#include <QItemSelectionModel>
#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

class SearchStore : public ArchiveTest {
protected:
    void SetUp() override {
        execSql(fp.dbPath(),
                "INSERT INTO Pazienti (ID, Cognome, Nome, Note) VALUES"
                " (1, 'Rossi', 'Mario', 'note di Rossi'), (2, 'Bianchi', 'Anna', NULL),"
                " (3, 'Rossetti', 'Luca', NULL), (5, 'Verdi', 'Sara', NULL), (9, 'Rosati', 'Elena', NULL)");
    }

    void open(DataControl& data, const QString& source) {
        data.setDatabaseName(fp.dbPath());
        data.setRecordSource(source);
        data.setRecordsetType(RecordSet::Type::Dynaset);
        data.Refresh();
    }

    // The walk as the search makes it: each row's ID and surname.
    static QStringList walk(RecordSet& records) {
        QStringList out;
        for (records.MoveFirst(); !records.Eof(); records.MoveNext())
            out << records.Fields(QStringLiteral("Id")).toString() + QLatin1Char(' ') +
                       records.Fields(QStringLiteral("cognome")).toString();
        return out;
    }
};

TEST_F(SearchStore, aStatementKeepsItsRowsAsOfItsRefreshAndReadsTheirValuesAsItWalks) {
    DataControl data;
    open(data, QStringLiteral("Select * From Pazienti Where Cognome   Like '*ros*'"));
    RecordSet& records = data.Recordset();
    EXPECT_EQ(3, records.RecordCount());
    EXPECT_EQ(walk(records), (QStringList{"1 Rossi", "3 Rossetti", "9 Rosati"}));
    EXPECT_EQ("note di Rossi",
              records.allRows()[0][data.Recordset().fieldNames().indexOf("Note")].toString().toStdString());

    // Another program renames one of its rows so that it no longer matches, and adds one that
    // does: the set keeps its own rows, with what they hold now.
    execSql(fp.dbPath(), "UPDATE Pazienti SET Cognome = 'Neri' WHERE ID = 3;"
                         "INSERT INTO Pazienti (ID, Cognome) VALUES (10, 'Rosa')");
    EXPECT_EQ(walk(records), (QStringList{"1 Rossi", "3 Neri", "9 Rosati"}));
    data.Refresh();
    EXPECT_EQ(walk(data.Recordset()), (QStringList{"1 Rossi", "9 Rosati", "10 Rosa"}));
}

TEST_F(SearchStore, aRowRemovedSinceTheRefreshIsNoLongerLandedOn) {
    DataControl data;
    open(data, QStringLiteral("Select * From Pazienti Where Cognome Like '*'"));
    RecordSet& records = data.Recordset();
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 3");
    QStringList seen;
    for (; !records.Eof(); records.MoveNext())
        if (records.hasCurrent())
            seen << records.Fields(QStringLiteral("Id")).toString();
    EXPECT_EQ(seen, (QStringList{"1", "2", "5", "9"}));

    // Column by column, a removed row gives no value.
    DataControl again;
    open(again, QStringLiteral("Pazienti Query"));
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID = 5");
    const int cognome = int(again.Recordset().fieldNames().indexOf("Cognome"));
    const ColumnValues read = again.Recordset().readValues(cognome);
    QStringList values;
    for (int number : read.of)
        values << (read.values[size_t(number)].isNull() ? QStringLiteral("-")
                                                        : read.values[size_t(number)].toString());
    EXPECT_EQ(values, (QStringList{"Rossi", "Bianchi", "-", "Rosati"}));
    EXPECT_EQ("Rosati", again.Recordset().rowAt(3)[size_t(cognome)].toString().toStdString());
    EXPECT_TRUE(again.Recordset().rowAt(4)[size_t(cognome)].isNull()) << "past the end";
}

TEST_F(SearchStore, theViewIsKeyedByItsIdentifiersAndFindFirstLooksOnlyAmongItsRows) {
    DataControl list;
    open(list, QStringLiteral("Pazienti Query"));
    RecordSet& rows = list.Recordset();
    EXPECT_EQ(5, rows.RecordCount());
    EXPECT_EQ("9", rows.rowAt(4)[0].toString().toStdString());
    rows.MoveLast();
    EXPECT_EQ("9", rows.Bookmark().toString().toStdString());

    DataControl search;
    open(search, QStringLiteral("Select * From Pazienti Where Cognome Like 'Ros*'"));
    search.Recordset().FindFirst(QStringLiteral("Cognome = 'verdi'"));
    EXPECT_TRUE(search.Recordset().NoMatch()) << "Verdi is in the table, not in the set";
    search.Recordset().FindFirst(QStringLiteral("Cognome = 'ROSATI'"));
    EXPECT_FALSE(search.Recordset().NoMatch());
    EXPECT_EQ("9", search.Recordset().Fields(QStringLiteral("ID")).toString().toStdString());
}

TEST_F(SearchStore, theSearchedFieldsAreReadFromTheirIndexesNotFromTheRows) {
    auto db = Database::open(fp.dbPath());
    const auto plan = [&](const char* statement) {
        QString out;
        sql::Stmt q(db->handle(), QStringLiteral("EXPLAIN QUERY PLAN ") + QString::fromUtf8(statement));
        if (std::string(statement).find("?1") != std::string::npos)
            q.bind(1, QStringLiteral("*ros*"));
        while (q.step())
            out += q.text(3) + QLatin1Char(';');
        return out.toStdString();
    };
    // What a statement record set and the list's sort ask of the engine.
    for (const char* field : {"Cognome", "Nome", "Società", "Attività"}) {
        const QString statement = QStringLiteral("SELECT rowid FROM \"Pazienti\" WHERE qv_like(?1, \"%1\")")
                                      .arg(QString::fromUtf8(field));
        EXPECT_NE(std::string::npos, plan(statement.toUtf8().constData()).find("COVERING INDEX")) << field;
    }
    EXPECT_NE(std::string::npos,
              plan("SELECT \"ID\", \"Cognome\" FROM \"Pazienti Query\"").find("Pazienti_Cognome"));
}

TEST_F(SearchStore, whatTheSearchAndTheListReadIsTheSameWithOrWithoutTheIndexes) {
    DataControl search, list, table;
    QStringList asked;
    search.setKeptFields({QStringLiteral("cognome"), QStringLiteral("Nome"), QStringLiteral("COGNOME")});
    const auto read = [&] {
        open(search, QStringLiteral("Select * From Pazienti Where Cognome Like '*ros*'"));
        const auto texts = search.Recordset().keptTexts();
        const int cognome = texts->slotOf(search.Recordset().columnOf(QStringLiteral("Cognome")));
        const int nome = texts->slotOf(search.Recordset().columnOf(QStringLiteral("nome")));
        QStringList out;
        for (int p = 0; p < texts->count(); ++p)
            out << QString::number(texts->key(p)) + u' ' + texts->text(p, cognome) + u' ' +
                       texts->text(p, nome);
        open(list, QStringLiteral("Pazienti Query"));
        const ColumnValues surnames = list.Recordset().readValues(2);
        for (int number : surnames.of)
            out << surnames.values[size_t(number)].toString();
        // The first patient in the table's order whose surname is one of two: by ID, not by
        // the surname's order.
        table.setDatabaseName(fp.dbPath());
        table.setRecordSource(QStringLiteral("Pazienti"));
        table.Refresh();
        const QVariant first = table.Recordset().firstBookmarkWhere(1, [&](const QVariant& surname) {
            asked << surname.toString();
            return surname.toString() == QLatin1String("Rosati") ||
                   surname.toString() == QLatin1String("Rossetti");
        });
        out << first.toString();
        return out;
    };
    const QStringList expected{"1 Rossi Mario", "3 Rossetti Luca", "9 Rosati Elena", "Rossi", "Bianchi",
                               "Rossetti",      "Verdi",           "Rosati",         "3"};
    const auto askedOnce = [&] {
        const QStringList all = asked;
        asked.removeDuplicates();
        return all.size() == asked.size();
    };
    EXPECT_EQ(read(), expected);
    EXPECT_TRUE(askedOnce()) << "no surname asked about twice";
    // An archive that has not got them yet (another program held it when it was opened).
    execSql(fp.dbPath(), "DROP INDEX Pazienti_Cognome_Nome; DROP INDEX \"Pazienti_Società_Attività\";"
                         "DROP INDEX Pazienti_Richiamo");
    asked.clear();
    EXPECT_EQ(read(), expected);
    EXPECT_TRUE(askedOnce());
}

TEST_F(SearchStore, aSeekNeverLandsOnARowAnotherProgramRemoved) {
    DataControl card;
    card.setDatabaseName(fp.dbPath());
    card.setRecordSource(QStringLiteral("Pazienti"));
    RecordSet& records = card.Recordset();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), 2);
    execSql(fp.dbPath(), "DELETE FROM Pazienti WHERE ID IN (3, 5)");
    records.Seek(QStringLiteral("="), QStringLiteral("    3"));
    EXPECT_TRUE(records.NoMatch());
    EXPECT_EQ("Bianchi", records.Fields(QStringLiteral("Cognome")).toString().toStdString());
    records.Seek(QStringLiteral(">="), 3);
    EXPECT_FALSE(records.NoMatch());
    EXPECT_EQ("9", records.Fields(QStringLiteral("ID")).toString().toStdString());
    records.Seek(QStringLiteral("<"), 9);
    EXPECT_EQ("2", records.Fields(QStringLiteral("ID")).toString().toStdString());
}

TEST_F(SearchStore, theGridSortsAsTextIgnoringCaseWithAccentedLettersBesideTheirBase) {
    execSql(fp.dbPath(), "DELETE FROM Pazienti;"
                         "INSERT INTO Pazienti (ID, Cognome) VALUES (1, 'Zeta'), (2, 'èrcole'), (3, 'Eco'),"
                         " (4, 'ROSSI'), (5, 'rossi'), (6, 'Fabbri'), (7, NULL), (8, '100'), (9, '99')");
    DataControl list;
    open(list, QStringLiteral("Pazienti Query"));
    BoundGridModel model(list);
    model.reload();
    ASSERT_EQ(9, model.rowCount());
    const int cognome = 2;
    EXPECT_EQ("Zeta", model.text(0, cognome).toStdString()) << "unsorted: the query's order";

    QItemSelectionModel selection(&model);
    selection.setCurrentIndex(model.index(3, cognome), QItemSelectionModel::NoUpdate); // ROSSI
    const auto texts = [&] {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.text(r, 0) + QLatin1Char(':') + model.text(r, cognome);
        return out;
    };
    model.sort(cognome, Qt::AscendingOrder);
    EXPECT_EQ(texts(), (QStringList{"7:", "8:100", "9:99", "3:Eco", "2:èrcole", "6:Fabbri", "4:ROSSI",
                                    "5:rossi", "1:Zeta"}));
    EXPECT_EQ(6, selection.currentIndex().row()) << "the current cell follows its row";
    model.sort(cognome, Qt::DescendingOrder);
    EXPECT_EQ(texts(), (QStringList{"1:Zeta", "4:ROSSI", "5:rossi", "6:Fabbri", "2:èrcole", "3:Eco", "9:99",
                                    "8:100", "7:"}));
    EXPECT_EQ(3, model.position(1)) << "sorting moves the grid's rows, not the record set";
    EXPECT_EQ("Zeta", list.Recordset().Fields(QStringLiteral("Cognome")).toString().toStdString());

    // A refresh with one more row: unsorted again, every row shown.
    execSql(fp.dbPath(), "INSERT INTO Pazienti (ID, Cognome) VALUES (10, 'Abate')");
    list.Refresh();
    model.reload();
    EXPECT_EQ(10, model.rowCount());
    EXPECT_EQ("Abate", model.text(9, cognome).toStdString());
}

} // namespace
