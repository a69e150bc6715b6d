// Notes written by other programs, with pictures, embedded objects, tables, lists, links and
// parts the editor does not show: opened in the notes' editor as the screen binds it, typed
// into, saved, and compared with the original, also through an independent reader (unrtf).
#include "clinical/RichTextBox.h"
#include "clinical/Rtf.h"
#include "clinical/RtfObjects.h"
#include "tests/support/Files.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
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
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <gtest/gtest.h>

using namespace qv;

namespace {

QByteArray sample(const QString& name) {
    const QString path = test::testData(QStringLiteral("rtf-samples/") + name);
    EXPECT_TRUE(QFileInfo(path).isFile()) << name.toStdString();
    return test::readFile(path);
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
    static const QRegularExpression link(
        QStringLiteral("HYPERLINK\\s+\"([^\"]*)\"(\\s*\\\\\\\\l\\s*\"([^\"]*)\")?"));
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
        {"objects-rtfjs/wmf-and-emf.rtf",
         {.pictures = 2, .drawn = 2, .kept = 18, .rows = 13, .items = 69, .links = 100}},
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

// ---------------------------------------------------------------------------------------
// What the samples lack, written as Word and WordPad write it.

QString textOf(const QByteArray& rtf, QTextDocument& doc) {
    rtf::read(rtf, doc);
    return doc.toPlainText();
}

std::vector<rtf::Object> objectsOf(const QTextDocument& doc) {
    std::vector<rtf::Object> found;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (rtf::isObject(it.fragment().charFormat()))
                found.push_back(rtf::objectOf(it.fragment().charFormat()));
    return found;
}

TEST(RtfObjects, fontTablesSymbolsDeletionsAndKeptParts) {
    QTextDocument doc;
    // A font table that opens with a blank is a font table.
    EXPECT_EQ("x", s(textOf("{\\rtf1{ \\fonttbl{\\f0 Arial;}}\\f0 x}", doc)));
    EXPECT_EQ("a b", s(textOf("{\\rtf1 a{ b}}", doc))); // a blank after a brace is still text
    // Word writes each font with {\*\panose} or {\*\falt}: the name after them is the font's.
    EXPECT_EQ("\u27A2", s(textOf("{\\rtf1{\\fonttbl{\\f1\\fnil\\fcharset2{\\*\\panose 05000000000000000000}"
                                 "Wingdings;}}\\f1\\'d8}",
                                 doc)));
    textOf("{\\rtf1{\\fonttbl{\\f0\\froman{\\*\\panose 02020603050405020304}{\\*\\falt Tms}Times New Roman;}}"
           "\\f0 x}",
           doc);
    EXPECT_EQ("Times New Roman",
              s(QTextCursor(doc.lastBlock()).charFormat().fontFamilies().toStringList().value(0)));
    // Tracked deletions are no text.
    EXPECT_EQ("ac", s(textOf("{\\rtf1 a{\\deleted b}c}", doc)));
    // Every picture of Wingdings and the Symbol font, also by its place in the private area.
    EXPECT_EQ("\u270F\U0001F56F\u2611\u27A2\u239B\u222B\u2022\u2022",
              s(textOf("{\\rtf1{\\fonttbl{\\f1\\fcharset2 Wingdings;}{\\f2\\fcharset2 Symbol;}}"
                       "\\f1 !\\'27\\'fe\\'d8\\f2 \\'e6\\'f2\\'b7\\u-3913?}",
                       doc)));

    // A footnote, a comment and a page number field: kept where they stood, not shown.
    const QByteArray kept =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f3 Courier;}}{\\colortbl;\\red200\\green0\\blue0;}"
        "prima{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn}{\\f3\\cf1  nota}}dopo"
        "{\\*\\atnid RM}{\\*\\atnauthor Rossi}\\chatn{\\*\\annotation\\pard commento}poi"
        "{\\field{\\*\\fldinst PAGE}{\\fldrslt}}fine}";
    EXPECT_EQ("prima\uFFFC\uFFFCdopo\uFFFC\uFFFC\uFFFC\uFFFCpoi\uFFFCfine", s(textOf(kept, doc)));
    const std::vector<rtf::Object> objects = objectsOf(doc);
    ASSERT_EQ(7u, objects.size());
    EXPECT_EQ(rtf::Kept::Footnote, objects[1].kind);
    EXPECT_EQ(rtf::Kept::Comment, objects[5].kind);
    EXPECT_EQ(rtf::Kept::Field, objects[6].kind);
    const QByteArray written = rtf::write(doc);
    const qsizetype footnote = written.indexOf("{\\footnote");
    EXPECT_LT(written.indexOf("prima"), footnote);
    EXPECT_LT(footnote, written.indexOf("nota}}"));
    EXPECT_LT(written.indexOf("nota}}"), written.indexOf("dopo"));
    EXPECT_TRUE(written.contains("{\\*\\annotation\\pard commento}")) << written.toStdString();
    EXPECT_TRUE(written.contains("{\\field{\\*\\fldinst PAGE}{\\fldrslt}}")) << written.toStdString();
    // The footnote's font and colour are this document's own now.
    const QByteArray inner = written.mid(footnote, written.indexOf("nota}}") - footnote);
    const QRegularExpression font(QStringLiteral("\\\\f(\\d+)\\\\cf(\\d+)"));
    const auto match = font.match(QString::fromLatin1(inner));
    ASSERT_TRUE(match.hasMatch()) << inner.toStdString();
    EXPECT_TRUE(written.contains("{\\f" + match.captured(1).toLatin1() + "\\fnil\\fcharset0 Courier;}"));
    const QString colours = QString::fromLatin1(written)
                                .section(QStringLiteral("{\\colortbl"), 1)
                                .section(QLatin1Char('}'), 0, 0);
    EXPECT_TRUE(
        colours.split(QLatin1Char(';')).value(match.captured(2).toInt()).contains(QStringLiteral("red200")));
    QTextDocument back;
    EXPECT_EQ(s(doc.toPlainText()), s(textOf(written, back)));
}

TEST(RtfObjects, nestedTablesAndWordListsAreReadAndWrittenAsSuch) {
    // A table whose first cell holds a table of two rows, as Word writes it.
    const QByteArray nested =
        "{\\rtf1\\ansi\\pard Prima\\par"
        "\\trowd\\trgaph108\\cellx3000\\cellx6000"
        "\\pard\\intbl\\itap2 36\\nestcell otturazione\\nestcell"
        "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2500\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl\\itap2 47\\nestcell corona\\nestcell"
        "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2500\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl\\itap1\\cell\\pard\\intbl\\itap1 Note\\cell\\row\\pard Dopo\\par}";
    QTextDocument doc;
    rtf::read(nested, doc);
    auto check = [](QTextDocument& d) {
        const QList<QTextFrame*> frames = d.rootFrame()->childFrames();
        ASSERT_EQ(1, frames.size());
        auto* outer = qobject_cast<QTextTable*>(frames.front());
        ASSERT_NE(nullptr, outer);
        EXPECT_EQ(1, outer->rows());
        EXPECT_EQ(2, outer->columns());
        EXPECT_EQ(200.0, outer->format().columnWidthConstraints().value(0).rawValue()); // 3000 twips
        EXPECT_EQ("Note", s(outer->cellAt(0, 1).firstCursorPosition().block().text()));
        const QList<QTextFrame*> inner = outer->childFrames();
        ASSERT_EQ(1, inner.size());
        auto* table = qobject_cast<QTextTable*>(inner.front());
        ASSERT_NE(nullptr, table);
        EXPECT_EQ(2, table->rows());
        EXPECT_EQ("corona", s(table->cellAt(1, 1).firstCursorPosition().block().text()));
        EXPECT_EQ(100.0, table->format().columnWidthConstraints().value(1).rawValue()); // 1500 twips
    };
    check(doc);
    const QByteArray written = rtf::write(doc);
    EXPECT_EQ(2, written.count("\\nestrow"));
    EXPECT_EQ(1, written.count("\\row"));
    EXPECT_TRUE(written.contains("\\cellx1000\\cellx2500")) << written.toStdString();
    QTextDocument back;
    rtf::read(written, back);
    check(back);
    EXPECT_EQ(written.toStdString(), rtf::write(back).toStdString());

    // Word's lists: a bullet list and a numbered one whose items go on after a paragraph.
    const QByteArray lists =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
        "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23{\\leveltext\\'01\\u-3913 ?;}"
        "{\\levelnumbers;}\\f1\\fi-360\\li720}\\listid11}"
        "{\\list\\listtemplateid2{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00);}{\\levelnumbers\\'01;}"
        "\\fi-360\\li720}\\listid22}}{\\*\\listoverridetable{\\listoverride\\listid11\\ls1}"
        "{\\listoverride\\listid22\\ls2}}"
        "{\\listtext\\f1\\'b7\\tab}\\pard\\ls1\\fi-360\\li720 uno\\par{\\listtext\\f1\\'b7\\tab}due\\par"
        "{\\listtext 1)\\tab}\\pard\\ls2\\fi-360\\li720 primo\\par\\pard in mezzo\\par"
        "{\\listtext 2)\\tab}\\pard\\ls2\\fi-360\\li720 secondo\\par}";
    rtf::read(lists, doc);
    EXPECT_EQ("uno\ndue\nprimo\nin mezzo\nsecondo", s(doc.toPlainText()));
    auto item = [&doc](int n) { return doc.findBlockByNumber(n).textList(); };
    ASSERT_TRUE(item(0) && item(1) && item(2) && item(4));
    EXPECT_EQ(item(0), item(1));
    EXPECT_EQ(QTextListFormat::ListDisc, item(0)->format().style());
    EXPECT_EQ(item(2), item(4));
    EXPECT_EQ(QTextListFormat::ListDecimal, item(2)->format().style());
    EXPECT_EQ("2)", s(item(4)->itemText(doc.findBlockByNumber(4))));
    EXPECT_EQ(nullptr, item(3));
    // Written as the rich-edit control writes lists, and read back as the same lists.
    const QByteArray listsWritten = rtf::write(doc);
    EXPECT_TRUE(listsWritten.contains(
        "{\\pntext\\f0 2)\\tab}{\\*\\pn\\pnlvlbody\\pnindent0\\pnstart2\\pndec{\\pntxta )}}"))
        << listsWritten.toStdString();
    rtf::read(listsWritten, back);
    EXPECT_EQ(back.findBlockByNumber(2).textList(), back.findBlockByNumber(4).textList());
    EXPECT_EQ("2)", s(back.findBlockByNumber(4).textList()->itemText(back.findBlockByNumber(4))));
}

TEST(RtfObjects, picturesOfEveryKindAreShownOrFramedAndKeptByteForByte) {
    // A bitmap without its file header (\dibitmap): 2 x 1 pixels, blue and red.
    const QByteArray dib = "28000000020000000100000001001800000000000800000000000000000000000000000000000000"
                           "0000ffff00000000"; // blue, green, red; rows padded to 4 bytes
    // A device-dependent bitmap (\wbitmap): 8 x 2 monochrome pixels, 2 bytes a row.
    const QByteArray ddb = "f0000f00";
    // And a PNG whose bytes are damaged: it keeps its place and size, framed.
    const QByteArray rtf = "{\\rtf1 a{\\pict\\dibitmap0\\picw2\\pich1\\picwgoal300\\pichgoal150 " + dib +
                           "}b{\\pict\\wbitmap0\\picw8\\pich2\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2 " +
                           ddb + "}c{\\pict\\pngblip\\picwgoal1500\\pichgoal750 89504e470d0a1a0a0000}d}";
    RichTextBox box;
    box.resize(400, 300);
    BoundRichTextBox bound(&box, QStringLiteral("Note"));
    bound.fill(QString::fromLatin1(rtf));
    const std::vector<rtf::Object> objects = objectsOf(*box.document());
    ASSERT_EQ(3u, objects.size());
    const QImage bitmap = objects[0].picture->image(QSize(20, 10));
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(QSizeF(20, 10), objects[0].size); // 300 x 150 twips
    EXPECT_EQ(qRgb(255, 0, 0), bitmap.pixel(0, 0));
    EXPECT_EQ(qRgb(0, 0, 255), bitmap.pixel(1, 0));
    const QImage mono = objects[1].picture->image(QSize(8, 2));
    ASSERT_FALSE(mono.isNull());
    EXPECT_EQ(qRgb(255, 255, 255), mono.pixel(0, 0));
    EXPECT_EQ(qRgb(0, 0, 0), mono.pixel(7, 0));
    EXPECT_EQ(qRgb(255, 255, 255), mono.pixel(4, 1));
    EXPECT_TRUE(objects[2].picture->image(QSize(100, 50)).isNull());
    EXPECT_EQ(QSizeF(100, 50), objects[2].size);
    // The placeholder is drawn at its size: a framed grey box of 100 x 50 pixels.
    const QImage shown = box.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int grey = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            grey += shown.pixel(x, y) == qRgb(245, 245, 245);
    EXPECT_GT(grey, 100 * 50 / 2);
    EXPECT_FALSE(bound.DataChanged());

    QTest::keyClicks(&box, QStringLiteral("Z"));
    const QByteArray written = bound.storeValue().toString().toLatin1();
    EXPECT_EQ(picturesIn(rtf), picturesIn(written));
    EXPECT_EQ(3u, picturesIn(written).size());
}

TEST(RtfObjects, pastedTablesListsPicturesAndLinksAreStoredAsSuch) {
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(QColor(10, 120, 200));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QByteArray png = buffer.data();

    RichTextBox box;
    BoundRichTextBox bound(&box, QStringLiteral("Note"));
    bound.fill(QVariant());
    // From a browser: a link, a table, a list and a picture inline.
    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<p>Vedi <a href=\"http://studio.example/rx/1\">referto</a></p>"
                                 "<table><tr><td>36</td><td>otturazione</td></tr><tr><td>47</td>"
                                 "<td>corona</td></tr></table><ul><li>uno</li><li>due</li></ul>"
                                 "<p><img src=\"data:image/png;base64,") +
                  QString::fromLatin1(png.toBase64()) + QStringLiteral("\"></p>"));
    QApplication::clipboard()->setMimeData(html);
    box.paste();
    // From an image viewer: a picture alone, its own bytes.
    auto* picture = new QMimeData;
    picture->setData(QStringLiteral("image/png"), png);
    picture->setImageData(image);
    QApplication::clipboard()->setMimeData(picture);
    box.paste();
    ASSERT_TRUE(bound.DataChanged());
    const QByteArray written = bound.storeValue().toString().toLatin1();

    EXPECT_EQ(1, written.count("HYPERLINK \"http://studio.example/rx/1\""));
    EXPECT_EQ(2, rowsIn(written));
    EXPECT_EQ(4, written.count("\\cellx"));
    EXPECT_EQ(2, written.count("\\pnlvlblt"));
    EXPECT_EQ(std::vector<QByteArray>({png, png}), picturesIn(written));
    QTextDocument back;
    rtf::read(written, back);
    Seen seen;
    count(back, seen);
    EXPECT_EQ(2, seen.pictures);
    EXPECT_EQ(2, seen.rows);
    EXPECT_EQ(2, seen.items);
    EXPECT_EQ(7, seen.links);

    // Copied from the notes and pasted again: everything comes along.
    box.selectAll();
    box.copy();
    box.moveCursor(QTextCursor::End);
    box.paste();
    const QByteArray twice = bound.storeValue().toString().toLatin1();
    EXPECT_EQ(4u, picturesIn(twice).size());
    EXPECT_EQ(4, rowsIn(twice));
    EXPECT_EQ(2, twice.count("HYPERLINK \"http://studio.example/rx/1\""));
}

QString firstLinkTarget(const QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                return it.fragment().charFormat().anchorHref();
    return QString();
}

TEST(RtfObjects, linkTargetsKeepCharactersBeyondAscii) {
    // A link made in the notes (pasted from a browser) keeps its target when saved and opened.
    const QString target =
        QStringLiteral("http://studio.example/referti/caff\u00E8 \u20AC \u03A9\u0421\u0442");
    QTextDocument doc;
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(target);
    QTextCursor(&doc).insertText(QStringLiteral("referto"), link);
    QTextDocument back;
    rtf::read(rtf::write(doc), back);
    EXPECT_EQ(s(target), s(firstLinkTarget(back)));
    // Written by Word: characters of the document's code page and beyond it.
    rtf::read(
        QByteArray("{\\rtf1\\ansi\\ansicpg1251{\\field{\\*\\fldinst HYPERLINK \"http://x/\\'c4\\uc2\\u937 "
                   "xx\\'80\"}{\\fldrslt a}}}"),
        back);
    EXPECT_EQ("http://x/\u0414\u03A9\u0402", s(firstLinkTarget(back)));
    // Targets as other programs write them, read and saved alike: a file's bytes beyond ASCII
    // in its code page, a backslash before such a byte escaping nothing, \uc within a group;
    // bytes of another code page and \uN with two stand-ins, where the note is written in
    // code page 1252 with one (and the target written anew keeps what is no text).
    const std::pair<QByteArray, QString> links[] = {
        {"{\\rtf1\\ansi{\\field{\\*\\fldinst HYPERLINK \"http://x/caff\xe8\x80\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/caff\u00E8\u20AC")},
        {"{\\rtf1\\ansi{\\field{\\*\\fldinst HYPERLINK \"ht\\\xfftp://x/\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/")},
        {"{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://x/{\\uc2\\u1055 ab}\\u1056?z\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/\u041F\u0420z")},
        {"{\\rtf1\\ansi\\ansicpg1251{\\field{\\*\\fldinst HYPERLINK \"http://x/\\'ef\xf0\" \\o "
         "\"t\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/\u043F\u0440")},
        {"{\\rtf1\\uc2{\\field{\\*\\fldinst HYPERLINK \"http://x/\\u1055 ab\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/\u041F")},
        {"{\\rtf1\\uc2{\\field{\\*\\fldinst HYPERLINK \"http://x/\\'a0\\u129 ??\\'09\"}{\\fldrslt a}}}",
         QStringLiteral("http://x/\u00A0\u0081\t")},
    };
    for (const auto& [note, expected] : links) {
        SCOPED_TRACE(note.toStdString());
        rtf::read(note, back);
        EXPECT_EQ(s(expected), s(firstLinkTarget(back)));
        QTextDocument again;
        rtf::read(rtf::write(back), again);
        EXPECT_EQ(s(expected), s(firstLinkTarget(again)));
        EXPECT_EQ("a", s(again.toPlainText()));
    }
}

TEST(RtfObjects, damagedKeptPartsComeBackAsTheyWereRead) {
    // Inputs like those fuzzing found: kept parts whose RTF, written back, read otherwise.
    const QByteArray inputs[] = {
        "{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"x\"}b}c}",                      // text outside the result
        "{\\rtf1{\\field{\\*\\fldinst A}{\\field{\\*\\fldinst B}x}}y}",             // nested fields
        "{\\rtf1 a{\\v{\\field{\\*\\fldinst PAGE}{\\fldrslt \\'e8r}}}b}",           // a hidden result
        "{\\rtf1 a{\\footnote x\\bin3 abc}b}",                                      // \bin outside a picture
        QByteArray("{\\rtf1 a{\\footnote\0lang}b}", 26),                            // a NUL after a word
        "{\\rtf1 a{\\pict\\\x9din3 ab}b}",                                          // an undefined symbol
        "{\\rtf1 x{\\field{\\*\\fldinst{HYPERLINK \"y\"\\par z",                    // cut inside a field
        "{\\rtf1\\trowd\\cellx100\\pard\\intbl a\\cell\\cellx200\\row b}",          // a row defined twice
        "{\\rtf1{\\pntext \x01\\tab}x\\par}",                                       // a control character
        "{\\rtf1 a\\trowd\\cellx1000\\pard\\intbl x\\cell\\row\\pard b\\par}",      // a table after text
        "{\\rtf1{\\field{\\*\\fldinst PAGE}{\\pntext x\\tab}}y}",                   // a label in a field
        "{\\rtf1 a{   \\nonshppict{\\pict 0a}}b}",                                  // blanks before a word
        "{\\rtf1{\\fonttbl{\\f1\\fcharset2 S;}}\\f1{\\field\xff{\\*\\fldinst P}}}", // a byte of no character
        "{\\rtf1{\\fonttbl{\\f1\\fcharset128 M;}}\\f1{\\field{\\*\\fldinst P}\\'e5}}", // a lead byte alone
        "{\\rtf1{\\field{\\*\\fldinst P}\\mac}\\'d8}", // a character set inside a field
        "{\\rtf1{\\object\\bin3 f4\\m}}",              // data skipped after a word
        "{\\rtf1{\\field{\\fldrslt d}{\\*\\fldinst\\", // cut after a backslash
        "{\\rtf1{\\field{\\*\\fldinst P}{\\fonttbl{\\f\\fcharset128 M;}}}\\'83}", // a font table in a field
        "{\\rtf1 x{\\field{\\*\\fldinst P}\\pict\\bin3 abc}y}",                   // \pict inside a group
    };
    // Pasted as text: a character no code page holds is written back as \u in a group of its own.
    const QString pasted[] = {
        QStringLiteral("{\\rtf1{\\field{\\*\\fldinst P}{\\fonttbl\\f9\uFFFD\\par}}}"), // in a font's name
    };
    std::vector<std::pair<std::string, QString>> all;
    for (const QByteArray& input : inputs)
        all.emplace_back(input.toStdString(), QString());
    for (const QString& input : pasted)
        all.emplace_back(input.toStdString(), input);
    for (const auto& [shown, text] : all) {
        SCOPED_TRACE(shown);
        QTextDocument doc;
        if (text.isEmpty())
            rtf::read(QByteArray::fromStdString(shown), doc);
        else
            rtf::read(text, doc);
        const QByteArray written = rtf::write(doc);
        QTextDocument back;
        rtf::read(written, back);
        EXPECT_EQ(s(doc.toPlainText()), s(back.toPlainText())) << written.toStdString();
        EXPECT_EQ(written.toStdString(), rtf::write(back).toStdString());
    }
}

TEST(RtfObjects, libreOfficeReadsANoteWrittenBackWithItsTableAndList) {
    // A second independent reader where LibreOffice is installed.
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    RichTextBox box;
    BoundRichTextBox bound(&box, QStringLiteral("Note"));
    bound.fill(QString::fromLatin1(sample(QStringLiteral("objects-rtfjs/sample.rtf"))));
    clickIntoText(box);
    QTest::keyClicks(&box, QStringLiteral("QVEDIT"));
    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("note.rtf")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bound.storeValue().toString().toLatin1());
    out.close();
    QProcess convert;
    convert.start(soffice,
                  {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                   QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"), dir.path(),
                   out.fileName()});
    ASSERT_TRUE(convert.waitForFinished(120000));
    QFile text(dir.filePath(QStringLiteral("note.txt")));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QString shownByLibreOffice = QString::fromUtf8(text.readAll());
    for (const char* expected : {"QVEDIT", "Cell 1", "More in cell 2", "Next row", "Item 4", "footnote."})
        EXPECT_TRUE(shownByLibreOffice.contains(QString::fromUtf8(expected))) << expected;
}

} // namespace
