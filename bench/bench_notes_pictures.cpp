// A note of 2 MB with 40 pictures (X-rays and intra-oral photographs pasted over the years),
// a table of treatments, a list and links: the notes screen opened on it until it is drawn,
// and "&Scheda" after an edit, against plain SQLite reading and writing the same field.
#include "bench/bench.h"

#include "app/Screens.h"
#include "clinical/RichTextBox.h"
#include "clinical/frmCartellaClinica.h"
#include "platform/Platform.h"
#include "store/Database.h"
#include "tests/support/Doubles.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace qv::bench {

namespace {

constexpr int kRounds = 5;
constexpr int kPictures = 40;

// A photograph's worth of PNG bytes (noise compresses as badly as a photograph), each
// picture different.
QByteArray photograph(int seed) {
    QRandomGenerator random(quint32(seed) + 17);
    QImage image(122 + seed % 7, 80 + seed % 5, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(
                x, y, qRgb(int(random.bounded(256)), 90 + (x * 2 + seed) % 120, int(random.bounded(256))));
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    image.save(&png, "PNG");
    return png.data();
}

QByteArray noteWithPictures() {
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
                     "{\\f1\\fnil\\fcharset2 Symbol;}}\r\n{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
                     "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (int i = 0; i < kPictures; ++i) {
        rtf += "\\b " + QByteArray::number(i % 28 + 1) + "/03/" + QByteArray::number(1998 + i / 4) +
               "\\b0 : radiografia endorale del " + QByteArray::number(11 + i % 37) +
               ", granuloma apicale; si propone la devitalizzazione. {\\field{\\*\\fldinst{HYPERLINK "
               "\"http://studio.example/rx/" +
               QByteArray::number(i) + "\"}}{\\fldrslt{\\cf1\\ul referto}}}\\par\r\n";
        const QByteArray png = photograph(i);
        rtf += "{\\*\\shppict{\\pict\\pngblip\\picw" + QByteArray::number(122 + i % 7) +
               "\\pich80\\picwgoal4950"
               "\\pichgoal3600\r\n";
        const QByteArray hex = png.toHex();
        for (qsizetype at = 0; at < hex.size(); at += 128)
            rtf += hex.mid(at, 128) + "\r\n";
        rtf += "}}\\par\r\n";
        if (i % 10 == 9) {
            rtf +=
                "\\trowd\\trgaph108\\cellx2000\\cellx6000\\cellx8000\\pard\\intbl Dente\\cell "
                "Trattamento\\cell "
                "Costo\\cell\\row\\trowd\\trgaph108\\cellx2000\\cellx6000\\cellx8000\\pard\\intbl 36\\cell "
                "otturazione in composito\\cell 80\\cell\\row\\pard\r\n";
            rtf +=
                "{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li720 "
                "controllo fra sei mesi\\par{\\pntext\\f1\\'b7\\tab}igiene professionale\\par\\pard\r\n";
        }
    }
    rtf += "}\r\n";
    return rtf;
}

QString selectNote(const QString& path) {
    sqlite3* plain = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(plain, "SELECT Note FROM Pazienti WHERE ID = 25", -1, &q, nullptr);
    QString text;
    if (sqlite3_step(q) == SQLITE_ROW)
        text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    sqlite3_close(plain);
    return text;
}

void runNotesPictures() {
    const QByteArray note = noteWithPictures();
    std::printf("note of %.2f MB with %d pictures\n", note.size() / 1048576.0, kPictures);

    QTemporaryDir dir;
    test::QuietPlatform quiet(dir.path());
    Platform& platform = quiet.platform;
    const QString path = platform.archivePath();
    archiveWithNote(path, note);

    // Opened as the card opens it, until shown and drawn with its first pictures.
    int pictures = 0;
    const qint64 openNs = medianOfRounds(kRounds, [&] {
        Screens screens(platform);
        frmCartellaClinica& notes = notesOnPatient25(screens);
        (void)notes.RichTextBox1->viewport()->grab();
        pictures = int(notes.RichTextBox1->document()->toRawText().count(QChar::ObjectReplacementCharacter));
    });
    const qint64 openPlainNs = medianOfRounds(kRounds, [&] { (void)selectNote(path); });
    std::printf("pictures in the editor: %d\n", pictures);
    report(QStringLiteral("open the notes screen on it, drawn (vs SQLite select of the note)"), openNs,
           openPlainNs);

    // "&Scheda" after an edit: the note written, with every picture, and landed on again.
    Screens screens(platform);
    frmCartellaClinica& notes = notesOnPatient25(screens);
    const qint64 schedaNs = medianOfRounds(kRounds, [&] {
        notes.RichTextBox1->moveCursor(QTextCursor::End);
        notes.RichTextBox1->insertPlainText(QStringLiteral(" Nota."));
        notes.mnuScheda_Click();
        screens.show(notes);
        QApplication::processEvents();
    });
    const QString stored = selectNote(path);
    std::printf("stored: %.2f MB, %lld pictures\n", stored.size() / 1048576.0,
                static_cast<long long>(stored.count(QStringLiteral("\\pngblip"))));
    const QByteArray edited = stored.toUtf8();
    const qint64 schedaPlainNs = medianOfRounds(kRounds, [&] {
        sqlite3* plain = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(plain, "UPDATE Pazienti SET Note = ?1 WHERE ID = 25", -1, &update, nullptr);
        sqlite3_bind_text(update, 1, edited.constData(), int(edited.size()), SQLITE_TRANSIENT);
        sqlite3_step(update);
        sqlite3_finalize(update);
        sqlite3_close(plain);
        (void)selectNote(path);
    });
    report(QStringLiteral("Scheda after an edit: write, land (vs SQLite update+select)"), schedaNs,
           schedaPlainNs);
}

const Benchmark registered("notespictures", &runNotesPictures);

} // namespace

} // namespace qv::bench
