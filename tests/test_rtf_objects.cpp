// Notes written by other programs, with pictures, embedded objects, tables, lists, links and
// parts the editor does not show: opened in the notes' editor as the screen binds it, typed
// into, saved, and compared with the original, also through an independent reader (unrtf).
#include "clinical/RichTextBox.h"
#include "clinical/Rtf.h"
#include "clinical/RtfObjects.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <gtest/gtest.h>

using namespace qv;

namespace {

QByteArray sample(const QString& name) {
    QFile file(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/rtf-samples/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

std::string s(const QString& text) {
    return text.toStdString();
}

// The data of every \pict group of an RTF text, in order.
std::vector<QByteArray> picturesIn(const QByteArray& rtf) {
    const QString text = QString::fromLatin1(rtf);
    std::vector<QByteArray> found;
    static const QRegularExpression word(QStringLiteral("\\\\pict(?![a-z])"));
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        if (const auto picture = rtf::parsePicture(QStringView(text).mid(match.capturedStart())))
            found.push_back(picture->data);
    }
    return found;
}

int rowsIn(const QByteArray& rtf) {
    return int(QString::fromLatin1(rtf).count(QRegularExpression(QStringLiteral("\\\\(nest)?row(?![a-z])"))));
}

QStringList linksIn(const QByteArray& rtf) {
    QStringList links;
    static const QRegularExpression link(QStringLiteral("HYPERLINK\\s+\"([^\"]*)\"(\\s*\\\\\\\\l\\s*\"([^\"]*)\")?"));
    for (auto it = link.globalMatch(QString::fromLatin1(rtf)); it.hasNext();) {
        const auto match = it.next();
        links.append(match.captured(1) + QLatin1Char('#') + match.captured(3));
    }
    return links;
}

// What the editor shows, as text: list labels, cells and rows; pictures as one mark each.
void appendShown(QString& out, QTextFrame::iterator it, const QTextFrame::iterator& end) {
    for (; it != end && !it.atEnd(); ++it) {
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            for (int r = 0; r < table->rows(); ++r) {
                for (int c = 0; c < table->columns(); ++c) {
                    const QTextTableCell cell = table->cellAt(r, c);
                    if (cell.row() == r && cell.column() == c)
                        appendShown(out, cell.begin(), cell.end());
                    out += QLatin1Char('|');
                }
                out += QLatin1String("/\n");
            }
            continue;
        }
        const QTextBlock block = it.currentBlock();
        if (const QTextList* list = block.textList())
            out += QStringLiteral("[%1:%2]").arg(int(list->format().style())).arg(list->itemNumber(block));
        out += block.text() + QLatin1Char('\n');
    }
}

QString shown(const QTextDocument& doc, const QString& leaveOut = QString()) {
    QString out;
    appendShown(out, doc.rootFrame()->begin(), doc.rootFrame()->end());
    if (!leaveOut.isEmpty())
        out.remove(leaveOut);
    // Empty paragraphs around tables are the text document's, not the note's.
    out.replace(QRegularExpression(QStringLiteral("\n\n+")), QStringLiteral("\n"));
    return out;
}

struct Seen {
    int pictures = 0; // shown pictures (of pictures, objects and shapes)
    int drawn = 0;    // of them, drawn from their data
    int kept = 0;     // parts kept unseen or shown as a tag
    int rows = 0;     // table rows
    int nested = 0;   // rows of tables in tables
    int items = 0;    // list items
    int links = 0;    // characters of link text
};

void count(const QTextDocument& doc, Seen& seen) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.textList() != nullptr)
            ++seen.items;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                seen.links += it.fragment().length();
            if (!rtf::isObject(format))
                continue;
            const rtf::Object object = rtf::objectOf(format);
            if (object.picture == nullptr) {
                ++seen.kept;
                continue;
            }
            ++seen.pictures;
            if (!object.picture->image(object.size.toSize()).isNull())
                ++seen.drawn;
        }
    }
    std::function<void(QTextFrame*, int)> frames = [&](QTextFrame* frame, int depth) {
        for (QTextFrame* child : frame->childFrames()) {
            if (auto* table = qobject_cast<QTextTable*>(child)) {
                (depth > 0 ? seen.nested : seen.rows) += table->rows();
                frames(child, depth + 1);
            } else {
                frames(child, depth);
            }
        }
    };
    frames(doc.rootFrame(), 0);
}

// unrtf's reading of an RTF file: its HTML and the pictures it finds, in a folder of its own.
struct Unrtf {
    QString html;
    std::vector<QByteArray> pictures;
};

Unrtf unrtf(const QString& program, const QByteArray& rtf, const QString& folder) {
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/note.rtf"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(rtf);
    file.close();
    QProcess run;
    run.setWorkingDirectory(folder);
    run.start(program, {QStringLiteral("--html"), file.fileName()});
    EXPECT_TRUE(run.waitForFinished(60000));
    Unrtf out{QString::fromUtf8(run.readAllStandardOutput()), {}};
    for (const QString& name : QDir(folder).entryList({QStringLiteral("pict*")}, QDir::Files, QDir::Name)) {
        QFile picture(folder + QLatin1Char('/') + name);
        EXPECT_TRUE(picture.open(QIODevice::ReadOnly));
        out.pictures.push_back(picture.readAll());
    }
    return out;
}

QStringList unrtfLinks(const QString& html) {
    QStringList links;
    static const QRegularExpression href(QStringLiteral("href=\"+([^\"]*)\""));
    for (auto it = href.globalMatch(html); it.hasNext();)
        links.append(it.next().captured(1));
    return links;
}

// Puts the caret in the middle of the longest paragraph of plain text, as a user would click.
void clickIntoText(RichTextBox& box) {
    QTextBlock best;
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next())
        if (!block.text().contains(QChar::ObjectReplacementCharacter) && block.length() > best.length())
            best = block;
    QTextCursor cursor(box.document());
    if (best.isValid())
        cursor.setPosition(best.position() + best.length() / 2);
    box.setTextCursor(cursor);
}

// ---------------------------------------------------------------------------------------

struct Case {
    const char* file;
    Seen expected; // at least this much is seen in the editor
};

TEST(RtfObjects, notesOfOtherProgramsSurviveAnEditWithEverythingTheyHeld) {
    const Case cases[] = {
        {"objects-rtfjs/simplepng.rtf", {.pictures = 1, .drawn = 1}},
        {"objects-rtfjs/simplepngbin.rtf", {.pictures = 1, .drawn = 1}},
        {"objects-rtfjs/simplepict.rtf", {.pictures = 3, .drawn = 3}},
        {"objects-rtfjs/wmf-and-emf.rtf", {.pictures = 2, .drawn = 2, .kept = 18, .rows = 13, .items = 69, .links = 100}},
        {"objects-rtfjs/hyperlink.rtf", {.links = 23}},
        {"objects-rtfjs/sample.rtf", {.kept = 1, .rows = 2, .items = 4}},
        {"richedit-rtfpipe/PictureObjectEmbed2.rtf", {.pictures = 1, .drawn = 1}},
        {"richedit-rtfpipe/List.rtf", {.items = 4}},
        {"richedit-rtfpipe/old3_from_web.rtf", {.pictures = 2, .drawn = 2, .rows = 40, .items = 20}},
        {"wordpad-rtfparserkit/testTextConversion.rtf", {.rows = 5}},
    };
    const QString unrtfProgram = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    QTemporaryDir dir;
    int n = 0;
    for (const Case& c : cases) {
        const QString name = QString::fromLatin1(c.file);
        SCOPED_TRACE(c.file);
        const QByteArray original = sample(name);

        // Opened as the notes screen opens a note: the field's text into the bound editor.
        RichTextBox box;
        box.resize(900, 700);
        BoundRichTextBox bound(&box, QStringLiteral("Note"));
        bound.fill(QString::fromLatin1(original));
        const QImage painted = box.viewport()->grab().toImage();
        EXPECT_FALSE(painted.isNull());
        EXPECT_FALSE(bound.DataChanged()) << "a note only looked at is never written";

        Seen seen;
        count(*box.document(), seen);
        EXPECT_GE(seen.pictures, c.expected.pictures);
        EXPECT_GE(seen.drawn, c.expected.drawn);
        EXPECT_GE(seen.kept, c.expected.kept);
        EXPECT_GE(seen.rows, c.expected.rows);
        EXPECT_GE(seen.nested, c.expected.nested);
        EXPECT_GE(seen.items, c.expected.items);
        EXPECT_GE(seen.links, c.expected.links);
        const QString before = shown(*box.document());

        // Typed into the middle and saved.
        clickIntoText(box);
        const int at = box.textCursor().position();
        QTest::keyClicks(&box, QStringLiteral("QVEDIT"));
        ASSERT_TRUE(bound.DataChanged());
        const QByteArray written = bound.storeValue().toString().toLatin1();
        ASSERT_TRUE(rtf::isRtf(written));

        // Every picture's bytes, table row and link target, and the text with what was typed.
        EXPECT_EQ(picturesIn(original), picturesIn(written));
        EXPECT_EQ(rowsIn(original), rowsIn(written));
        EXPECT_EQ(linksIn(original), linksIn(written));
        QTextDocument back;
        rtf::read(written, back);
        Seen again;
        count(back, again);
        EXPECT_EQ(seen.pictures, again.pictures);
        EXPECT_EQ(seen.kept, again.kept);
        EXPECT_EQ(seen.rows, again.rows);
        EXPECT_EQ(seen.nested, again.nested);
        EXPECT_EQ(seen.items, again.items);
        EXPECT_EQ(seen.links, again.links);
        QTextCursor typed(box.document());
        typed.setPosition(at);
        typed.setPosition(at + 6, QTextCursor::KeepAnchor);
        EXPECT_EQ("QVEDIT", s(typed.selectedText()));
        typed.removeSelectedText();
        EXPECT_EQ(s(before), s(shown(*box.document())));
        EXPECT_TRUE(back.toPlainText().contains(QStringLiteral("QVEDIT")));
        EXPECT_EQ(s(before), s(shown(back, QStringLiteral("QVEDIT"))));
        // What was written is stable: written once more, it does not change.
        EXPECT_EQ(written.toStdString(), rtf::write(back).toStdString());

        if (unrtfProgram.isEmpty())
            continue;
        // An independent reader finds the same pictures, rows and links, and the typed text.
        const QString folder = dir.filePath(QString::number(n++));
        const Unrtf a = unrtf(unrtfProgram, original, folder + QStringLiteral("/original"));
        const Unrtf b = unrtf(unrtfProgram, written, folder + QStringLiteral("/written"));
        for (const QByteArray& picture : a.pictures)
            EXPECT_NE(b.pictures.end(), std::find(b.pictures.begin(), b.pictures.end(), picture));
        EXPECT_GE(b.pictures.size(), a.pictures.size());
        EXPECT_EQ(unrtfLinks(a.html), unrtfLinks(b.html));
        EXPECT_TRUE(b.html.contains(QStringLiteral("QVEDIT")));
    }
}

} // namespace
