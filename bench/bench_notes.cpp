// The clinical notes: a 200 KB RTF note (years of entries, as the rich-edit control writes
// them) read into a text document, written back, and the notes screen opened on it, against
// Qt's own HTML reader and writer on the same document.
#include "bench/bench.h"

#include "app/Screens.h"
#include "card/frmScheda.h"
#include "clinical/RichTextBox.h"
#include "clinical/Rtf.h"
#include "clinical/frmCartellaClinica.h"
#include "platform/Platform.h"
#include "store/Database.h"
#include "tests/support/Doubles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace qv::bench {

void archiveWithNote(const QString& path, const QByteArray& note) {
    Database::create(path);
    auto db = Database::open(path);
    sql::Stmt insert(
        db->handle(),
        QStringLiteral("INSERT INTO Pazienti (ID, Cognome, Nome, Note) VALUES (?1, ?2, ?3, ?4)"));
    for (int id = 1; id <= 50; ++id) {
        insert.bind(1, qint64(id));
        insert.bind(2, QStringLiteral("Rossi %1").arg(id));
        insert.bind(3, QStringLiteral("Mario"));
        insert.bind(4, id == 25 ? QVariant(QString::fromLatin1(note)) : QVariant());
        insert.run();
    }
}

frmCartellaClinica& notesOnPatient25(Screens& screens) {
    frmCartellaClinica& notes = screens.cartellaClinica();
    RecordSet& records = notes.Data1.Recordset();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), QStringLiteral("25"));
    screens.show(notes);
    return notes;
}

namespace {

constexpr int kRounds = 7;
constexpr qsizetype kNoteBytes = 200 * 1024;

// A note of many visits, one paragraph each: a bold date, accented words, now and then
// italics, an underline or a colour, as a dentist's notes grow over the years.
QByteArray yearsOfNotes() {
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}"
        "{\\f1\\fswiss\\fcharset0 Arial;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue192;}"
        "\r\n\\viewkind4\\uc1\\pard\\f0\\fs17 ";
    const char* const entries[] = {
        "controllo e pulizia; carie al 36 da curare, il paziente riferisce sensibilit\\'e0 al freddo.",
        "otturazione del 36 in composito, anestesia locale; {\\i prossimo controllo fra sei mesi}.",
        "radiografia endorale del 47: \\ul granuloma apicale\\ulnone , si propone la devitalizzazione.",
        "devitalizzazione del 47, prima seduta; medicazione provvisoria. {\\cf1 Allergico alla penicillina!}",
        ("igiene professionale, sondaggio parodontale: tasche di 4 mm tra 16 e 17. Istruzioni di "
         "spazzolamento."),
        "impronta per corona in ceramica sul 47; colore A2 \\endash  consegna fra due settimane.",
        "cementazione della corona sul 47, occlusione controllata. {\\b\\cf2 Richiamo: 6 mesi.}",
    };
    int day = 1, month = 1, year = 1998;
    for (int i = 0; rtf.size() < kNoteBytes; ++i) {
        rtf += "\\b " + QByteArray::number(day).rightJustified(2, '0') + '/' +
               QByteArray::number(month).rightJustified(2, '0') + '/' + QByteArray::number(year) + "\\b0 : ";
        rtf += entries[i % std::size(entries)];
        rtf += "\\par\r\n";
        day = day % 28 + 3;
        month = month % 12 + 1;
        if (i % 9 == 8)
            ++year;
    }
    rtf += "}\r\n";
    return rtf;
}

void runNotes() {
    const QByteArray note = yearsOfNotes();
    QTextDocument probe;
    rtf::read(note, probe);
    const QString html = probe.toHtml();
    std::printf("note of %.0f KB: %d paragraphs, %d characters (as HTML %.0f KB)\n", note.size() / 1024.0,
                probe.blockCount(), probe.characterCount(), html.toUtf8().size() / 1024.0);

    const qint64 readNs = medianOfRounds(kRounds, [&] {
        QTextDocument doc;
        rtf::read(note, doc);
    });
    const qint64 readHtmlNs = medianOfRounds(kRounds, [&] {
        QTextDocument doc;
        doc.setHtml(html);
    });
    report(QStringLiteral("read the note into a document (vs Qt HTML reader)"), readNs, readHtmlNs);

    QByteArray written;
    const qint64 writeNs = medianOfRounds(kRounds, [&] { written = rtf::write(probe); });
    const qint64 writeHtmlNs = medianOfRounds(kRounds, [&] { (void)probe.toHtml(); });
    report(QStringLiteral("write the document as RTF (vs Qt HTML writer)"), writeNs, writeHtmlNs);
    std::printf("written: %.0f KB\n", written.size() / 1024.0);

    // The notes screen opened on the patient, as the card does it, until it is shown and
    // drawn; against reading the field with plain SQLite into a shown editor as HTML.
    QTemporaryDir dir;
    test::QuietPlatform quiet(dir.path());
    Platform& platform = quiet.platform;
    const QString path = platform.archivePath();
    archiveWithNote(path, note);
    const qint64 openNs = medianOfRounds(kRounds, [&] {
        Screens screens(platform);
        frmCartellaClinica& notes = notesOnPatient25(screens);
        QApplication::processEvents();
        if (notes.RichTextBox1->document()->isEmpty())
            std::printf("the note did not load\n");
    });
    const qint64 openPlainNs = medianOfRounds(kRounds, [&] {
        sqlite3* plain = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(plain, "SELECT Note FROM Pazienti WHERE ID = 25", -1, &q, nullptr);
        QString text;
        if (sqlite3_step(q) == SQLITE_ROW)
            text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
        sqlite3_finalize(q);
        sqlite3_close(plain);
        QTextEdit editor;
        editor.resize(713, 521);
        editor.setHtml(html);
        editor.show();
        QApplication::processEvents();
    });
    report(QStringLiteral("open the notes screen on it, shown (vs SQLite + HTML)"), openNs, openPlainNs);

    // "&Scheda" after an edit: the note written and its record landed on again.
    Screens screens(platform);
    frmCartellaClinica& notes = notesOnPatient25(screens);
    const qint64 schedaNs = medianOfRounds(kRounds, [&] {
        notes.RichTextBox1->moveCursor(QTextCursor::End);
        notes.RichTextBox1->insertPlainText(QStringLiteral(" Nota."));
        notes.mnuScheda_Click();
        screens.show(notes);
        QApplication::processEvents();
    });
    // The same data work with plain SQLite: the note stored, then read back.
    const QByteArray edited = written + " Nota.";
    const qint64 schedaPlainNs = medianOfRounds(kRounds, [&] {
        sqlite3* plain = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(plain, "UPDATE Pazienti SET Note = ?1 WHERE ID = 25", -1, &update, nullptr);
        sqlite3_bind_text(update, 1, edited.constData(), int(edited.size()), SQLITE_TRANSIENT);
        sqlite3_step(update);
        sqlite3_finalize(update);
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(plain, "SELECT Note FROM Pazienti WHERE ID = 25", -1, &q, nullptr);
        if (sqlite3_step(q) == SQLITE_ROW)
            (void)QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
        sqlite3_finalize(q);
        sqlite3_close(plain);
    });
    report(QStringLiteral("Scheda after an edit: write, land (vs SQLite update+select)"), schedaNs,
           schedaPlainNs);
}

const Benchmark registered("notes", &runNotes);

} // namespace

} // namespace qv::bench
