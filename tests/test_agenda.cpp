// The agenda's day sheet: its boxes, loading a date, saving it when a box is left, and the
// weekday's default times.
#include "platform/Candy.h"
#include "tests/test_agenda_fixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QLabel>

using namespace qv;
using namespace qv::test;

namespace {

const QDate kMonday(2004, 12, 6);

QString slotTime(int slot) {
    const int minutes = 8 * 60 + 15 * (slot - 1);
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

class AgendaSheet : public AgendaTest {};

TEST_F(AgendaSheet, laysOutTheSlotBoxesInTheirIndexOrder) {
    FormAgend& a = agenda();
    EXPECT_EQ("FormAgend", a.objectName().toStdString());
    EXPECT_EQ("Agenda", a.windowTitle().toStdString());
    EXPECT_EQ(QSize(twips(14745), twips(11010)), a.centralWidget()->size());

    // Row by row: the indexes of the left slot's and the right slot's time, name and note boxes.
    const int grid[20][6] = {
        {0, 23, 72, 103, 48, 108},  {1, 22, 73, 102, 49, 109},   {2, 21, 74, 101, 50, 110},
        {3, 20, 75, 100, 51, 111},  {4, 19, 76, 99, 52, 84},     {5, 18, 77, 98, 53, 85},
        {6, 17, 78, 97, 54, 86},    {7, 16, 79, 96, 55, 87},     {15, 31, 64, 88, 32, 56},
        {14, 30, 65, 89, 33, 44},   {13, 29, 66, 90, 34, 45},    {12, 28, 67, 91, 35, 46},
        {11, 27, 68, 92, 36, 47},   {10, 26, 69, 93, 37, 115},   {9, 25, 70, 94, 38, 114},
        {8, 24, 71, 95, 39, 113},   {63, 40, 80, 119, 104, 112}, {62, 41, 81, 118, 105, 59},
        {61, 42, 82, 117, 106, 58}, {60, 43, 83, 116, 107, 57},
    };
    const int lefts[6] = {600, 1320, 3600, 5880, 6600, 8880};
    const int widths[6] = {735, 2295, 2295, 735, 2295, 2295};
    const char* what[3] = {"orario", "paziente", "note"};
    QSet<int> seen;
    QSet<QString> names;
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 6; ++c) {
            const int index = grid[r][c];
            const int slot = r + 1 + (c >= 3 ? 20 : 0);
            QLineEdit* b = a.Text(index);
            ASSERT_NE(nullptr, b) << index;
            EXPECT_EQ(index, FormAgend::TextIndex(slot, FormAgend::Column(c % 3)));
            EXPECT_EQ(QStringLiteral("Text_%1").arg(index), b->objectName());
            EXPECT_EQ(QRect(twips(lefts[c]), twips(1440 + 360 * r), twips(widths[c]), twips(375)),
                      b->geometry())
                << index;
            EXPECT_EQ(QStringLiteral("Appuntamento %1: %2").arg(slot).arg(QLatin1String(what[c % 3])),
                      b->accessibleName());
            EXPECT_EQ(c % 3 == 0, b->font().bold()) << index;
            EXPECT_EQ(QColor(192, 192, 255), b->palette().color(QPalette::Base));
            seen.insert(index);
            names.insert(b->accessibleName());
        }
    }
    const int freeTops[4] = {8640, 9000, 9360, 9720};
    const int freeLines[4] = {120, 121, 123, 122};
    for (int line = 0; line < 4; ++line) {
        QLineEdit* b = a.Text(freeLines[line]);
        EXPECT_EQ(freeLines[line], FormAgend::FreeLineIndex(line + 1));
        EXPECT_EQ(QRect(twips(600), twips(freeTops[line]), twips(10575), twips(375)), b->geometry());
        EXPECT_EQ(QStringLiteral("Note del giorno, riga %1").arg(line + 1), b->accessibleName());
        seen.insert(freeLines[line]);
        names.insert(b->accessibleName());
    }
    EXPECT_EQ(124, seen.size());
    EXPECT_EQ(124, names.size()) << "a screen reader tells every box apart";
    EXPECT_EQ(nullptr, a.Text(124));
    EXPECT_EQ(nullptr, a.Text(-1));

    EXPECT_EQ(QRect(twips(360), twips(240), twips(10815), twips(735)), a.Label1->geometry());
    EXPECT_EQ("Times New Roman", a.Label1->font().family().toStdString());
    EXPECT_DOUBLE_EQ(26.25, a.Label1->font().pointSizeF());
    EXPECT_TRUE(a.Label1->font().bold());
    EXPECT_EQ(QColor(Qt::white), a.Label1->palette().color(QPalette::WindowText));
    EXPECT_EQ(QRect(twips(120), twips(0), twips(11535), twips(975)), a.CandyScreen2->geometry());
    EXPECT_EQ(QRect(twips(120), twips(960), twips(11535), twips(9615)), a.CandyScreen1->geometry());
    const std::pair<QLabel*, int> heads[] = {
        {a.Label2, 1320}, {a.Label4, 3600}, {a.Label3, 6720}, {a.Label5, 8880}};
    for (const auto& [label, left] : heads) {
        EXPECT_EQ(twips(left), label->x());
        EXPECT_EQ(twips(960), label->y());
        EXPECT_EQ(QColor(64, 64, 64), label->palette().color(QPalette::WindowText));
    }
    EXPECT_EQ("NomePaziente:", a.Label2->text().toStdString());
    EXPECT_EQ("NomePaziente:", a.Label3->text().toStdString());
    EXPECT_EQ("Note:", a.Label4->text().toStdString());
    EXPECT_EQ("Note:", a.Label5->text().toStdString());
    EXPECT_TRUE(a.Text3->isHidden());
    EXPECT_TRUE(a.Text1->isHidden());
}

TEST_F(AgendaSheet, theFirstLoadOfADateShowsTheWeekdayTimesAndLeavesAnEmptyDayFile) {
    FormAgend& a = open();
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title());
    EXPECT_EQ(u("lunedì"), a.Text3->text());
    EXPECT_TRUE(a.dayLoaded());
    for (int slot = 1; slot <= 40; ++slot) {
        EXPECT_EQ(slotTime(slot), box(slot, Time)->text()) << slot;
        EXPECT_EQ(QString(), box(slot, Name)->text());
        EXPECT_EQ(QString(), box(slot, Note)->text());
        EXPECT_FALSE(box(slot, Name)->isReadOnly());
    }
    for (int line = 1; line <= 4; ++line)
        EXPECT_EQ(QString(), a.Text(FormAgend::FreeLineIndex(line))->text());
    EXPECT_EQ(QByteArray(), dayBytes(kMonday)) << "an empty day file exists";
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(a.Label1);
    ASSERT_NE(nullptr, spoken);
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), spoken->text(QAccessible::Name));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(AgendaSheet, aDayFileFillsTheBoxesInIndexOrderAsFarAsItGoes) {
    // Three values: boxes 0, 1 and 2 are the times of slots 1, 2 and 3.
    writeDay(kMonday, "\"07:00\"\r\n\"07:10\"\r\n\"07:20\"\r\n");
    open();
    EXPECT_EQ(u("07:00"), box(1, Time)->text());
    EXPECT_EQ(u("07:20"), box(3, Time)->text());
    EXPECT_EQ(slotTime(4), box(4, Time)->text()) << "beyond the file: the weekday's time";
    EXPECT_EQ(QString(), box(1, Name)->text());

    // 130 lines: boxes 0 to 123, the rest ignored.
    QByteArray many;
    for (int i = 0; i < 130; ++i)
        many += "\"v" + QByteArray::number(i) + "\"\r\n";
    const QDate tuesday = kMonday.addDays(1);
    writeDay(tuesday, many);
    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton);
    EXPECT_EQ(u("martedì 7 dicembre  2004"), title());
    for (int i = 0; i < 124; ++i)
        EXPECT_EQ(QStringLiteral("v%1").arg(i), agenda().Text(i)->text());
    EXPECT_EQ(many, dayBytes(tuesday)) << "loading alone writes nothing";
}

TEST_F(AgendaSheet, aDayFileWrittenByHandByteForByteIsShownAndKept) {
    QByteArray hand = "\"09:00\"\r\n";
    for (int i = 1; i < 124; ++i) {
        if (i == 23) // slot 1's name box
            hand += "\"Rossi, Mario  \"\r\n";
        else if (i == 72) // slot 1's note box
            hand += "\" devitalizzazione \x96 2\xB0 molare, 50\x80\"\r\n";
        else
            hand += "\"\"\r\n";
    }
    writeDay(kMonday, hand);
    open();
    EXPECT_EQ(u("09:00"), box(1, Time)->text());
    EXPECT_EQ(u("Rossi, Mario  "), box(1, Name)->text());
    EXPECT_EQ(u(" devitalizzazione – 2° molare, 50€"), box(1, Note)->text());
    EXPECT_EQ(QString(), box(2, Time)->text()) << "the file holds an empty time for slot 2";

    // Leaving a box without changing anything rewrites the same bytes.
    typeInto(box(1, Name), QString());
    leave();
    EXPECT_EQ(hand, dayBytes(kMonday));
}

TEST_F(AgendaSheet, leavingABoxRewritesTheDayFileEvenUnchanged) {
    open();
    ASSERT_TRUE(QFile::remove(dayPath(kMonday)));
    QTest::mouseClick(box(5, Note), Qt::LeftButton);
    leave();
    const QByteArray first = dayBytes(kMonday);
    EXPECT_EQ(dayfile::encode(sheet()), first);
    EXPECT_EQ(slotTime(1).toUtf8(), dayValues(kMonday).value(0).toUtf8());

    // Typing in the middle of a text, then leaving: every box, the changed one included.
    QLineEdit* name = box(5, Name);
    typeInto(name, u("Rosi"));
    name->setCursorPosition(2);
    typeText(name, u("s"));
    leave();
    EXPECT_EQ(u("Rossi"), name->text());
    QStringList expected = sheet();
    EXPECT_EQ(expected, dayValues(kMonday));
    EXPECT_EQ(u("Rossi"), dayValues(kMonday).value(FormAgend::TextIndex(5, Name)));

    QTest::mouseClick(box(7, Time), Qt::LeftButton);
    leave();
    EXPECT_EQ(dayfile::encode(expected), dayBytes(kMonday));
}

TEST_F(AgendaSheet, twoDatesOnOneWeekdayHaveTheirOwnFiles) {
    open();
    typeInto(box(2, Name), u("Bianchi"));
    leave();
    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton); // a week on: another Monday
    EXPECT_EQ(u("lunedì 13 dicembre  2004"), title());
    EXPECT_EQ(QString(), box(2, Name)->text());
    typeInto(box(2, Name), u("Verdi"));
    leave();
    EXPECT_EQ(u("Bianchi"), dayValues(kMonday).value(FormAgend::TextIndex(2, Name)));
    EXPECT_EQ(u("Verdi"), dayValues(kMonday.addDays(7)).value(FormAgend::TextIndex(2, Name)));
    QTest::mouseClick(agenda().CandyHCommand5, Qt::LeftButton);
    EXPECT_EQ(u("Bianchi"), box(2, Name)->text());
}

TEST_F(AgendaSheet, quotesCommasBlanksAndAnyCharacterComeBackAsTyped) {
    open();
    const QString name = u("  Rossi, \"Mario\" ");
    const QString note = u("Łukasz 🦷 “ok”");
    typeInto(box(3, Name), name);
    // The tooth is one key of two UTF-16 units.
    typeInto(box(3, Note), u("Łukasz "));
    QTest::sendKeyEvent(QTest::Click, box(3, Note), Qt::Key_unknown, u("🦷"), Qt::NoModifier);
    typeText(box(3, Note), u(" “ok”"));
    ASSERT_EQ(note, box(3, Note)->text());
    leave();
    const QByteArray bytes = dayBytes(kMonday);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a text outside code page 1252: UTF-8";
    EXPECT_TRUE(bytes.contains("\"  Rossi, \"\"Mario\"\" \"\r\n"));
    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton);
    QTest::mouseClick(agenda().CandyHCommand2, Qt::LeftButton);
    EXPECT_EQ(name, box(3, Name)->text());
    EXPECT_EQ(note, box(3, Note)->text());
    EXPECT_EQ(slotTime(4), box(4, Time)->text()) << "no value shifted onto another box";

    // Only code page 1252 again: the file goes back to one byte per character.
    box(3, Note)->clear();
    typeInto(box(3, Note), u("è"));
    leave();
    EXPECT_TRUE(dayBytes(kMonday).contains("\"\xE8\"\r\n"));
    EXPECT_FALSE(dayBytes(kMonday).startsWith("\xEF\xBB\xBF"));
}

TEST_F(AgendaSheet, aPastedLineBreakBecomesABlankAndShiftsNothing) {
    open();
    QApplication::clipboard()->setText(u("prima riga\nseconda riga"));
    QTest::mouseClick(box(1, Note), Qt::LeftButton);
    QTest::keyClick(box(1, Note), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(u("prima riga seconda riga"), box(1, Note)->text());
    leave();
    const QStringList values = dayValues(kMonday);
    ASSERT_EQ(124, values.size());
    EXPECT_EQ(u("prima riga seconda riga"), values[FormAgend::TextIndex(1, Note)]);
}

TEST_F(AgendaSheet, theFolderDeletedWhileRunningIsMadeAgain) {
    open();
    const QString folder = dayfile::folderPath(fp.platform.folder);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton);
    EXPECT_EQ(QByteArray(), dayBytes(kMonday.addDays(1))) << "the next day load made folder and file";

    ASSERT_TRUE(QDir(folder).removeRecursively());
    typeInto(box(1, Name), u("Neri"));
    leave();
    EXPECT_EQ(u("Neri"), dayValues(kMonday.addDays(1)).value(FormAgend::TextIndex(1, Name)));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(AgendaSheet, aDayFileThatCannotBeWrittenIsReportedOnceAndTheSheetKeepsItsTexts) {
    open();
    typeInto(box(1, Name), u("Galli"));
    // A folder where the day file should be: it cannot be replaced.
    ASSERT_TRUE(QFile::remove(dayPath(kMonday)));
    ASSERT_TRUE(QDir().mkpath(dayPath(kMonday)));
    // The real box takes the focus from the box just entered: that is no second leaving.
    fp.msg.expect({u("L'agenda di lunedì 6 dicembre  2004 non è stata salvata: nella cartella Agd c'è una "
                     "cartella con lo stesso nome del file."),
                   std::nullopt, MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok,
                   [this] { agenda().CandyHCommand1->setFocus(Qt::ActiveWindowFocusReason); }});
    leave();
    EXPECT_EQ(1u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.scriptDone());
    EXPECT_EQ(u("Galli"), box(1, Name)->text());
    EXPECT_TRUE(QFileInfo(dayPath(kMonday)).isDir());
    EXPECT_FALSE(fp.end.ended());
}

TEST_F(AgendaSheet, aTypedTimeReachesTheDayFileAndNotTheWeekdayRow) {
    open();
    QLineEdit* first = box(1, Time);
    first->clear();
    typeInto(first, u("07:45"));
    leave();
    EXPECT_EQ(u("07:45"), dayValues(kMonday).value(0));
    EXPECT_EQ("08:00", rowTime("lunedì", 1));

    // A week on: the row's time; back: the day file's.
    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton);
    EXPECT_EQ(u("08:00"), box(1, Time)->text());
    QTest::mouseClick(agenda().CandyHCommand5, Qt::LeftButton);
    EXPECT_EQ(u("07:45"), box(1, Time)->text());
    EXPECT_EQ("08:00", rowTime("lunedì", 1));

    // Closing the window with the day file's time on the sheet leaves the row alone.
    agenda().close();
    EXPECT_FALSE(screens.isLoaded(QStringLiteral("FormAgend")));
    EXPECT_EQ("08:00", rowTime("lunedì", 1));
}

TEST_F(AgendaSheet, theEndOfTheProgramDoesNotWriteTheWeekdayRow) {
    open();
    box(2, Time)->clear();
    typeInto(box(2, Time), u("06:00"));
    screens.endProgram();
    EXPECT_TRUE(fp.end.ended());
    EXPECT_EQ("08:15", rowTime("lunedì", 2));
}

TEST_F(AgendaSheet, impostazioneOrarioAnsweredNoStoresNothing) {
    open();
    box(1, Time)->clear();
    typeInto(box(1, Time), u("07:00"));
    fp.msg.expect(
        {.prompt =
             u("In questo momento l'agenda è aperta sul giorno della settimana 'lunedì'. Vuoi che le "
               "impostazioni degli orari così come appaiono oggi vengano mantenute anche per tutti i futuri "
               "giorni della settimana di lunedì?"),
         .title = u("A T T E N Z I O N E !!!!"),
         .icon = MsgIcon::None,
         .buttons = MsgButtons::YesNo,
         .answer = MsgAnswer::No});
    QTest::mouseClick(agenda().CandyHCommand7, Qt::LeftButton);
    ASSERT_EQ(1u, fp.msg.shown().size());
    EXPECT_EQ(MsgAnswer::Yes, fp.msg.shown()[0].defaultAnswer);
    EXPECT_EQ("08:00", rowTime("lunedì", 1));
    EXPECT_EQ(u("07:00"), dayValues(kMonday).value(0)) << "leaving the box for the button saved it";
}

TEST_F(AgendaSheet, impostazioneOrarioAnsweredYesChangesEveryMondayWithoutAFilledDayFile) {
    const QDate filledMonday = kMonday.addDays(14);
    QByteArray filled;
    for (int i = 0; i < 124; ++i)
        filled += i == 0 ? "\"10:00\"\r\n" : "\"\"\r\n";
    writeDay(filledMonday, filled);
    writeDay(kMonday.addDays(21), QByteArray()); // loaded once, never written

    open();
    box(1, Time)->clear();
    typeInto(box(1, Time), u("07:30"));
    box(40, Time)->clear();
    typeInto(box(40, Time), u("19:00"));
    fp.msg.expect({.title = u("A T T E N Z I O N E !!!!"), .answer = MsgAnswer::Yes});
    QTest::mouseClick(agenda().CandyHCommand7, Qt::LeftButton);
    EXPECT_EQ("07:30", rowTime("lunedì", 1));
    EXPECT_EQ("19:00", rowTime("lunedì", 40));
    EXPECT_EQ("08:15", rowTime("lunedì", 2));
    for (const char* other : {"martedì", "mercoledì", "giovedì", "venerdì", "sabato", "domenica"})
        EXPECT_EQ("08:00", rowTime(other, 1)) << other;

    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton); // a Monday without a day file
    EXPECT_EQ(u("07:30"), box(1, Time)->text());
    EXPECT_EQ(u("19:00"), box(40, Time)->text());
    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton); // its day file holds values
    EXPECT_EQ(u("10:00"), box(1, Time)->text());
    EXPECT_EQ(QString(), box(40, Time)->text());
    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton); // an empty day file
    EXPECT_EQ(u("07:30"), box(1, Time)->text());
    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton); // a Tuesday
    EXPECT_EQ(u("08:00"), box(1, Time)->text());
}

TEST_F(AgendaSheet, aRefusedWriteOfTheWeekdayTimesIsReportedAndTheProgramGoesOn) {
    execSql(fp.dbPath(),
            "CREATE TRIGGER refuse BEFORE UPDATE ON Agenda BEGIN SELECT RAISE(ABORT, 'bloccato'); END");
    open();
    box(1, Time)->clear();
    typeInto(box(1, Time), u("07:15"));
    fp.msg.expect({.title = u("A T T E N Z I O N E !!!!"), .answer = MsgAnswer::Yes});
    fp.msg.expect({.icon = MsgIcon::Exclamation});
    QTest::mouseClick(agenda().CandyHCommand7, Qt::LeftButton);
    ASSERT_EQ(2u, fp.msg.shown().size());
    EXPECT_TRUE(fp.msg.shown()[1].prompt.startsWith(u("Gli orari di lunedì non sono stati memorizzati: ")));
    EXPECT_TRUE(fp.msg.shown()[1].prompt.contains(u("bloccato")));
    EXPECT_FALSE(fp.end.ended());
    EXPECT_EQ("08:00", rowTime("lunedì", 1));
    EXPECT_EQ(u("07:15"), box(1, Time)->text());
    EXPECT_EQ(u("07:15"), dayValues(kMonday).value(0));

    // A week on and back: the sheet works on.
    QTest::mouseClick(agenda().CandyHCommand4, Qt::LeftButton);
    EXPECT_EQ(u("08:00"), box(1, Time)->text());
    QTest::mouseClick(agenda().CandyHCommand5, Qt::LeftButton);
    EXPECT_EQ(u("07:15"), box(1, Time)->text());
}

TEST_F(AgendaSheet, aDateThatCannotLoadKeepsNoTextsOfTheDateBeforeAndWritesNothing) {
    // No Tuesday in the table.
    execSql(fp.dbPath(), "DELETE FROM Agenda WHERE giorno = 'martedì'");
    const QDate tuesday = kMonday.addDays(1);
    writeDay(tuesday, "\"tenuto\"\r\n");
    open();
    typeInto(box(1, Name), u("Rossi"));
    leave();

    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton);
    EXPECT_EQ(u("martedì 7 dicembre  2004"), title());
    EXPECT_FALSE(agenda().dayLoaded());
    for (int i = 0; i < FormAgend::kTextCount; ++i) {
        EXPECT_EQ(QString(), agenda().Text(i)->text()) << i;
        EXPECT_TRUE(agenda().Text(i)->isReadOnly()) << i;
    }
    EXPECT_FALSE(agenda().CandyHCommand7->isEnabled());
    QTest::mouseClick(box(1, Name), Qt::LeftButton);
    leave();
    EXPECT_EQ(QByteArray("\"tenuto\"\r\n"), dayBytes(tuesday));

    // The next date loads again; Monday's row did not take the emptied times.
    QTest::mouseClick(agenda().CandyHCommand3, Qt::LeftButton);
    EXPECT_TRUE(agenda().dayLoaded());
    EXPECT_EQ(u("08:00"), box(1, Time)->text());
    EXPECT_FALSE(box(1, Name)->isReadOnly());
    agenda().close();
    EXPECT_EQ("08:00", rowTime("lunedì", 1));
    EXPECT_EQ(u("Rossi"), dayValues(kMonday).value(FormAgend::TextIndex(1, Name)));
}

TEST_F(AgendaSheet, todayThatCannotLoadOnOpeningIsABlankReadOnlySheetAndNothingIsCreated) {
    // No Monday row: opening the agenda on a Monday is reaching a date that cannot load.
    execSql(fp.dbPath(), "DELETE FROM Agenda WHERE giorno = 'lunedì'");
    open();
    EXPECT_FALSE(agenda().dayLoaded());
    EXPECT_FALSE(QFileInfo::exists(dayPath(kMonday))) << "no day file is made for a day not shown";
    agenda().close();

    writeDay(kMonday, "\"tenuto\"\r\n");
    open();
    EXPECT_FALSE(agenda().dayLoaded());
    for (int i = 0; i < FormAgend::kTextCount; ++i) {
        EXPECT_EQ(QString(), agenda().Text(i)->text()) << i;
        EXPECT_TRUE(agenda().Text(i)->isReadOnly()) << i;
    }
    EXPECT_EQ(QByteArray("\"tenuto\"\r\n"), dayBytes(kMonday));
    EXPECT_TRUE(fp.msg.shown().empty());
}

TEST_F(AgendaSheet, anEmptyAgendaTableLoadsNoDay) {
    writeDay(kMonday, "\"tenuto\"\r\n");
    execSql(fp.dbPath(), "DELETE FROM Agenda");
    open();
    EXPECT_EQ(u("lunedì 6 dicembre  2004"), title());
    EXPECT_FALSE(agenda().dayLoaded());
    EXPECT_FALSE(agenda().CandyHCommand7->isEnabled());
    QTest::mouseClick(box(2, Note), Qt::LeftButton);
    leave();
    EXPECT_EQ(QByteArray("\"tenuto\"\r\n"), dayBytes(kMonday));
    EXPECT_TRUE(fp.msg.shown().empty());
}

} // namespace
