#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextFormat>
#include <memory>
#include <vector>

class QTextDocument;

// What a note holds besides formatted text: pictures, embedded objects and the parts of a
// document that the editor keeps without showing them (footnotes, comments, headers, text
// boxes, fields without a result). Each sits in the text as one object character whose
// format carries the RTF it came from, so that it is written back as it stood.
namespace qv::rtf {

// A picture as a \pict group describes it.
struct Picture {
    enum class Type { Png, Jpeg, Emf, Wmf, Dib, Ddb, Other };
    Type type = Type::Other;
    QByteArray data;                   // the picture's own bytes, hexadecimal or \bin in the RTF
    int width = 0, height = 0;         // \picw, \pich
    int goalWidth = 0, goalHeight = 0; // \picwgoal, \pichgoal (twips)
    int scaleX = 100, scaleY = 100;    // \picscalex, \picscaley (per cent)
    int bitsPerPixel = 1, planes = 1, bytesPerLine = 0; // \wbitmap's
    int mapMode = 8;                                    // \wmetafileN

    // The size it is shown at, in pixels at 96 dots per inch: as its words give it, or (where
    // they give none) its own, which takes decoding it.
    QSizeF shownSize() const;
    // The size as its words give it; empty where they give none.
    QSizeF declaredSize() const;
    // The picture drawn, or a null image where it cannot be drawn. Decoded once.
    QImage image(const QSize& pixels) const;

private:
    QSizeF scaled(double w, double h) const;

    mutable bool decoded_ = false;
    mutable QImage image_;    // bitmaps, as decoded
    mutable QByteArray svg_;  // metafiles, as drawn by their library
    mutable QImage rendered_; // metafiles, at the size last asked for
};

// Reads a picture from its group: `group` starts with "{\pict" (or at \pict) and may run on
// after the group's end. Returns null when there is no \pict there.
std::shared_ptr<const Picture> parsePicture(QStringView group);
// The first \pict in a stretch of RTF (an object's result, a shape's properties).
std::shared_ptr<const Picture> findPicture(QStringView rtf);

// The fonts and colours that kept RTF refers to by number, as its document defined them.
struct Context {
    struct Font {
        QString name;
        int charset = 0;  // \fcharset
        int codePage = 0; // \cpg, or 0
    };
    QHash<int, Font> fonts;
    std::vector<QColor> colors; // as numbered in the colour table
    int codePage = 1252;
};

// The kinds of object characters.
enum class Kept {
    Picture,  // a \pict, \shppict or \nonshppict group, or both of the latter
    Object,   // an \object group, shown by its result picture
    Shape,    // a drawing object or text box (\shp, \do)
    Footnote, // \footnote, with the \chftn mark before it
    Comment,  // \annotation and its author and reference
    Header,   // headers and footers
    Field,    // a field without result text
    Hidden,   // what takes no room at all (bookmarks, index entries)
};

constexpr int kObjectType = QTextFormat::UserObject + 23;
// Properties of an object character's format.
enum Property {
    kRawProperty = QTextFormat::UserProperty + 230, // QByteArray: the RTF, ASCII only
    kKindProperty,                                  // int: Kept
    kPictureProperty,                               // std::shared_ptr<const Picture>
    kContextProperty,                               // std::shared_ptr<const Context>
    kWidthProperty,                                 // double, pixels
    kHeightProperty,                                // double, pixels
    kUnicodeSkipProperty,                           // int: \uc in force where it stood
    // On text: the field the text is the result of.
    kFieldProperty, // QByteArray: the \fldinst group, ASCII only
    kFieldSerial,   // int: tells two fields apart that lie side by side
    // On table cells: their RTF definition.
    kCellDefinition, // QByteArray: the cell's words up to its \cellx
    kRowDefinition,  // QByteArray: the row's words from \trowd (on the row's first cell)
};

struct Object {
    Kept kind = Kept::Hidden;
    QByteArray raw;
    std::shared_ptr<const Picture> picture;
    std::shared_ptr<const Context> context;
    QSizeF size; // empty: the picture's own, known once it is decoded
    int unicodeSkip = 1;
};

QTextCharFormat objectFormat(const Object& object);
// The target that a field's kept instruction (kFieldProperty) gives where it is read in a note as
// written (code page 1252, \uc1); empty where it is no HYPERLINK.
QString linkTarget(const QByteArray& instruction);
bool isObject(const QTextFormat& format);
Object objectOf(const QTextFormat& format);

// A picture made from bytes pasted or dropped (PNG, JPEG, or any format Qt reads, then
// stored as PNG); null when the bytes are no picture.
std::shared_ptr<Object> pictureFromBytes(const QByteArray& bytes);

// Lets `document`'s layout draw the object characters: pictures at their size, a framed
// placeholder where a picture cannot be drawn, a small tag for what is kept unseen.
void enableObjects(QTextDocument& document);

// A short Italian description of an object, for tooltips.
QString describe(const Object& object);

} // namespace qv::rtf

Q_DECLARE_METATYPE(std::shared_ptr<const qv::rtf::Picture>)
Q_DECLARE_METATYPE(std::shared_ptr<const qv::rtf::Context>)
