// Day files: their bytes, reading them back, and writing them without ever leaving half a file.
#include "agenda/DayFile.h"
#include "tests/support/AsUser.h"
#include "tests/support/Files.h"
#include "tests/support/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qv;
using namespace qv::test;

namespace {

QStringList boxes(const QStringList& first) {
    QStringList texts = first;
    while (texts.size() < dayfile::kBoxes)
        texts << QString();
    return texts;
}

class DayFiles : public ::testing::Test {
protected:
    void SetUp() override { dayfile::ensureFolder(dir.path()); }
    QString path(const char* title = "lunedì 6 dicembre  2004") const {
        return dayfile::filePath(dir.path(), u(title));
    }
    QStringList entries() const {
        return QDir(dayfile::folderPath(dir.path()))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

TEST(DayFileFormat, OneQuotedLinePerBoxInCodePage1252) {
    EXPECT_EQ(QByteArray("\"\"\r\n").repeated(124), dayfile::encode(boxes({})));

    // Texts go in unchanged: commas, blanks at either end, accented letters one byte each.
    const QStringList texts = boxes({u("08:00"), u("Rossi, Mario"), u("  prima visita  "), u("Nicolò €5")});
    const QByteArray bytes = dayfile::encode(texts);
    EXPECT_TRUE(bytes.startsWith("\"08:00\"\r\n\"Rossi, Mario\"\r\n\"  prima visita  \"\r\n\"Nicol\xF2 \x80"
                                 "5\"\r\n\"\"\r\n"));
    qsizetype length = 0;
    for (const QString& t : texts)
        length += t.size();
    EXPECT_EQ(length + 4 * 124, bytes.size());
    EXPECT_EQ(texts, dayfile::decode(bytes));
}

TEST(DayFileFormat, AFileWrittenByHandReadsAndWritesBackByteForByte) {
    // As another program writes it: code page 1252, CR LF, no escaping, 124 lines.
    QByteArray hand;
    hand += "\"09:30\"\r\n";
    hand += "\"Caff\xE8, poi \x93igiene\x94 \x96 30\x80\"\r\n";
    hand += "\" ,, \"\r\n";
    for (int i = 3; i < 124; ++i)
        hand += "\"\"\r\n";
    const QStringList values = dayfile::decode(hand);
    ASSERT_EQ(124, values.size());
    EXPECT_EQ(u("09:30"), values[0]);
    EXPECT_EQ(u("Caffè, poi “igiene” – 30€"), values[1]);
    EXPECT_EQ(u(" ,, "), values[2]);
    EXPECT_EQ(hand, dayfile::encode(values));
}

TEST(DayFileFormat, DoubleQuotesAreDoubledAndReadBackAsOne) {
    const QStringList texts = boxes({u("dente \"del giudizio\""), u("\""), u("5\", poi"), u("\"\"")});
    const QByteArray bytes = dayfile::encode(texts);
    EXPECT_TRUE(
        bytes.startsWith("\"dente \"\"del giudizio\"\"\"\r\n\"\"\"\"\r\n\"5\"\", poi\"\r\n\"\"\"\"\"\"\r\n"));
    EXPECT_EQ(texts, dayfile::decode(bytes)) << "no value shifts onto the next box";

    // A file of the old kind, with quotes written undoubled, still gives each line's text.
    EXPECT_EQ(QStringList({u("dice \"ciao\" a tutti"), u("a\", b"), u("z")}),
              dayfile::decode("\"dice \"ciao\" a tutti\"\r\n\"a\", b\"\r\n\"z\"\r\n"));
}

TEST(DayFileFormat, TextsOutsideCodePage1252MakeTheWholeFileUtf8WithAMark) {
    const QStringList texts = boxes({u("Łukasz"), u("è"), u("日本 🦷")});
    const QByteArray bytes = dayfile::encode(texts);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF\"\xC5\x81ukasz\"\r\n\"\xC3\xA8\"\r\n"));
    EXPECT_EQ(texts, dayfile::decode(bytes));
    EXPECT_FALSE(dayfile::fitsCp1252(u("Łukasz")));
    EXPECT_TRUE(dayfile::fitsCp1252(u("àèéìòù €…œŸ")));

    // The five bytes code page 1252 leaves undefined are kept through a read and a write.
    const QStringList odd = dayfile::decode("\"a\x81z\x9D\"\r\n");
    ASSERT_EQ(1, odd.size());
    EXPECT_EQ(QString(u("a")) + QChar(0x81) + u("z") + QChar(0x9D), odd[0]);
    EXPECT_EQ(odd, dayfile::decode(dayfile::encode(odd)));
    // ...as the same bytes: such a file stays in code page 1252.
    const QByteArray all("\"\x81\x8D\x8F\x90\x9D \xE8\x80\"\r\n");
    EXPECT_EQ(all, dayfile::encode(dayfile::decode(all)));
    EXPECT_TRUE(dayfile::fitsCp1252(dayfile::decode(all).value(0)));
}

TEST(DayFileFormat, LineBreaksInsideATextNeverShiftTheBoxes) {
    const QByteArray bytes = dayfile::encode(boxes({u("due\r\nrighe"), u("dopo")}));
    const QStringList values = dayfile::decode(bytes);
    ASSERT_EQ(124, values.size());
    EXPECT_EQ(u("due  righe"), values[0]);
    EXPECT_EQ(u("dopo"), values[1]);
}

TEST(DayFileFormat, LinesEndInCrLfOrAloneAndALastLineWithoutItsEndCounts) {
    EXPECT_EQ(QStringList(), dayfile::decode(QByteArray()));
    EXPECT_EQ(QStringList({u("a"), u("b"), u("c"), u("")}), dayfile::decode("\"a\"\n\"b\"\r\"c\"\r\n\"\""));
    EXPECT_EQ(QStringList({u("senza virgolette"), u("aperta")}),
              dayfile::decode("senza virgolette\r\n\"aperta"));
    // A file that went through two text-mode copies: CR CR LF is one line end.
    EXPECT_EQ(QStringList({u("a"), u("b"), u(""), u("c")}),
              dayfile::decode("\"a\"\r\r\n\"b\"\r\r\n\"\"\r\r\n\"c\"\r\r\n"));
}

TEST_F(DayFiles, ReadingStopsAtTheEndAndIgnoresLinesPastThe124th) {
    EXPECT_EQ(dayfile::ReadResult::Status::Missing, dayfile::read(path()).status);

    ASSERT_TRUE(writeFile(path(), QByteArray()));
    auto result = dayfile::read(path());
    EXPECT_EQ(dayfile::ReadResult::Status::Read, result.status);
    EXPECT_TRUE(result.values.isEmpty());

    ASSERT_TRUE(writeFile(path(), "\"1\"\r\n\"2\"\r\n\"3\"\r\n"));
    result = dayfile::read(path());
    EXPECT_EQ(QStringList({u("1"), u("2"), u("3")}), result.values);

    QByteArray many;
    for (int i = 0; i < 130; ++i)
        many += "\"" + QByteArray::number(i) + "\"\r\n";
    ASSERT_TRUE(writeFile(path(), many));
    result = dayfile::read(path());
    ASSERT_EQ(124, result.values.size());
    EXPECT_EQ(u("123"), result.values.last());

    // A folder where the file should be cannot be read; it is not "missing" either.
    QDir().mkpath(path("martedì 7 dicembre  2004"));
    EXPECT_EQ(dayfile::ReadResult::Status::Failed, dayfile::read(path("martedì 7 dicembre  2004")).status);
}

TEST_F(DayFiles, SavingReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(writeFile(path(), QByteArray("\"vecchio\"\r\n").repeated(200)));
    const QStringList texts = boxes({u("08:00"), u("Bianchi")});
    const auto saved = dayfile::save(path(), texts);
    ASSERT_TRUE(saved.ok) << saved.reason.toStdString();
    EXPECT_EQ(dayfile::encode(texts), readFile(path()));
    EXPECT_EQ(QStringList({u("lunedì 6 dicembre  2004")}), entries());

    // The name is the title in UTF-8, blanks and accented letter included.
    bool found = false;
    DIR* folder = opendir(QFile::encodeName(dayfile::folderPath(dir.path())).constData());
    ASSERT_NE(nullptr, folder);
    while (dirent* entry = readdir(folder))
        found = found || QByteArray(entry->d_name) == "luned\xC3\xAC 6 dicembre  2004";
    closedir(folder);
    EXPECT_TRUE(found);
}

TEST_F(DayFiles, AFailedSaveKeepsTheOldFileWholeAndSaysWhy) {
    // The file cannot be replaced: a folder stands in its place.
    QDir().mkpath(path());
    auto saved = dayfile::save(path(), boxes({u("nuovo")}));
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(u("nella cartella Agd c'è una cartella con lo stesso nome del file."), saved.reason);
    EXPECT_EQ(QStringList({u("lunedì 6 dicembre  2004")}), entries()) << "no temporary file is left";

    // No folder Agd, and none can be made: a file stands in its place.
    QTemporaryDir other;
    ASSERT_TRUE(writeFile(dayfile::folderPath(other.path()), "x"));
    dayfile::ensureFolder(other.path());
    saved = dayfile::save(dayfile::filePath(other.path(), u("x")), boxes({}));
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(u("la cartella Agd non esiste e non può essere creata."), saved.reason);
}

TEST(DayFilesReadOnly, AReadOnlyFolderIsReportedAndTheOldFileKept) {
    qv::test::asUnprivilegedUser([] {
        QTemporaryDir own;
        ASSERT_TRUE(own.isValid());
        dayfile::ensureFolder(own.path());
        const QString path = dayfile::filePath(own.path(), u("lunedì 6 dicembre  2004"));
        ASSERT_TRUE(writeFile(path, "\"vecchio\"\r\n"));
        const QString folder = dayfile::folderPath(own.path());
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const auto saved = dayfile::save(path, boxes({u("nuovo")}));
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(saved.ok);
        EXPECT_EQ(u("non è permesso scrivere nella cartella Agd."), saved.reason);
        EXPECT_EQ(QByteArray("\"vecchio\"\r\n"), readFile(path));

        QFile::setPermissions(path, QFileDevice::ReadOwner);
        const auto protectedFile = dayfile::save(path, boxes({u("nuovo")}));
        EXPECT_FALSE(protectedFile.ok);
        EXPECT_EQ(u("il file è protetto dalla scrittura."), protectedFile.reason);
        EXPECT_EQ(QByteArray("\"vecchio\"\r\n"), readFile(path));
    });
}

TEST_F(DayFiles, AnEmptyDayFileIsMadeOnlyWhereThereIsNone) {
    EXPECT_TRUE(dayfile::createEmpty(path()));
    EXPECT_EQ(QByteArray(), readFile(path()));
    ASSERT_TRUE(writeFile(path(), "\"tenuto\"\r\n"));
    EXPECT_TRUE(dayfile::createEmpty(path()));
    EXPECT_EQ(QByteArray("\"tenuto\"\r\n"), readFile(path()));
}

// Files copied from Windows name the date in code page 1252; a Mac names it decomposed.
TEST_F(DayFiles, ACopiedFileIsFoundUnderItsOldNameAndTakesTheProgramsNameUnchanged) {
    const QByteArray folder = QFile::encodeName(dayfile::folderPath(dir.path())) + '/';
    // Written by their bytes: Qt would not give such names back as they are.
    const auto raw = [&](const QByteArray& name, const QByteArray& bytes) {
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
    };
    raw("luned\xec 6 dicembre  2004", "\"09:00\"\r\n\"Rossi\"\r\n");
    raw("marted\xec 7 dicembre  2004", "\"vecchio\"\r\n");
    raw("mercoledi\xcc\x80 8 dicembre  2004", "\"decomposto\"\r\n");
    raw("gioved\xec 9 dicembre  2004", "\"copia\"\r\n");
    ASSERT_TRUE(writeFile(path("giovedì 9 dicembre  2004"), "\"del programma\"\r\n"));

    // Looked for when the program's name is missing: renamed, its bytes as they were.
    const auto monday = dayfile::read(path());
    ASSERT_EQ(dayfile::ReadResult::Status::Read, monday.status);
    EXPECT_EQ(QStringList({u("09:00"), u("Rossi")}), monday.values);
    EXPECT_EQ(QByteArray("\"09:00\"\r\n\"Rossi\"\r\n"), readFile(path()));
    EXPECT_TRUE(dayfile::createEmpty(path("martedì 7 dicembre  2004")));
    EXPECT_EQ(QByteArray("\"vecchio\"\r\n"), readFile(path("martedì 7 dicembre  2004")));

    // The whole folder at once; a file that has the program's name already is never replaced.
    EXPECT_EQ(1, dayfile::adoptCopiedNames(dir.path()));
    EXPECT_EQ(QByteArray("\"decomposto\"\r\n"), readFile(path("mercoledì 8 dicembre  2004")));
    EXPECT_EQ(QByteArray("\"del programma\"\r\n"), readFile(path("giovedì 9 dicembre  2004")));
    EXPECT_NE(0, ::access((folder + "luned\xec 6 dicembre  2004").constData(), F_OK)); // renamed, not copied
    EXPECT_EQ(0, ::unlink((folder + "gioved\xec 9 dicembre  2004").constData()));      // left as it was
}

} // namespace
