#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

class QTextDocument;

// Rich Text Format to and from Qt's text document: the clinical notes are kept as RTF, the way
// the rich-edit control, WordPad, Word and LibreOffice write it.
namespace qv::rtf {

// Whether a text is RTF: it opens with "{\rtf" (blanks and a byte-order mark before it allowed).
bool isRtf(QStringView text);
bool isRtf(const QByteArray& bytes);

// Replaces the content of `document` with what the RTF says: formatted text, tables, lists,
// links, pictures and embedded objects (shown once enableObjects() is called on the
// document, RtfObjects.h), and what the editor does not show (footnotes, comments, headers,
// text boxes) kept where it stood. Nothing of the replaced content is left to undo.
// Malformed input (unbalanced braces, a text cut short, stray bytes, huge numbers) is read
// as far as it makes sense; nothing is thrown.
//
// From bytes (a file): characters above 127 outside escapes are bytes in the document's
// code page, as in a file.
void read(const QByteArray& rtf, QTextDocument& document);
// From text (a database field): characters above 127 outside escapes are taken as they are.
void read(QStringView rtf, QTextDocument& document);

// The document as RTF (ASCII only): a font table, a colour table, paragraphs with their
// alignment, indents and spacing, the characters' formats, tables with their cells' widths,
// lists as the rich-edit control writes them, links as HYPERLINK fields, and pictures,
// objects and kept parts as they were read. Characters of code page 1252 are written as
// \'hh, every other one as \uN?.
QByteArray write(const QTextDocument& document);

// Text in a Windows code page (1252, 1250, 932...) or one of the symbol fonts' own encodings.
// Code pages the system does not know are read as 1252.
QString decode(const QByteArray& bytes, int codePage);
// The code page of a font's \fcharset, or 0 when the charset means the document's own.
int codePageOfCharset(int charset);
// Pseudo code pages for fonts whose bytes are pictures rather than letters.
constexpr int kSymbolCodePage = -2;
constexpr int kWingdingsCodePage = -3;

} // namespace qv::rtf
