// Record source statements, criteria and the Like patterns, read on their own and run
// through a data control over a real database file, as the search screen runs them.
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/Statement.h"
#include "store/StoreError.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sql.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

using qv::likeMatches;
using qv::parseCriteria;
using qv::parseRecordSource;
using qv::StoreError;
namespace err = qv::err;

using qv::test::errorOf;
using qv::test::u;

namespace {

// ---------------------------------------------------------------------------------------
// Reading record sources

TEST(RecordSourceText, TableAndViewNames) {
    EXPECT_EQ(parseRecordSource("Pazienti").table, "Pazienti");
    EXPECT_FALSE(parseRecordSource("Pazienti").field.has_value());
    EXPECT_EQ(parseRecordSource("Pazienti Query").table, "Pazienti Query");
    EXPECT_EQ(parseRecordSource("  Agenda\t").table, "Agenda");
    EXPECT_EQ(parseRecordSource("[Pazienti Query]").table, "Pazienti Query");
    EXPECT_EQ(parseRecordSource("\"Pazienti Query\"").table, "Pazienti Query");
    EXPECT_EQ(errorOf([] { parseRecordSource(""); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseRecordSource("Pazienti; DROP TABLE Agenda"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseRecordSource("Pazienti'"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseRecordSource("Delete From Pazienti"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseRecordSource("drop table Pazienti"); }), err::SyntaxError);
}

TEST(RecordSourceText, TheSearchStatementInAnyCaseAndSpacing) {
    auto s = parseRecordSource("Select * From Pazienti Where Cognome   Like '*ros*'");
    EXPECT_EQ(s.table, "Pazienti");
    ASSERT_TRUE(s.field.has_value());
    EXPECT_EQ(*s.field, "Cognome");
    EXPECT_EQ(s.pattern, "*ros*");

    s = parseRecordSource("  sElEcT\t*  fRoM   Pazienti\tWHERE  Nome\t\tlike\t'*a*'  ");
    EXPECT_EQ(*s.field, "Nome");
    EXPECT_EQ(s.pattern, "*a*");

    s = parseRecordSource(u("Select * From Pazienti Where Società   Like '*Dentalia*'"));
    EXPECT_EQ(*s.field, u("Società"));
    s = parseRecordSource(u("Select * From Pazienti Where Attività   Like '**'"));
    EXPECT_EQ(*s.field, u("Attività"));
    EXPECT_EQ(s.pattern, "**");

    s = parseRecordSource("Select * From [Pazienti Query] Where [Telefono Casa] Like '06*';");
    EXPECT_EQ(s.table, "Pazienti Query");
    EXPECT_EQ(*s.field, "Telefono Casa");
    EXPECT_EQ(s.pattern, "06*");

    s = parseRecordSource("Select * From Pazienti Where Cognome Like '*D''Amico*'");
    EXPECT_EQ(s.pattern, "*D'Amico*");
    s = parseRecordSource("Select * From Pazienti Where Cognome Like ''''");
    EXPECT_EQ(s.pattern, "'");
}

TEST(RecordSourceText, MalformedStatementsFailWith3075) {
    const char* bad[] = {
        "Select * From Pazienti Where Cognome   Like '*D'Amico*'",
        "Select * From Pazienti Where Cognome Like '*ros*",
        "Select * From Pazienti Where Cognome Like *ros*",
        "Select * From Pazienti Where Cognome = '*ros*'",
        "Select Cognome From Pazienti Where Cognome Like '*'",
        "Select * From Pazienti",
        "Select * From Where Cognome Like 'x'",
        "Select * From Pazienti Where Cognome Like 'x' Or 1=1",
        "Select * From Pazienti Where Cognome Like '*x' OR '1'='1*'",
        "Select * From Pazienti Where Cognome Like '*'; DROP TABLE Pazienti; --*'",
        "Select * From Pazienti Where Like 'x'",
        "Select * From Pazienti Where Cognome LikeX 'x'",
        "Select * From Pazienti Where Cognome Like 'x';;",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        try {
            parseRecordSource(QString::fromUtf8(text));
            ADD_FAILURE() << "accepted";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.number(), err::SyntaxError);
            EXPECT_TRUE(
                e.description().startsWith("Errore di sintassi (operatore mancante) nell'espressione"))
                << e.description().toStdString();
        }
    }
}

TEST(CriteriaText, FieldEqualsQuotedText) {
    auto c = parseCriteria(u("giorno =   'lunedì'"));
    EXPECT_EQ(c.field, "giorno");
    EXPECT_EQ(c.value, u("lunedì"));
    c = parseCriteria("giorno='x'");
    EXPECT_EQ(c.value, "x");
    c = parseCriteria("  [Data richiamo]\t=\t'it''s'  ");
    EXPECT_EQ(c.field, "Data richiamo");
    EXPECT_EQ(c.value, "it's");
    EXPECT_EQ(errorOf([] { parseCriteria("giorno = lunedì"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseCriteria("giorno = 'a' OR 'b' = 'b'"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseCriteria("= 'a'"); }), err::SyntaxError);
    EXPECT_EQ(errorOf([] { parseCriteria("giorno = 'unterminated"); }), err::SyntaxError);
}

// ---------------------------------------------------------------------------------------
// Like

TEST(Like, EachWildcard) {
    EXPECT_TRUE(likeMatches("*ros*", "Rossi"));
    EXPECT_TRUE(likeMatches("*ros*", "Del Rosso"));
    EXPECT_TRUE(likeMatches("*ros*", "ros"));
    EXPECT_FALSE(likeMatches("*ros*", "Russo"));
    EXPECT_TRUE(likeMatches("*", ""));
    EXPECT_TRUE(likeMatches("**", ""));
    EXPECT_FALSE(likeMatches("?", ""));
    EXPECT_TRUE(likeMatches("R?ssi", "Rossi"));
    EXPECT_TRUE(likeMatches("R?ssi", "Russi"));
    EXPECT_FALSE(likeMatches("R?ssi", "Rssi"));
    EXPECT_TRUE(likeMatches("06#", "061"));
    EXPECT_FALSE(likeMatches("06#", "06a"));
    EXPECT_TRUE(likeMatches("###-*", "123-4567"));
    EXPECT_TRUE(likeMatches("[BR]ossi", "Rossi"));
    EXPECT_TRUE(likeMatches("[BR]ossi", "bossi"));
    EXPECT_FALSE(likeMatches("[BR]ossi", "Mossi"));
    EXPECT_TRUE(likeMatches("[!BR]ossi", "Mossi"));
    EXPECT_FALSE(likeMatches("[!BR]ossi", "Rossi"));
    EXPECT_TRUE(likeMatches("[a-f]*", "Esposito"));
    EXPECT_FALSE(likeMatches("[a-f]*", "Rossi"));
    EXPECT_TRUE(likeMatches("[!a-f]*", "Rossi"));
    EXPECT_TRUE(likeMatches("a[*]b", "a*b"));
    EXPECT_FALSE(likeMatches("a[*]b", "axb"));
    EXPECT_TRUE(likeMatches("[?]", "?"));
    EXPECT_TRUE(likeMatches("[#]", "#"));
    EXPECT_TRUE(likeMatches("100%", "100%"));
    EXPECT_FALSE(likeMatches("100%", "1000"));
    EXPECT_TRUE(likeMatches("a_b", "a_b"));
    EXPECT_FALSE(likeMatches("a_b", "axb"));
    EXPECT_TRUE(likeMatches("*[*", "x[")) << "an unclosed bracket stands for itself";
    EXPECT_TRUE(likeMatches("D'Amico", "d'amico"));
    EXPECT_TRUE(likeMatches("Rossi", "ROSSI"));
    EXPECT_FALSE(likeMatches("Rossi", "Rossi "));
}

TEST(Like, CaseIsIgnoredAccentsAreNot) {
    EXPECT_TRUE(likeMatches(u("*È*"), u("caffè")));
    EXPECT_TRUE(likeMatches(u("*è*"), u("PERCHÈ")));
    EXPECT_TRUE(likeMatches(u("nicolò"), u("NICOLÒ")));
    EXPECT_FALSE(likeMatches("*e*", u("caffè")));
    EXPECT_FALSE(likeMatches(u("*è*"), "caffe"));
    EXPECT_TRUE(likeMatches(u("[à-ù]"), u("È")));
    EXPECT_TRUE(likeMatches(u("Società"), u("SOCIETÀ")));
    EXPECT_TRUE(likeMatches(u("?"), u("😀"))) << "one character, even outside the basic plane";
}

TEST(Like, ManyStarsStayFast) {
    // With exponential back-tracking this would not end in any reasonable time.
    const QString value(5000, QLatin1Char('a'));
    EXPECT_FALSE(likeMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", value));
    EXPECT_TRUE(likeMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*", value));
}

TEST(Like, SameTextIgnoresCaseOnly) {
    EXPECT_TRUE(qv::sameText(u("Lunedì"), u("LUNEDÌ")));
    EXPECT_FALSE(qv::sameText(u("lunedì"), u("lunedi")));
    EXPECT_FALSE(qv::sameText(u("lunedì"), u("lunedì ")));
}

// ---------------------------------------------------------------------------------------
// Statements run through a data control

class SearchTest : public qv::test::FolderTest {
protected:
    std::shared_ptr<qv::Database> db;
    qv::DataControl data;

    void SetUp() override {
        ASSERT_TRUE(fp.dir.isValid());
        db = qv::Database::open(path());
        qv::test::insertRows(path(), "Pazienti", {"Cognome", "Nome", "Società", "Attività"},
                             {{"Rossi", "Mario", "Dentalia", "Impiegato"},
                              {"Bianchi", "Rosa", nullptr, "Dott. Rossetti"},
                              {"DEL ROSSO", "Luca", "Società Alfa", nullptr},
                              {nullptr, "Rosanna", "Ditta È", "Medico"},
                              {"D'Amico", "Carla", nullptr, nullptr},
                              {"Russo", "Piero", "Dentalia", "Attività varie"},
                              {"", "Ross", nullptr, nullptr}});
        data.setDatabaseName(path());
    }

    // The IDs a statement delivers, in order, as the search walks them.
    std::vector<qint64> run(const QString& statement) {
        data.setRecordSource(statement);
        data.Refresh();
        std::vector<qint64> ids;
        qv::RecordSet& rs = data.Recordset();
        while (!rs.Eof()) {
            ids.push_back(rs.Fields("Id").toLongLong());
            rs.MoveNext();
        }
        return ids;
    }

    // The statement the search screen builds from an option's condition and a fragment.
    static QString search(const char* condition, const QString& fragment) {
        return QStringLiteral("Select * From Pazienti ") + QString::fromUtf8(condition) + fragment +
               QStringLiteral("*'");
    }

    int patientCount() {
        qv::sql::Stmt q(db->handle(), "SELECT count(*) FROM Pazienti");
        q.step();
        return int(q.int64(0));
    }
};

using Ids = std::vector<qint64>;

TEST_F(SearchTest, TheFourSearchConditions) {
    EXPECT_EQ(run("Select * From Pazienti Where Cognome   Like '*ros*'"), (Ids{1, 3}));
    EXPECT_EQ(run(search("Where Cognome   Like '*", "ros")), (Ids{1, 3}));
    EXPECT_EQ(run(search("Where Nome   Like '*", "ros")), (Ids{2, 4, 7}));
    EXPECT_EQ(run(search("Where Società   Like '*", "dental")), (Ids{1, 6}));
    EXPECT_EQ(run(search("Where Società   Like '*", u("SOCIETÀ"))), (Ids{3}));
    EXPECT_EQ(run(search("Where Attività   Like '*", "ROSS")), (Ids{2}));
    EXPECT_EQ(data.Recordset().type(), qv::RecordSet::Type::Dynaset);
}

TEST_F(SearchTest, EmptyFragmentMatchesEveryNonNullValue) {
    EXPECT_EQ(run(search("Where Cognome   Like '*", "")), (Ids{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(run(search("Where Attività   Like '*", "")), (Ids{1, 2, 4, 6}));
}

TEST_F(SearchTest, NoMatchGivesAnEmptySetWithBothEnds) {
    EXPECT_TRUE(run(search("Where Cognome   Like '*", "zzz")).empty());
    EXPECT_TRUE(data.Recordset().Bof());
    EXPECT_TRUE(data.Recordset().Eof());
    EXPECT_EQ(data.Recordset().RecordCount(), 0);
}

TEST_F(SearchTest, TypedWildcardsKeepTheirMeaningAccentsMatchIgnoringCase) {
    EXPECT_EQ(run(search("Where Cognome   Like '*", "R?ss")), (Ids{1, 3, 6}));
    EXPECT_EQ(run(search("Where Cognome   Like '*", "[dr]")), (Ids{1, 3, 5, 6}));
    EXPECT_EQ(run(search("Where Società   Like '*", u("è"))), (Ids{4}));
    EXPECT_EQ(run(search("Where Società   Like '*", "ditta e")), (Ids{})) << "e does not match È";
}

TEST_F(SearchTest, AnApostropheFailsWith3075AndRunsNothing) {
    EXPECT_EQ(errorOf([&] { run(search("Where Cognome   Like '*", "D'Amico")); }), err::SyntaxError);
    EXPECT_FALSE(data.isOpen());
    // Doubled, as a careful caller would write it, it is one apostrophe.
    EXPECT_EQ(run(search("Where Cognome   Like '*", "D''Amico")), (Ids{5}));
}

TEST_F(SearchTest, InjectionAttemptsNeverRunAsStatements) {
    const char* fragments[] = {
        "x' OR '1'='1",
        "'; DROP TABLE Pazienti; --",
        "x' UNION SELECT * FROM Agenda --",
        "'; DELETE FROM Pazienti WHERE '1'='1",
    };
    for (const char* f : fragments) {
        SCOPED_TRACE(f);
        EXPECT_EQ(errorOf([&] { run(search("Where Cognome   Like '*", QString::fromUtf8(f))); }),
                  err::SyntaxError);
    }
    // Doubled quotes make the whole fragment literal text: it matches nothing.
    EXPECT_TRUE(run(search("Where Cognome   Like '*", "x'' OR ''1''=''1")).empty());
    EXPECT_TRUE(run(search("Where Cognome   Like '*", "''; DROP TABLE Pazienti; --")).empty());
    // Field and table names are checked against the file, never pasted in as given.
    EXPECT_EQ(errorOf([&] { run("Select * From Pazienti Where [Cognome\" OR 1=1 --] Like '*'"); }),
              err::ItemNotFound);
    EXPECT_EQ(
        errorOf([&] { run("Select * From [Pazienti\"; DROP TABLE Agenda; --] Where Cognome Like '*'"); }),
        err::NoSuchTable);
    EXPECT_EQ(errorOf([&] { run("Select * From sqlite_master Where name Like '*'"); }), err::NoSuchTable);
    EXPECT_EQ(patientCount(), 7);
    EXPECT_TRUE(db->table("Agenda").has_value());
    qv::sql::Stmt agenda(db->handle(), "SELECT count(*) FROM Agenda");
    ASSERT_TRUE(agenda.step());
    EXPECT_EQ(agenda.int64(0), 7);
}

TEST_F(SearchTest, UnknownFieldOrTableFailsWhenRefreshed) {
    data.setRecordSource("Select * From Pazienti Where Cognomi Like '*'");
    EXPECT_FALSE(data.isOpen()) << "setting the record source only keeps the text";
    EXPECT_EQ(errorOf([&] { data.Refresh(); }), err::ItemNotFound);
    EXPECT_EQ(errorOf([&] { run("Select * From Clienti Where Cognome Like '*'"); }), err::NoSuchTable);
    EXPECT_EQ(run("select * from PAZIENTI where COGNOME like 'rossi'"), (Ids{1}));
}

TEST_F(SearchTest, AStatementShowsItsRowsAsOfItsRefresh) {
    EXPECT_EQ(run(search("Where Cognome   Like '*", "ros")), (Ids{1, 3}));
    // Stored beside the store, which notices it by itself.
    qv::sql::Stmt insert(db->handle(), "INSERT INTO Pazienti (Cognome) VALUES ('Rosetti')");
    insert.run();
    data.Recordset().MoveFirst();
    EXPECT_EQ(data.Recordset().RecordCount(), 2);
    data.Refresh();
    EXPECT_EQ(data.Recordset().RecordCount(), 3);
}

} // namespace
