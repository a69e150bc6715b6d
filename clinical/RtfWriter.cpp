// Writing a text document as RTF that WordPad, Word and LibreOffice open with the same text
// and formatting, and that the reader gives back as it was.
#include "clinical/Rtf.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <cmath>
#include <vector>

namespace qv::rtf {

namespace {

constexpr double kTwipsPerPixel = 15.0;

// The character formats RTF carries, as the writer compares them.
struct Run {
    int font = 0;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int foreground = 0; // colour table index; 0: automatic
    int background = 0; // 0: none
    int vertical = 0;   // 1 superscript, 2 subscript

    bool operator==(const Run&) const = default;
};

// The byte of code page 1252 for a character, or 0 when it has none.
uchar cp1252Byte(char16_t c) {
    if (c >= 0xA0 && c <= 0xFF)
        return uchar(c);
    switch (c) {
    case 0x20AC:
        return 0x80;
    case 0x201A:
        return 0x82;
    case 0x0192:
        return 0x83;
    case 0x201E:
        return 0x84;
    case 0x2026:
        return 0x85;
    case 0x2020:
        return 0x86;
    case 0x2021:
        return 0x87;
    case 0x02C6:
        return 0x88;
    case 0x2030:
        return 0x89;
    case 0x0160:
        return 0x8A;
    case 0x2039:
        return 0x8B;
    case 0x0152:
        return 0x8C;
    case 0x017D:
        return 0x8E;
    case 0x2018:
        return 0x91;
    case 0x2019:
        return 0x92;
    case 0x201C:
        return 0x93;
    case 0x201D:
        return 0x94;
    case 0x2022:
        return 0x95;
    case 0x2013:
        return 0x96;
    case 0x2014:
        return 0x97;
    case 0x02DC:
        return 0x98;
    case 0x2122:
        return 0x99;
    case 0x0161:
        return 0x9A;
    case 0x203A:
        return 0x9B;
    case 0x0153:
        return 0x9C;
    case 0x017E:
        return 0x9E;
    case 0x0178:
        return 0x9F;
    default:
        return 0;
    }
}

void appendHex(QByteArray& out, uchar b) {
    static const char digits[] = "0123456789abcdef";
    out += "\\'";
    out += digits[b >> 4];
    out += digits[b & 0xF];
}

// Text in RTF: ASCII as it is (with \ { } escaped), the rest as \'hh or \uN?.
void appendText(QByteArray& out, QStringView text) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == QChar::LineSeparator) {
            out += "\\line ";
        } else if (c == 0x00A0) {
            out += "\\~";
        } else if (c == 0x00AD) {
            out += "\\-";
        } else if (c == 0x2011) {
            out += "\\_";
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == QChar::ObjectReplacementCharacter ||
                   c == QChar::ParagraphSeparator || c == 0xFEFF) {
            // Control characters and the placeholders of pictures carry no text.
        } else if (const uchar b = cp1252Byte(c)) {
            appendHex(out, b);
        } else {
            out += "\\u";
            out += QByteArray::number(c > 0x7FFF ? int(c) - 0x10000 : int(c));
            out += '?';
        }
    }
}

class Writer {
public:
    explicit Writer(const QTextDocument& doc) : doc_(doc) {
        const QFont base = doc.defaultFont();
        defaultFamily_ = base.family();
        defaultPoints_ = base.pointSizeF() > 0 ? base.pointSizeF()
                                               : (base.pixelSize() > 0 ? base.pixelSize() * 0.75 : 12.0);
        fonts_.push_back(defaultFamily_);
        colors_.push_back(QColor()); // automatic
    }

    QByteArray run() {
        QByteArray body;
        body.reserve(doc_.characterCount() + 1024);
        Run current;
        current.halfPoints = halfPoints(defaultPoints_);
        // The characters' defaults: the document's own font and size.
        body += "\\plain\\f0\\fs" + QByteArray::number(current.halfPoints) + "\r\n";
        for (QTextBlock block = doc_.begin(); block.isValid(); block = block.next()) {
            body += "\\pard";
            paragraph(body, block);
            body += ' ';
            if (const QTextList* list = block.textList())
                listLabel(body, block, *list, current);
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.isValid() || fragment.charFormat().isImageFormat())
                    continue;
                const Run next = runOf(fragment.charFormat());
                switchTo(body, current, next);
                appendText(body, fragment.text());
            }
            // LibreOffice misplaces a paragraph that ends raised or lowered.
            if (current.vertical != 0) {
                body += "\\nosupersub";
                current.vertical = 0;
            }
            body += "\\par\r\n";
        }

        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl";
        for (size_t f = 0; f < fonts_.size(); ++f) {
            out += "{\\f" + QByteArray::number(qsizetype(f)) + "\\fnil\\fcharset0 ";
            QString name = fonts_[f];
            name.remove(QLatin1Char(';'));
            appendText(out, name);
            out += ";}";
        }
        out += "}\r\n{\\colortbl ;";
        for (size_t c = 1; c < colors_.size(); ++c) {
            const QColor& color = colors_[c];
            out += "\\red" + QByteArray::number(color.red()) + "\\green" + QByteArray::number(color.green()) +
                   "\\blue" + QByteArray::number(color.blue()) + ';';
        }
        out += "}\r\n{\\*\\generator Quorvane;}\\viewkind4\\uc1\r\n";
        out += body;
        out += "}\r\n";
        return out;
    }

private:
    static int halfPoints(double points) { return std::max(2, int(std::lround(points * 2.0))); }
    static int twips(double pixels) { return int(std::lround(pixels * kTwipsPerPixel)); }

    void paragraph(QByteArray& out, const QTextBlock& block) {
        const QTextBlockFormat f = block.blockFormat();
        const Qt::Alignment align = f.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignHCenter)
            out += "\\qc";
        else if (align & Qt::AlignJustify)
            out += "\\qj";
        else if ((align & Qt::AlignRight) && !(align & Qt::AlignLeft))
            out += "\\qr";
        double left = f.leftMargin() + f.indent() * doc_.indentWidth();
        double first = f.textIndent();
        if (const QTextList* list = block.textList()) {
            // A list item: the label hangs in the indent, as word processors lay lists out.
            left += list->format().indent() * doc_.indentWidth();
            first = -360.0 / kTwipsPerPixel;
        }
        auto twipsWord = [&out](const char* word, double pixels) {
            const int value = twips(pixels);
            if (value != 0)
                out += QByteArray("\\") + word + QByteArray::number(value);
        };
        twipsWord("li", left);
        twipsWord("ri", f.rightMargin());
        twipsWord("fi", first);
        twipsWord("sb", f.topMargin());
        twipsWord("sa", f.bottomMargin());
    }

    // The label of a list item, as the rich-edit control writes it: text for every reader,
    // and the list's own description for those that know it.
    void listLabel(QByteArray& out, const QTextBlock& block, const QTextList& list, const Run& current) {
        QString label = list.itemText(block);
        const QTextListFormat::Style style = list.format().style();
        const bool bullet = label.isEmpty() || style == QTextListFormat::ListDisc ||
                            style == QTextListFormat::ListCircle || style == QTextListFormat::ListSquare;
        if (bullet)
            label = QString(QChar(0x2022));
        out += "{\\pntext\\f" + QByteArray::number(current.font) + ' ';
        appendText(out, label);
        out += "\\tab}{\\*\\pn";
        if (bullet) {
            out += "\\pnlvlblt\\pnf" + QByteArray::number(current.font) + "\\pnindent0{\\pntxtb\\'95}";
        } else {
            out += "\\pnlvlbody\\pnindent0\\pnstart" + QByteArray::number(list.itemNumber(block) + 1);
            switch (style) {
            case QTextListFormat::ListLowerAlpha:
                out += "\\pnlcltr";
                break;
            case QTextListFormat::ListUpperAlpha:
                out += "\\pnucltr";
                break;
            case QTextListFormat::ListLowerRoman:
                out += "\\pnlcrm";
                break;
            case QTextListFormat::ListUpperRoman:
                out += "\\pnucrm";
                break;
            default:
                out += "\\pndec";
                break;
            }
            out += "{\\pntxta.}";
        }
        out += "}";
    }

    int fontIndex(const QString& family) {
        for (size_t f = 0; f < fonts_.size(); ++f)
            if (fonts_[f].compare(family, Qt::CaseInsensitive) == 0)
                return int(f);
        fonts_.push_back(family);
        return int(fonts_.size() - 1);
    }

    int colorIndex(const QColor& color) {
        const QRgb rgb = color.rgb();
        for (size_t c = 1; c < colors_.size(); ++c)
            if (colors_[c].rgb() == rgb)
                return int(c);
        colors_.push_back(QColor(rgb));
        return int(colors_.size() - 1);
    }

    Run runOf(const QTextCharFormat& f) {
        Run r;
        QString family;
        const QVariant families = f.property(QTextFormat::FontFamilies);
        if (families.isValid())
            family = families.toStringList().value(0);
        if (family.isEmpty())
            family = f.property(QTextFormat::FontFamily).toString();
        r.font = family.isEmpty() ? 0 : fontIndex(family);
        double points = defaultPoints_;
        if (f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0)
            points = f.fontPointSize();
        else if (f.hasProperty(QTextFormat::FontPixelSize) && f.intProperty(QTextFormat::FontPixelSize) > 0)
            points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
        r.halfPoints = halfPoints(points);
        r.bold = f.fontWeight() >= QFont::DemiBold;
        r.italic = f.fontItalic();
        r.underline = f.fontUnderline();
        r.strike = f.fontStrikeOut();
        if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
            r.foreground = colorIndex(f.foreground().color());
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush &&
            f.background().color().alpha() > 0)
            r.background = colorIndex(f.background().color());
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            r.vertical = 1;
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
            r.vertical = 2;
        return r;
    }

    // The words that change the characters' format from `current` to `next`.
    static void switchTo(QByteArray& out, Run& current, const Run& next) {
        if (current == next)
            return;
        auto flag = [&out](bool now, bool was, const char* on, const char* off) {
            if (now != was)
                out += now ? on : off;
        };
        flag(next.bold, current.bold, "\\b", "\\b0");
        flag(next.italic, current.italic, "\\i", "\\i0");
        flag(next.underline, current.underline, "\\ul", "\\ulnone");
        flag(next.strike, current.strike, "\\strike", "\\strike0");
        if (next.font != current.font)
            out += "\\f" + QByteArray::number(next.font);
        if (next.halfPoints != current.halfPoints)
            out += "\\fs" + QByteArray::number(next.halfPoints);
        if (next.foreground != current.foreground)
            out += "\\cf" + QByteArray::number(next.foreground);
        if (next.background != current.background)
            out += "\\highlight" + QByteArray::number(next.background);
        if (next.vertical != current.vertical)
            out += next.vertical == 1 ? "\\super" : next.vertical == 2 ? "\\sub" : "\\nosupersub";
        out += ' ';
        current = next;
    }

    const QTextDocument& doc_;
    QString defaultFamily_;
    double defaultPoints_ = 12.0;
    std::vector<QString> fonts_;
    std::vector<QColor> colors_;
};

} // namespace

QByteArray write(const QTextDocument& document) {
    return Writer(document).run();
}

} // namespace qv::rtf
