// The RTF reader and writer on their own: real files from other programs, every family of
// control words, code pages and Unicode, damaged input, and the round trip of every format.
#include "clinical/Rtf.h"
#include "tests/support/Files.h"
#include "tests/support/Text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <gtest/gtest.h>

using namespace qv;
using qv::test::str;

namespace {

QString samplesDir() {
    return test::testData(QStringLiteral("rtf-samples"));
}

QByteArray sample(const QString& name) {
    const QString path = samplesDir() + QLatin1Char('/') + name;
    EXPECT_TRUE(QFileInfo(path).isFile()) << name.toStdString();
    return test::readFile(path);
}

void appendShown(QString& out, QTextFrame::iterator it, const QTextFrame::iterator& end);

// The text as a word processor's text export gives it: paragraphs separated by newlines, list
// items with their labels and a tab, table cells each followed by a tab and rows by newlines;
// pictures and objects carry no text.
QString shownText(const QTextDocument& doc) {
    QString out;
    appendShown(out, doc.rootFrame()->begin(), doc.rootFrame()->end());
    return out;
}

void appendShown(QString& out, QTextFrame::iterator it, const QTextFrame::iterator& end) {
    bool first = true;
    bool afterTable = false;
    for (; it != end && !it.atEnd(); ++it) {
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            for (int r = 0; r < table->rows(); ++r) {
                if (!first || r > 0)
                    out += QLatin1Char('\n');
                for (int c = 0; c < table->columns(); ++c) {
                    const QTextTableCell cell = table->cellAt(r, c);
                    if (cell.row() != r || cell.column() != c)
                        continue;
                    appendShown(out, cell.begin(), cell.end());
                    out += QLatin1Char('\t');
                }
            }
            first = false;
            afterTable = true;
            continue;
        }
        const QTextBlock block = it.currentBlock();
        QTextFrame::iterator next = it;
        ++next;
        const bool last = next == end || next.atEnd();
        // The empty blocks a table stands between are no paragraphs.
        if (block.length() <= 1 &&
            ((!last && qobject_cast<QTextTable*>(next.currentFrame())) || (last && afterTable)))
            continue;
        afterTable = false;
        if (!first)
            out += QLatin1Char('\n');
        first = false;
        if (const QTextList* list = block.textList()) {
            const QTextListFormat::Style style = list->format().style();
            const bool bullet = style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
                                style == QTextListFormat::ListSquare;
            out += (bullet ? QString(QChar(0x2022)) : list->itemText(block)) + QLatin1Char('\t');
        }
        out += block.text().remove(QChar::ObjectReplacementCharacter);
    }
}

// Reads RTF bytes and gives the document's text as shownText() does.
QString textOf(const QByteArray& rtf, QTextDocument* into = nullptr) {
    QTextDocument local;
    QTextDocument& doc = into ? *into : local;
    rtf::read(rtf, doc);
    return shownText(doc);
}

// The format of the character that starts the first occurrence of `text`.
QTextCharFormat formatOf(const QTextDocument& doc, const QString& text) {
    QTextCursor found = doc.find(text, 0, QTextDocument::FindCaseSensitively);
    EXPECT_FALSE(found.isNull()) << str(text);
    QTextCursor at(const_cast<QTextDocument*>(&doc));
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

QString familyOf(const QTextCharFormat& f) {
    return f.property(QTextFormat::FontFamilies).toStringList().value(0);
}

// The visible text of an expected HTML rendering.
QString htmlText(const QByteArray& html) {
    QString text = QString::fromUtf8(html);
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

QString withoutBlanks(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

// ---------------------------------------------------------------------------------------
// Real files

TEST(RtfSamples, everyFileLoadsWithText) {
    const QStringList folders{QStringLiteral("richedit-rtfpipe"), QStringLiteral("wordpad-rtfparserkit"),
                              QStringLiteral("libreoffice")};
    int files = 0;
    for (const QString& folder : folders) {
        QDir dir(samplesDir() + QLatin1Char('/') + folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.rtf")}, QDir::Files)) {
            const QByteArray bytes = sample(folder + QLatin1Char('/') + name);
            ASSERT_TRUE(rtf::isRtf(bytes)) << str(name);
            const QString text = textOf(bytes);
            // Pictures and objects are skipped: no hexadecimal picture data reaches the text.
            EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[0-9a-f]{40}")))) << str(name);
            EXPECT_FALSE(text.contains(QLatin1Char('\\'))) << str(name);
            if (name != QLatin1String("PictureObjectEmbed2.rtf")) {
                EXPECT_FALSE(withoutBlanks(text).isEmpty()) << str(name);
            }
            // What the writer makes of the file reads back to the very same text and formats.
            QTextDocument first;
            rtf::read(bytes, first);
            const QByteArray written = rtf::write(first);
            QTextDocument again;
            rtf::read(written, again);
            EXPECT_EQ(written.toStdString(), rtf::write(again).toStdString()) << str(name);
            ++files;
        }
    }
    EXPECT_EQ(21, files);
}

TEST(RtfSamples, wordDocumentGivesTheExpectedPlainText) {
    const QString expected =
        QString::fromUtf8(sample(QStringLiteral("wordpad-rtfparserkit/testTextConversion.txt")));
    // The table's cells come out separated by tabs, as a word processor's text export has them.
    EXPECT_EQ(str(expected),
              str(textOf(sample(QStringLiteral("wordpad-rtfparserkit/testTextConversion.rtf"))) +
                  QLatin1Char('\n')));
}

TEST(RtfSamples, richEditFilesGiveTheTextOfTheirRenderings) {
    for (const char* name : {"Issue42", "RtfParserTest_4"}) {
        const QString base = QStringLiteral("richedit-rtfpipe/") + QString::fromLatin1(name);
        const QString expected = htmlText(sample(base + QStringLiteral(".html")));
        EXPECT_EQ(str(withoutBlanks(expected)),
                  str(withoutBlanks(textOf(sample(base + QStringLiteral(".rtf"))))))
            << name;
    }
    EXPECT_EQ("バージョンアップ注文書（銀行振込）",
              str(textOf(sample(QStringLiteral("richedit-rtfpipe/RtfParserTest_4.rtf")))));
    // List labels are text: a Symbol-font bullet, and a number with its tab.
    EXPECT_EQ("\u2022\tA\n\u2022\tB\n\u2022\tC\n1)\tD",
              str(textOf(sample(QStringLiteral("richedit-rtfpipe/Issue53.rtf")))));
    EXPECT_EQ("Paragraph\n\u2022\tBullet\n\u2022\tBullet 2\nParagraph 2\n1.\tList 1\n2.\tList 2",
              str(textOf(sample(QStringLiteral("richedit-rtfpipe/List.rtf")))));
}

TEST(RtfSamples, codePagesOfDocumentsAndFonts) {
    EXPECT_EQ("Unicode \u20AC\u03A9",
              str(textOf(sample(QStringLiteral("wordpad-rtfparserkit/testGreekEncoding.rtf")))));
    EXPECT_EQ("ABC", str(textOf(sample(QStringLiteral("wordpad-rtfparserkit/testHex.rtf")))));
    const QString unicode = textOf(sample(QStringLiteral("wordpad-rtfparserkit/testUnicode.rtf")));
    EXPECT_TRUE(unicode.startsWith(QString::fromUtf8("Արամ\nJohann Strauß\nBelgië\tRené Magritte\nবাংলা\n")))
        << str(unicode);
    EXPECT_TRUE(unicode.contains(QString::fromUtf8("中国\nČeská republika"))) << str(unicode);
    // Shift-JIS (\ansicpg932) and GBK (\fcharset134) documents.
    EXPECT_TRUE(textOf(sample(QStringLiteral("richedit-rtfpipe/RtfParserTest_5.rtf")))
                    .contains(QString::fromUtf8("バージョン 8.5\nリリース ノート")));
    EXPECT_TRUE(textOf(sample(QStringLiteral("richedit-rtfpipe/RtfParserTest_8.rtf")))
                    .contains(QString::fromUtf8("新功能\n\n\u2022\t实验功能 - 队列窗鼠标右键菜单")));
    EXPECT_TRUE(textOf(sample(QStringLiteral("richedit-rtfpipe/old3_from_web.rtf")))
                    .startsWith(QString::fromUtf8("Composed by Fredrik Sundström University of Linköping")));
    // Private-use characters written as negative \u values.
    EXPECT_TRUE(textOf(sample(QStringLiteral("wordpad-rtfparserkit/testNegativeUnicode.rtf")))
                    .contains(QString(QChar(0xF700)) + QChar(0xF701) + QChar(0xF702)));
    // \upr: the Unicode version is read, the ANSI one is not read a second time.
    const QString upr = textOf(sample(QStringLiteral("wordpad-rtfparserkit/testUpr.rtf")));
    EXPECT_TRUE(upr.startsWith(QStringLiteral("TEST\nEnd User License Agreement"))) << str(upr);
    EXPECT_EQ(1, upr.count(QStringLiteral("End User License Agreement")));
}

TEST(RtfSamples, wordPadSymbolsAndStyles) {
    EXPECT_EQ("Tab A\tB\nTab A\tB\nCR A\nB\nLF A\nB\nThis is a line break.\u2028Here is the new line.\n"
              "Emdash: \u2014\nEndash: \u2013\nEmspace: \u2003\nEnspace: \u2002\nQmspace: \u2005\n"
              "Bullet: \u2022\nLquote: \u2018\nRquote: \u2019\nLdblquote: \u201C\nRdblquote: \u201D",
              str(textOf(sample(QStringLiteral("wordpad-rtfparserkit/testSpecialChars.rtf")))));

    QTextDocument doc;
    textOf(sample(QStringLiteral("wordpad-rtfparserkit/testStyles.rtf")), &doc);
    EXPECT_FALSE(formatOf(doc, QStringLiteral("Test 1")).fontItalic());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("Test 2")).fontItalic());
    EXPECT_EQ(QFont::Bold, formatOf(doc, QStringLiteral("Test 3")).fontWeight());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("Test 3")).fontItalic());
    EXPECT_EQ(QFont::Normal, formatOf(doc, QStringLiteral("Test 4")).fontWeight());
    EXPECT_EQ("Calibri", str(familyOf(formatOf(doc, QStringLiteral("Test 5")))));
    EXPECT_EQ("Arial", str(familyOf(formatOf(doc, QStringLiteral("Test 6 - Arial 11")))));
    EXPECT_EQ(11.0, formatOf(doc, QStringLiteral("Test 6 - Arial 11")).fontPointSize());
    EXPECT_EQ(12.0, formatOf(doc, QStringLiteral("Test 6 - Arial 12")).fontPointSize());
}

TEST(RtfSamples, libreOfficeNote) {
    QTextDocument doc;
    const QString text = textOf(sample(QStringLiteral("libreoffice/note-lo74.rtf")), &doc);
    EXPECT_EQ("12/03/2004: carie al 36, sensibilità al freddo € “ok” — Ω 中 \U0001F600\tTab\nCentrato "
              "corsivo rosso",
              str(text));
    EXPECT_EQ(QFont::Bold, formatOf(doc, QStringLiteral("12/03")).fontWeight());
    EXPECT_EQ(QFont::Normal, formatOf(doc, QStringLiteral("carie")).fontWeight());
    EXPECT_EQ("Arial", str(familyOf(formatOf(doc, QStringLiteral("carie")))));
    EXPECT_EQ(10.0, formatOf(doc, QStringLiteral("carie")).fontPointSize());
    EXPECT_FALSE(
        formatOf(doc, QStringLiteral("carie")).hasProperty(QTextFormat::ForegroundBrush)); // \cf0: automatic
    const QTextCharFormat centred = formatOf(doc, QStringLiteral("Centrato"));
    EXPECT_TRUE(centred.fontItalic());
    EXPECT_EQ(QColor(200, 0, 0), centred.foreground().color());
    EXPECT_EQ(Qt::AlignHCenter, doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask);
}

// ---------------------------------------------------------------------------------------
// Control words

TEST(RtfRead, characterFormats) {
    QTextDocument doc;
    const QString text = textOf(
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\\f0\\fs20 "
        "n \\b bo\\b0  \\i it\\i0  \\ul un\\ulnone  \\uldb dou\\ul0  \\strike st\\strike0  \\f1 ti\\f0  "
        "\\fs40 big\\fs20  \\cf1 red\\cf0  \\highlight2 hl\\highlight0  \\super up\\nosupersub  "
        "\\sub dn\\sub0  {\\b gr}af \\b\\i\\ul\\cf2 x\\plain pl}",
        &doc);
    EXPECT_EQ("n bo it un dou st ti big red hl up dn graf xpl", str(text));
    EXPECT_EQ("Arial", str(familyOf(formatOf(doc, QStringLiteral("n ")))));
    EXPECT_EQ(10.0, formatOf(doc, QStringLiteral("n ")).fontPointSize());
    EXPECT_EQ(QFont::Bold, formatOf(doc, QStringLiteral("bo")).fontWeight());
    EXPECT_EQ(QFont::Normal, formatOf(doc, QStringLiteral("it")).fontWeight());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("it")).fontItalic());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("un")).fontUnderline());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("dou")).fontUnderline());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("st")).fontUnderline());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("st")).fontStrikeOut());
    EXPECT_EQ("Times New Roman", str(familyOf(formatOf(doc, QStringLiteral("ti")))));
    EXPECT_EQ(20.0, formatOf(doc, QStringLiteral("big")).fontPointSize());
    EXPECT_EQ(QColor(255, 0, 0), formatOf(doc, QStringLiteral("red")).foreground().color());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("hl")).hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(QColor(0, 0, 255), formatOf(doc, QStringLiteral("hl")).background().color());
    EXPECT_EQ(QTextCharFormat::AlignSuperScript, formatOf(doc, QStringLiteral("up")).verticalAlignment());
    EXPECT_EQ(QTextCharFormat::AlignSubScript, formatOf(doc, QStringLiteral("dn")).verticalAlignment());
    // A group's formats end with the group.
    EXPECT_EQ(QFont::Bold, formatOf(doc, QStringLiteral("gr")).fontWeight());
    EXPECT_EQ(QFont::Normal, formatOf(doc, QStringLiteral("af")).fontWeight());
    const QTextCharFormat x = formatOf(doc, QStringLiteral("x"));
    EXPECT_TRUE(x.fontItalic() && x.fontUnderline() && x.fontWeight() == QFont::Bold);
    EXPECT_EQ(QColor(0, 0, 255), x.foreground().color());
    // \plain: back to the default font and size, nothing else.
    const QTextCharFormat plain = formatOf(doc, QStringLiteral("pl"));
    EXPECT_FALSE(plain.fontItalic() || plain.fontUnderline() || plain.fontWeight() == QFont::Bold);
    EXPECT_FALSE(plain.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ("Arial", str(familyOf(plain)));
    EXPECT_EQ(12.0, plain.fontPointSize());
}

TEST(RtfRead, colourTableWithoutAnEmptyFirstEntry) {
    QTextDocument doc;
    textOf("{\\rtf1{\\colortbl\\red255\\green0\\blue0;\\red0\\green128\\blue0;}\\cf0 A\\cf1 B\\cf7 C}", &doc);
    EXPECT_EQ(QColor(255, 0, 0), formatOf(doc, QStringLiteral("A")).foreground().color());
    EXPECT_EQ(QColor(0, 128, 0), formatOf(doc, QStringLiteral("B")).foreground().color());
    // A colour the table does not have is the automatic colour.
    EXPECT_FALSE(formatOf(doc, QStringLiteral("C")).hasProperty(QTextFormat::ForegroundBrush));
}

TEST(RtfRead, paragraphs) {
    QTextDocument doc;
    const QString text =
        textOf("{\\rtf1 \\pard\\qc C\\par\\pard\\qr R\\par\\pard\\qj J\\par"
               "\\pard\\li720\\ri360\\fi-360 I\\par\\pard\\sb240\\sa120 S\\par\\pard L\\par}",
               &doc);
    ASSERT_EQ("C\nR\nJ\nI\nS\nL", str(text)); // the last \par ends the last paragraph, it adds none
    auto block = [&doc](int n) { return doc.findBlockByNumber(n).blockFormat(); };
    EXPECT_EQ(Qt::AlignHCenter, block(0).alignment() & Qt::AlignHorizontal_Mask);
    EXPECT_EQ(Qt::AlignRight, block(1).alignment() & Qt::AlignHorizontal_Mask);
    EXPECT_EQ(Qt::AlignJustify, block(2).alignment() & Qt::AlignHorizontal_Mask);
    EXPECT_EQ(48.0, block(3).leftMargin()); // 720 twips: half an inch, 48 pixels
    EXPECT_EQ(24.0, block(3).rightMargin());
    EXPECT_EQ(-24.0, block(3).textIndent());
    EXPECT_EQ(16.0, block(4).topMargin());
    EXPECT_EQ(8.0, block(4).bottomMargin());
    EXPECT_EQ(Qt::AlignLeft, block(5).alignment() & Qt::AlignHorizontal_Mask);
    EXPECT_EQ(0.0, block(5).leftMargin());

    // Properties in force at \par make the paragraph; an empty paragraph stays.
    EXPECT_EQ("A\n\nB", str(textOf("{\\rtf1 A\\par\\par B}")));
    EXPECT_EQ("A\n", str(textOf("{\\rtf1 A\\par\\par}")));
    textOf("{\\rtf1 A\\qr\\par}", &doc);
    EXPECT_EQ(Qt::AlignRight, doc.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask);
    // A hanging indent never reaches left of the margin.
    textOf("{\\rtf1\\fi-2000\\li100 A}", &doc);
    EXPECT_GE(doc.firstBlock().blockFormat().textIndent() + doc.firstBlock().blockFormat().leftMargin(), 0.0);
}

TEST(RtfRead, symbolsAndSpecialCharacters) {
    EXPECT_EQ(
        "a\u2028b\tc\u00A0d\u00ADe\u2011f\\{}\u2014\u2013\u2022\u2018\u2019\u201C\u201D\ng",
        str(textOf("{\\rtf1 a\\line b\\tab c\\~d\\-e\\_f\\\\\\{\\}\\emdash\\endash\\bullet\\lquote\\rquote"
                   "\\ldblquote\\rdblquote\\\ng}")));
    // Unknown words and symbols are ignored; their text is not.
    EXPECT_EQ("ab c", str(textOf("{\\rtf1 a\\foo12 b\\| \\:c\\B}")));
    // Control characters are no text, however they come; a paragraph separator breaks the line.
    EXPECT_EQ("abcd\u2028e", str(textOf("{\\rtf1 a\\u8?b\\u10?c\\'01d\\u8233?e\\u65279?}")));
    // Line breaks of the file itself are no text.
    EXPECT_EQ("abc", str(textOf("{\\rtf1 a\r\nb\nc}")));
    // List labels are text, in the list font's own symbols.
    EXPECT_EQ("\u2022\tItem",
              str(textOf("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                         "{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}Item}")));
    EXPECT_EQ("\u25AA\tItem", str(textOf("{\\rtf1{\\fonttbl{\\f3\\fcharset2 Wingdings;}}"
                                         "{\\listtext\\f3\\'a7\\tab}Item}")));
    EXPECT_EQ("Heading 1\tHeading 2\t\nA\tB\t",
              str(textOf("{\\rtf1\\trowd\\cellx100\\cellx200 \\intbl Heading 1\\cell "
                         "Heading 2\\cell\\row\\intbl A\\cell B\\cell\\row}")));
}

TEST(RtfRead, destinationsItDoesNotShowAreSkipped) {
    // The object is shown by its result's picture (here none: a placeholder), not its text.
    EXPECT_EQ("Text link  end",
              str(textOf("{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\stylesheet{\\s0 Normal;}{\\s1 Heading;}}"
                         "{\\info{\\title T}{\\author A}}{\\*\\generator Msftedit 5.41;}"
                         "{\\header h}{\\footer f}{\\*\\unknown u{\\nested n}}"
                         "Text {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} "
                         "{\\pict\\wmetafile8 0102ff}{\\*\\shppict{\\pict 0a0b}}{\\nonshppict{\\pict 0c}}"
                         "{\\object\\objemb{\\*\\objclass PBrush}{\\*\\objdata 0102}{\\result r}} "
                         "{\\footnote note}{\\v hidden}end}")));
    // Binary data may hold braces and backslashes.
    EXPECT_EQ("ab", str(textOf(QByteArray("{\\rtf1 a{\\pict\\bin6 }{\\{x}}b}"))));
    EXPECT_EQ("ab", str(textOf(QByteArray("{\\rtf1 a{\\*\\blob\\bin4 }}}}}b}"))));
    // A destination word inside a group's text is no destination.
    EXPECT_EQ("ab", str(textOf("{\\rtf1 {a\\pict b}}")));
}

TEST(RtfRead, codePagesAndUnicode) {
    EXPECT_EQ("\u00E8\u20AC\u2019", str(textOf("{\\rtf1\\ansi \\'e8\\'80\\'92}")));
    EXPECT_EQ("\u0161", str(textOf("{\\rtf1\\ansi\\ansicpg1250 \\'9a}")));
    EXPECT_EQ("\u0410", str(textOf("{\\rtf1\\ansi\\ansicpg1251 \\'c0}")));
    // A font's \fcharset holds for its own text only; \cpg before it.
    EXPECT_EQ(
        "\u00D9\u03A9\u0429\u00D9",
        str(textOf("{\\rtf1\\ansi{\\fonttbl{\\f0 A;}{\\f1\\fcharset161 G;}{\\f2\\fcharset0\\cpg1251 C;}}"
                   "\\f0\\'d9\\f1\\'d9\\f2\\'d9\\f0\\'d9}")));
    // Double-byte code pages, the trail byte also as a plain character.
    EXPECT_EQ("\u30D0\uFF22", str(textOf("{\\rtf1\\ansi\\ansicpg932 \\'83\\'6f\\'82a}")));
    // A font name in its own code page.
    QTextDocument doc;
    textOf("{\\rtf1{\\fonttbl{\\f0\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\\f0 x}", &doc);
    EXPECT_EQ("宋体", str(familyOf(formatOf(doc, QStringLiteral("x")))));
    // Raw bytes in a file are in the code page; characters in a text are taken as they are.
    EXPECT_EQ("\u00E9", str(textOf(QByteArray("{\\rtf1\\ansi \xE9}"))));
    rtf::read(QStringView(u"{\\rtf1\\ansi Ω é}"), doc);
    EXPECT_EQ("Ω é", str(doc.toPlainText()));

    // \uN with its fallback, \ucN in its group.
    EXPECT_EQ("\u20ACx", str(textOf("{\\rtf1\\uc1\\u8364?x}")));
    EXPECT_EQ("\u20ACy", str(textOf("{\\rtf1\\uc2\\u8364\\'80\\'80y}")));
    EXPECT_EQ("\u20ACz", str(textOf("{\\rtf1\\uc0\\u8364 z}")));
    EXPECT_EQ("\u20AC\u20ACx", str(textOf("{\\rtf1{\\uc2\\u8364??}\\u8364?x}")));
    EXPECT_EQ("\u20AC?", str(textOf("{\\rtf1{\\u8364}?}"))); // the fallback ends with the group
    EXPECT_EQ("\uF020\u4E2D\u56FD", str(textOf("{\\rtf1\\u-4064?\\u20013?\\u22269?}")));
    EXPECT_EQ("\U0001F600", str(textOf("{\\rtf1\\u-10179?\\u-8704?}")));
}

// ---------------------------------------------------------------------------------------
// Damaged input

TEST(RtfRead, damagedInputIsReadAsFarAsItGoes) {
    EXPECT_EQ("abc", str(textOf("{\\rtf1 abc")));                            // cut short
    EXPECT_EQ("a b", str(textOf("{\\rtf1 a {\\b b")));                       // cut inside a group
    EXPECT_EQ("a", str(textOf("{\\rtf1 a{\\pict 0102")));                    // cut inside a picture
    EXPECT_EQ("a", str(textOf("{\\rtf1 a}}}} b")));                          // braces too many
    EXPECT_EQ("x", str(textOf("}}}{\\rtf1 x}")));                            // braces before the start
    EXPECT_EQ("ab", str(textOf(QByteArray("{\\rtf1 a{\\b b}}\0\0\0", 18)))); // trailing NULs
    EXPECT_EQ("ab", str(textOf(QByteArray("{\\rtf1 a\0b}", 11))));
    EXPECT_EQ("azz", str(textOf("{\\rtf1 a\\'zz\\'4"))); // bad hexadecimal
    EXPECT_EQ("a", str(textOf("{\\rtf1 a\\")));
    EXPECT_EQ("a", str(textOf("{\\rtf1 a\\u")));
    EXPECT_EQ("a", str(textOf("{\\rtf1 a\\bin99999999999")));
    EXPECT_EQ("ab", str(textOf("{\\rtf1 a\\" + QByteArray(5000, 'x') + " b}")));

    // Huge and absurd numbers.
    QTextDocument doc;
    const QString huge =
        textOf("{\\rtf1{\\fonttbl{\\f99999999999999 F;}}{\\colortbl;\\red99999999\\green-5;}"
               "\\fs99999999999999999999 a\\li999999999999\\ri-9\\fi-99999999999\\sb99999999 "
               "\\u99999999999 b\\uc999999999 c\\cf99999999999 d\\f-99999999999 e}",
               &doc);
    EXPECT_TRUE(huge.startsWith(QLatin1Char('a'))) << str(huge);
    EXPECT_LE(doc.firstBlock().blockFormat().leftMargin(), 31680 / 15.0);
    EXPECT_GE(doc.firstBlock().blockFormat().rightMargin(), 0.0);
    EXPECT_GT(formatOf(doc, QStringLiteral("a")).fontPointSize(), 0.0);
    EXPECT_LE(formatOf(doc, QStringLiteral("a")).fontPointSize(), 1638.0);
}

TEST(RtfRead, deepNestingNeitherOverflowsNorStops) {
    const int depth = 200000;
    const QByteArray nested = "{\\rtf1 a" + QByteArray(depth, '{') + "x" + QByteArray(depth, '}') + "y}";
    const QString text = textOf(nested);
    EXPECT_TRUE(text.startsWith(QLatin1Char('a')));
    EXPECT_TRUE(text.endsWith(QLatin1Char('y')));
    EXPECT_EQ("a", str(textOf("{\\rtf1 a" + QByteArray(depth, '{'))));
    // Shallow enough nesting keeps its text and formats.
    QTextDocument doc;
    EXPECT_EQ("abc", str(textOf("{\\rtf1 {{{{{{{{{{\\b a}}}}}}}}}}b{{{{\\i c}}}}}", &doc)));
    EXPECT_EQ(QFont::Bold, formatOf(doc, QStringLiteral("a")).fontWeight());
}

TEST(RtfRead, mangledFilesNeverBreakTheReader) {
    // Real files cut short and with bytes changed at random (the same every run).
    QRandomGenerator random(7);
    const QStringList names{QStringLiteral("richedit-rtfpipe/Issue53.rtf"),
                            QStringLiteral("richedit-rtfpipe/RtfParserTest_4.rtf"),
                            QStringLiteral("wordpad-rtfparserkit/testUnicode.rtf"),
                            QStringLiteral("wordpad-rtfparserkit/testSpecialChars.rtf")};
    const char alphabet[] = "{}\\'*0123456789abfu-; \x83\xff";
    for (const QString& name : names) {
        const QByteArray original = sample(name);
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = original.left(random.bounded(int(original.size()) + 1));
            for (int k = 0; k < 8 && !bytes.isEmpty(); ++k)
                bytes[random.bounded(int(bytes.size()))] = alphabet[random.bounded(int(sizeof alphabet - 1))];
            QTextDocument doc;
            rtf::read(bytes, doc);
            EXPECT_LE(doc.characterCount(), bytes.size() + 1);
            // Whatever was read, the writer carries it: reading that back gives the same text.
            QTextDocument back;
            rtf::read(rtf::write(doc), back);
            ASSERT_EQ(str(doc.toRawText()), str(back.toRawText())) << str(name) << " round " << round;
        }
    }
}

TEST(RtfRead, whatIsNotRtf) {
    EXPECT_TRUE(rtf::isRtf(QByteArray("{\\rtf1 x}")));
    EXPECT_TRUE(rtf::isRtf(QByteArray("\xEF\xBB\xBF  \r\n{\\rtf1 x}")));
    EXPECT_TRUE(rtf::isRtf(QStringView(u"\uFEFF {\\rtf1 x}")));
    EXPECT_FALSE(rtf::isRtf(QByteArray("Controllo del 3/2: tutto bene")));
    EXPECT_FALSE(rtf::isRtf(QStringView(u"{\\rt")));
    EXPECT_FALSE(rtf::isRtf(QStringView(u"")));
}

// ---------------------------------------------------------------------------------------
// Writing, and the round trip

// Every character format and paragraph format the editor can hold.
void buildEveryFormat(QTextDocument& doc) {
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
    QTextCursor c(&doc);
    auto run = [&c](const QString& text, const std::function<void(QTextCharFormat&)>& set) {
        QTextCharFormat f;
        set(f);
        c.insertText(text, f);
    };
    auto none = [](QTextCharFormat&) {};
    run(QStringLiteral("plain "), none);
    run(QStringLiteral("bold "), [](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); });
    run(QStringLiteral("italic "), [](QTextCharFormat& f) { f.setFontItalic(true); });
    run(QStringLiteral("underline "), [](QTextCharFormat& f) { f.setFontUnderline(true); });
    run(QStringLiteral("strike "), [](QTextCharFormat& f) { f.setFontStrikeOut(true); });
    run(QStringLiteral("all "), [](QTextCharFormat& f) {
        f.setFontWeight(QFont::Bold);
        f.setFontItalic(true);
        f.setFontUnderline(true);
        f.setFontStrikeOut(true);
    });
    run(QStringLiteral("times "),
        [](QTextCharFormat& f) { f.setFontFamilies({QStringLiteral("Times New Roman")}); });
    run(QStringLiteral("big "), [](QTextCharFormat& f) { f.setFontPointSize(18); });
    run(QStringLiteral("half "), [](QTextCharFormat& f) { f.setFontPointSize(10.5); });
    run(QStringLiteral("red "), [](QTextCharFormat& f) { f.setForeground(QColor(200, 0, 0)); });
    run(QStringLiteral("marked "), [](QTextCharFormat& f) { f.setBackground(QColor(255, 255, 0)); });
    run(QStringLiteral("both "), [](QTextCharFormat& f) {
        f.setForeground(QColor(0, 0, 255));
        f.setBackground(QColor(255, 255, 0));
    });
    run(QStringLiteral("up"),
        [](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); });
    run(QStringLiteral("down"),
        [](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); });

    auto paragraph = [&c](const std::function<void(QTextBlockFormat&)>& set) {
        QTextBlockFormat f;
        set(f);
        c.insertBlock(f, QTextCharFormat());
    };
    paragraph([](QTextBlockFormat& f) { f.setAlignment(Qt::AlignHCenter); });
    c.insertText(QStringLiteral("Centro àèéìòù € “virgolette” — Ω 中 \U0001F600"));
    paragraph([](QTextBlockFormat& f) { f.setAlignment(Qt::AlignRight); });
    c.insertText(QStringLiteral("Destra\ttab") + QChar(QChar::LineSeparator) + QStringLiteral("riga") +
                 QChar(0x00A0) + QStringLiteral("nbsp") + QChar(0x00AD) + QStringLiteral("soft\\{x}"));
    paragraph([](QTextBlockFormat& f) { f.setAlignment(Qt::AlignJustify); });
    c.insertText(QStringLiteral("Giustificato"));
    paragraph([](QTextBlockFormat& f) {
        f.setLeftMargin(48);
        f.setRightMargin(24);
        f.setTextIndent(-24);
        f.setTopMargin(16);
        f.setBottomMargin(8);
    });
    c.insertText(QStringLiteral("Rientri"));
    paragraph([](QTextBlockFormat&) {});
    paragraph([](QTextBlockFormat&) {});
    c.insertText(QStringLiteral("dopo una riga vuota"));
}

// The format a character shows, with what the document supplies when the format says nothing.
struct Shown {
    QString family;
    double points;
    bool bold, italic, underline, strike;
    QColor fg, bg;
    int vertical;
    bool operator==(const Shown&) const = default;
};

Shown shownAt(const QTextDocument& doc, int position) {
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(position + 1);
    const QTextCharFormat f = c.charFormat();
    Shown r;
    r.family = familyOf(f);
    if (r.family.isEmpty())
        r.family = doc.defaultFont().family();
    r.points = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : doc.defaultFont().pointSizeF();
    r.bold = f.fontWeight() >= QFont::DemiBold;
    r.italic = f.fontItalic();
    r.underline = f.fontUnderline();
    r.strike = f.fontStrikeOut();
    r.fg = f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
    r.bg = f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color() : QColor();
    r.vertical = int(f.verticalAlignment());
    return r;
}

TEST(RtfWrite, writesWhatWordProcessorsRead) {
    QTextDocument doc;
    buildEveryFormat(doc);
    const QByteArray out = rtf::write(doc);
    EXPECT_TRUE(out.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0")) << out.left(60).toStdString();
    EXPECT_TRUE(
        out.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset0 Times New Roman;}}"));
    EXPECT_TRUE(out.contains(
        "{\\colortbl ;\\red200\\green0\\blue0;\\red255\\green255\\blue0;\\red0\\green0\\blue255;}"));
    EXPECT_TRUE(out.endsWith("}\r\n"));
    for (const char c : out)
        ASSERT_TRUE(uchar(c) < 0x80) << "not ASCII";
    EXPECT_TRUE(
        out.contains("\\'e0\\'e8\\'e9\\'ec\\'f2\\'f9 \\'80 \\'93virgolette\\'94 \\'97 \\u937? \\u20013? "
                     "\\u-10179?\\u-8704?"));
    EXPECT_TRUE(out.contains("\\b bold \\b0\\i italic \\i0\\ul underline \\ulnone\\strike strike "));
    EXPECT_TRUE(out.contains("\\pard\\qc "));
    EXPECT_TRUE(out.contains("\\pard\\li720\\ri360\\fi-360\\sb240\\sa120 "));
    EXPECT_TRUE(out.contains("\\highlight2 marked "));
    EXPECT_TRUE(out.contains("Destra\\tab tab\\line riga\\~nbsp\\-soft\\\\\\{x\\}\\par"));
}

TEST(RtfWrite, readingWhatWasWrittenGivesTheSameTextAndFormats) {
    QTextDocument doc;
    buildEveryFormat(doc);
    QTextDocument back;
    back.setDefaultFont(doc.defaultFont());
    rtf::read(rtf::write(doc), back);

    ASSERT_EQ(str(doc.toRawText()), str(back.toRawText()));
    ASSERT_EQ(doc.blockCount(), back.blockCount());
    for (int p = 0; p + 1 < doc.characterCount(); ++p) {
        if (doc.characterAt(p) == QChar::ParagraphSeparator)
            continue;
        const Shown a = shownAt(doc, p);
        const Shown b = shownAt(back, p);
        EXPECT_TRUE(a == b) << "at " << p << " '" << str(QString(doc.characterAt(p)))
                            << "': " << str(a.family) << ' ' << a.points << ' ' << a.bold << a.italic
                            << a.underline << a.strike << ' ' << str(a.fg.name()) << ' ' << str(a.bg.name())
                            << ' ' << a.vertical << " vs " << str(b.family) << ' ' << b.points << ' '
                            << b.bold << b.italic << b.underline << b.strike << ' ' << str(b.fg.name()) << ' '
                            << str(b.bg.name()) << ' ' << b.vertical;
    }
    for (int n = 0; n < doc.blockCount(); ++n) {
        const QTextBlockFormat a = doc.findBlockByNumber(n).blockFormat();
        const QTextBlockFormat b = back.findBlockByNumber(n).blockFormat();
        EXPECT_EQ(a.alignment() & Qt::AlignHorizontal_Mask, b.alignment() & Qt::AlignHorizontal_Mask) << n;
        EXPECT_EQ(a.leftMargin(), b.leftMargin()) << n;
        EXPECT_EQ(a.rightMargin(), b.rightMargin()) << n;
        EXPECT_EQ(a.textIndent(), b.textIndent()) << n;
        EXPECT_EQ(a.topMargin(), b.topMargin()) << n;
        EXPECT_EQ(a.bottomMargin(), b.bottomMargin()) << n;
    }
    // And once more: what was read writes the same RTF.
    EXPECT_EQ(rtf::write(doc).toStdString(), rtf::write(back).toStdString());
}

TEST(RtfWrite, listsAndPastedSizesAreWrittenAsWordProcessorsShowThem) {
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Lista:"));
    c.insertBlock();
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    c.createList(bullets);
    c.insertText(QStringLiteral("uno"));
    c.insertBlock();
    c.insertText(QStringLiteral("due"));
    c.insertBlock(QTextBlockFormat());
    QTextListFormat numbers;
    numbers.setStyle(QTextListFormat::ListDecimal);
    c.createList(numbers);
    QTextCharFormat pixels;
    pixels.setProperty(QTextFormat::FontPixelSize, 16); // as pasted HTML gives it
    c.insertText(QStringLiteral("primo"), pixels);

    const QByteArray out = rtf::write(doc);
    EXPECT_TRUE(out.contains("\\fs24 primo")) << out.toStdString(); // 16 pixels are 12 points
    QTextDocument back;
    rtf::read(out, back);
    EXPECT_EQ("Lista:\n\u2022\tuno\n\u2022\tdue\n1.\tprimo", str(shownText(back)));
    ASSERT_NE(nullptr, back.findBlockByNumber(1).textList());
    EXPECT_EQ(QTextListFormat::ListDisc, back.findBlockByNumber(1).textList()->format().style());
    EXPECT_EQ(QTextListFormat::ListDecimal, back.findBlockByNumber(3).textList()->format().style());
}

TEST(RtfWrite, libreOfficeReadsTheSameText) {
    // A second opinion where LibreOffice is installed.
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTextDocument doc;
    buildEveryFormat(doc);
    QTemporaryDir dir;
    const QString note = dir.filePath(QStringLiteral("note.rtf"));
    ASSERT_TRUE(test::writeFile(note, rtf::write(doc)));
    QProcess convert;
    convert.start(soffice,
                  {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                   QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"), dir.path(), note});
    ASSERT_TRUE(convert.waitForFinished(120000));
    QFile text(dir.filePath(QStringLiteral("note.txt")));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    QString shown = QString::fromUtf8(text.readAll());
    if (shown.startsWith(QChar(0xFEFF)))
        shown.remove(0, 1);
    // LibreOffice writes line breaks and paragraph ends alike, and a no-break space as itself.
    QString expected = doc.toRawText();
    expected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
        .replace(QChar::LineSeparator, QLatin1Char('\n'));
    expected.remove(QChar(0x00AD));
    shown.remove(QChar(0x00AD));
    EXPECT_EQ(str(expected), str(shown.trimmed()));
}

TEST(RtfWrite, anEmptyDocumentReadsBackEmpty) {
    QTextDocument doc;
    QTextDocument back;
    rtf::read(rtf::write(doc), back);
    EXPECT_TRUE(back.isEmpty());
    EXPECT_EQ(1, back.blockCount());
}

} // namespace
