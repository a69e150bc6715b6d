// Writing a text document as RTF that WordPad, Word and LibreOffice open with the same text,
// formatting, tables, lists and links, and that the reader gives back as it was. Pictures,
// objects and what the editor kept without showing it are written back as they were read.
#include "clinical/Rtf.h"
#include "clinical/RtfObjects.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>
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

// A character as an escape: \'hh where code page 1252 (or ASCII) has it, else \uN with '?'.
void appendEscaped(QByteArray& out, char16_t c) {
    if (c < 0x80) {
        appendHex(out, uchar(c));
    } else if (const uchar b = cp1252Byte(c)) {
        appendHex(out, b);
    } else {
        out += "\\u";
        out += QByteArray::number(c > 0x7FFF ? int(c) - 0x10000 : int(c));
        out += '?';
    }
}

// Text in RTF: ASCII as it is (with \ { } escaped), the rest as \'hh or \uN?.
void appendText(QByteArray& out, QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype k = 0; k < n; ++k) {
        // Printable ASCII goes as it is, a stretch at a time.
        qsizetype end = k;
        while (end < n && text[end].unicode() >= 0x20 && text[end].unicode() < 0x7F && text[end] != u'\\' &&
               text[end] != u'{' && text[end] != u'}')
            ++end;
        if (end > k) {
            const qsizetype at = out.size();
            out.resize(at + (end - k));
            char* to = out.data() + at;
            for (qsizetype i = k; i < end; ++i)
                *to++ = char(text[i].unicode());
            k = end - 1;
            continue;
        }
        const char16_t c = text[k].unicode();
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
        } else {
            appendEscaped(out, c);
        }
    }
}

// A link's target inside its instruction's quotes, to read back as it is: every character
// that is not printable ASCII as \'hh or \uN (a tab or a no-break space are no words here).
void appendTarget(QByteArray& out, QStringView target) {
    for (const QChar ch : target) {
        const char16_t c = ch.unicode();
        if (c == u'"') {
            out += "%22"; // the quotes end the target
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            appendEscaped(out, c);
        }
    }
}

constexpr int kPageWidthTwips = 9000; // a table of unknown widths fills 6.25 inches

// A font of the font table: the document's own, or one that kept RTF refers to.
struct FontEntry {
    QString name;
    int charset = 0;
    int codePage = 0; // \cpg, or 0

    bool operator==(const FontEntry&) const = default;
};

class Writer {
public:
    explicit Writer(const QTextDocument& doc) : doc_(doc) {
        const QFont base = doc.defaultFont();
        defaultFamily_ = base.family();
        defaultPoints_ = base.pointSizeF() > 0 ? base.pointSizeF()
                                               : (base.pixelSize() > 0 ? base.pixelSize() * 0.75 : 12.0);
        fonts_.push_back(FontEntry{defaultFamily_});
        colors_.push_back(QColor()); // automatic
    }

    QByteArray run() {
        QByteArray body;
        body.reserve(doc_.characterCount() + 1024);
        current_.halfPoints = halfPoints(defaultPoints_);
        // The characters' defaults: the document's own font and size.
        word(body, "\\plain\\f0\\fs", current_.halfPoints);
        body += "\r\n";
        items(body, doc_.rootFrame()->begin(), doc_.rootFrame()->end(), 0, "\\par");

        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl";
        for (size_t f = 0; f < fonts_.size(); ++f) {
            word(out, "{\\f", int(f));
            word(out, "\\fnil\\fcharset", fonts_[f].charset);
            if (fonts_[f].codePage > 0)
                word(out, "\\cpg", fonts_[f].codePage);
            out += ' ';
            QString name = fonts_[f].name;
            name.remove(QLatin1Char(';'));
            appendText(out, name);
            out += ";}";
        }
        out += "}\r\n{\\colortbl ;";
        for (size_t c = 1; c < colors_.size(); ++c) {
            const QColor& color = colors_[c];
            word(out, "\\red", color.red());
            word(out, "\\green", color.green());
            word(out, "\\blue", color.blue());
            out += ';';
        }
        out += "}\r\n{\\*\\generator Quorvane;}\\viewkind4\\uc1\r\n";
        out += body;
        out += "}\r\n";
        return out;
    }

private:
    static int halfPoints(double points) { return std::max(2, int(std::lround(points * 2.0))); }
    static int twips(double pixels) { return int(std::lround(pixels * kTwipsPerPixel)); }

    // ---- blocks, frames and tables ----

    struct Item {
        QTextBlock block;
        QTextFrame* frame = nullptr;
    };

    // The blocks and frames from `begin` to `end`; the last block ends with `lastEnd` (\par,
    // or the end of its table cell), the others with \par.
    void items(QByteArray& out, QTextFrame::iterator begin, const QTextFrame::iterator& end, int depth,
               const char* lastEnd) {
        std::vector<Item> list;
        for (QTextFrame::iterator it = begin; it != end && !it.atEnd(); ++it) {
            if (QTextFrame* frame = it.currentFrame())
                list.push_back(Item{QTextBlock(), frame});
            else if (it.currentBlock().isValid())
                list.push_back(Item{it.currentBlock(), nullptr});
        }
        auto isTable = [&list](size_t k) {
            return k < list.size() && qobject_cast<QTextTable*>(list[k].frame) != nullptr;
        };
        for (size_t k = 0; k < list.size(); ++k) {
            const Item& item = list[k];
            if (item.frame != nullptr) {
                if (auto* table = qobject_cast<QTextTable*>(item.frame))
                    this->table(out, *table, depth + 1);
                else
                    items(out, item.frame->begin(), item.frame->end(), depth, "\\par");
                continue;
            }
            const bool empty = item.block.length() <= 1 && item.block.textList() == nullptr;
            const bool last = k + 1 == list.size();
            // A table at the start of a document or cell stands after an empty block, and one
            // at the end before one: they are no paragraphs of the note.
            if (empty && k == 0 && isTable(k + 1))
                continue;
            if (empty && last && k > 0 && isTable(k - 1) && depth == 0)
                continue;
            block(out, item.block, depth, last ? lastEnd : "\\par");
        }
    }

    void block(QByteArray& out, const QTextBlock& block, int depth, const char* end) {
        out += "\\pard";
        if (depth > 0) {
            out += "\\intbl";
            if (depth > 1)
                word(out, "\\itap", depth);
        }
        paragraph(out, block);
        out += ' ';
        if (const QTextList* list = block.textList())
            listLabel(out, block, *list, current_);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat() && !isObject(format))
                continue;
            field(out, format);
            switchTo(out, current_, runOf(format));
            if (isObject(format)) {
                const Object object = objectOf(format);
                for (int k = 0; k < fragment.length(); ++k)
                    kept(out, object);
            } else {
                appendText(out, fragment.text());
            }
        }
        closeField(out);
        // LibreOffice misplaces a paragraph that ends raised or lowered.
        if (current_.vertical != 0) {
            out += "\\nosupersub";
            current_.vertical = 0;
        }
        out += end;
        out += "\r\n";
    }

    // The widths of a table's columns, twips.
    std::vector<int> columnWidths(const QTextTable& table) const {
        const int columns = table.columns();
        const QList<QTextLength> constraints = table.format().columnWidthConstraints();
        std::vector<int> widths(size_t(columns), kPageWidthTwips / std::max(columns, 1));
        for (int c = 0; c < columns && c < constraints.size(); ++c) {
            const QTextLength& length = constraints[c];
            if (length.type() == QTextLength::FixedLength)
                widths[size_t(c)] = std::max(twips(length.rawValue()), 15);
            else if (length.type() == QTextLength::PercentageLength)
                widths[size_t(c)] = std::max(int(kPageWidthTwips * length.rawValue() / 100.0), 15);
        }
        return widths;
    }

    void table(QByteArray& out, const QTextTable& table, int depth) {
        const std::vector<int> widths = columnWidths(table);
        for (int r = 0; r < table.rows(); ++r) {
            std::vector<QTextTableCell> cells;
            QByteArray definition;
            bool kept = true;
            int right = 0;
            QByteArray made = "\\trowd\\trgaph108\\trleft0\\trbrdrt\\brdrs\\brdrw10\\trbrdrl\\brdrs\\brdrw10"
                              "\\trbrdrb\\brdrs\\brdrw10\\trbrdrr\\brdrs\\brdrw10\\trbrdrh\\brdrs\\brdrw10"
                              "\\trbrdrv\\brdrs\\brdrw10";
            for (int c = 0; c < table.columns(); ++c) {
                const QTextTableCell cell = table.cellAt(r, c);
                for (int s = c; s < c + std::max(cell.columnSpan(), 1) && s < table.columns(); ++s)
                    right += widths[size_t(s)];
                if (cell.row() != r || cell.column() != c) {
                    c += std::max(cell.columnSpan(), 1) - 1;
                    continue; // covered by a cell that spans it
                }
                cells.push_back(cell);
                made += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                        "\\clbrdrr\\brdrs\\brdrw10\\cellx" +
                        QByteArray::number(right);
                c += std::max(cell.columnSpan(), 1) - 1;
            }
            // The row as it was read, where its definition came with it.
            const QTextCharFormat first = cells.empty() ? QTextCharFormat() : cells.front().format();
            const auto context = first.property(kContextProperty).value<std::shared_ptr<const Context>>();
            if (first.hasProperty(kRowDefinition)) {
                definition = remap(first.property(kRowDefinition).toByteArray(), context.get());
                if (!definition.startsWith("\\trowd"))
                    definition.prepend("\\trowd");
                for (const QTextTableCell& cell : cells) {
                    const QTextCharFormat format = cell.format();
                    if (!format.hasProperty(kCellDefinition)) {
                        kept = false;
                        break;
                    }
                    definition += remap(format.property(kCellDefinition).toByteArray(), context.get());
                }
            } else {
                kept = false;
            }
            if (!kept)
                definition = made;
            definition += ' ';
            if (depth == 1)
                out += definition + "\r\n";
            for (const QTextTableCell& cell : cells)
                items(out, cell.begin(), cell.end(), depth, depth == 1 ? "\\cell" : "\\nestcell");
            if (depth == 1)
                out += "\\pard\\intbl\\row\r\n";
            else
                out += "\\pard\\intbl\\itap" + QByteArray::number(depth) + "{\\*\\nesttableprops" +
                       definition + "\\nestrow}{\\nonesttables\\par}\r\n";
        }
    }

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
        auto twipsWord = [&out](const char* name, double pixels) {
            const int value = twips(pixels);
            if (value != 0)
                word(out, name, value);
        };
        twipsWord("\\li", left);
        twipsWord("\\ri", f.rightMargin());
        twipsWord("\\fi", first);
        twipsWord("\\sb", f.topMargin());
        twipsWord("\\sa", f.bottomMargin());
    }

    // The label of a list item, as the rich-edit control writes it: text for every reader,
    // and the list's own description for those that know it.
    void listLabel(QByteArray& out, const QTextBlock& block, const QTextList& list, const Run& current) {
        QString label = list.itemText(block);
        const QTextListFormat format = list.format();
        const QTextListFormat::Style style = format.style();
        const bool bullet = label.isEmpty() || style == QTextListFormat::ListDisc ||
                            style == QTextListFormat::ListCircle || style == QTextListFormat::ListSquare;
        if (bullet)
            label = QString(QChar(0x2022));
        word(out, "{\\pntext\\f", current.font);
        out += ' ';
        appendText(out, label);
        out += "\\tab}{\\*\\pn";
        if (bullet) {
            word(out, "\\pnlvlblt\\pnf", current.font);
            out += "\\pnindent0{\\pntxtb\\'95}";
        } else {
            word(out, "\\pnlvlbody\\pnindent0\\pnstart", list.itemNumber(block) + 1);
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
            if (!format.numberPrefix().isEmpty()) {
                out += "{\\pntxtb ";
                appendText(out, format.numberPrefix());
                out += '}';
            }
            out += "{\\pntxta ";
            appendText(out, format.numberSuffix());
            out += '}';
        }
        out += "}";
    }

    // ---- kept RTF, fields ----

    // Kept RTF as it stood, its fonts and colours renumbered into this document's tables.
    void kept(QByteArray& out, const Object& object) {
        if (object.raw.isEmpty())
            return;
        const QByteArray raw = remap(object.raw, object.context.get());
        if (object.unicodeSkip != 1)
            out += "{\\uc" + QByteArray::number(object.unicodeSkip) + ' ' + raw + '}';
        else
            out += raw;
    }

    // A text's field: its result runs are written inside \field and \fldrslt.
    void field(QByteArray& out, const QTextCharFormat& format) {
        QByteArray instruction;
        int serial = 0;
        std::shared_ptr<const Context> context;
        if (format.hasProperty(kFieldProperty)) {
            instruction = format.property(kFieldProperty).toByteArray();
            serial = format.intProperty(kFieldSerial);
            context = format.property(kContextProperty).value<std::shared_ptr<const Context>>();
        }
        // A link's instruction as it was read, unless it reads as another target in the note
        // as written (its bytes were in another code page, its \uN had other stand-ins): then
        // the link is written with its target as it was read.
        if (format.isAnchor() && !format.anchorHref().isEmpty() &&
            (instruction.isEmpty() || !keepsTarget(instruction, format.anchorHref()))) {
            if (instruction.isEmpty())
                serial = -1;
            instruction = "{\\*\\fldinst{HYPERLINK \"";
            appendTarget(instruction, format.anchorHref());
            instruction += "\"}}";
            context.reset();
        }
        if (fieldOpen_ && instruction == fieldInstruction_ && serial == fieldSerial_)
            return;
        closeField(out);
        if (instruction.isEmpty())
            return;
        fieldOpen_ = true;
        fieldInstruction_ = instruction;
        fieldSerial_ = serial;
        fieldSaved_ = current_;
        out += "{\\field" + remap(instruction, context.get()) + "{\\fldrslt ";
    }

    bool keepsTarget(const QByteArray& instruction, const QString& href) {
        if (instruction != checkedInstruction_ || href != checkedHref_) {
            checkedInstruction_ = instruction;
            checkedHref_ = href;
            checkedKeeps_ = linkTarget(instruction) == href;
        }
        return checkedKeeps_;
    }

    void closeField(QByteArray& out) {
        if (!fieldOpen_)
            return;
        out += "}}";
        fieldOpen_ = false;
        current_ = fieldSaved_; // the formats of the field's groups end with them
    }

    int keptFont(const Context& context, int number) {
        const auto it = context.fonts.constFind(number);
        if (it == context.fonts.constEnd())
            return 0;
        FontEntry entry{it->name, it->charset, it->codePage};
        if (entry.codePage == 0 && (entry.charset == 0 || entry.charset == 1) && context.codePage != 1252)
            entry.codePage = context.codePage; // bytes in the document's own code page
        for (size_t f = 0; f < fonts_.size(); ++f)
            if (fonts_[f] == entry)
                return int(f);
        fonts_.push_back(entry);
        return int(fonts_.size() - 1);
    }

    int keptColor(const Context& context, int number) {
        if (number < 0 || size_t(number) >= context.colors.size() ||
            !context.colors[size_t(number)].isValid())
            return 0;
        return colorIndex(context.colors[size_t(number)]);
    }

    // Renumbers the fonts and colours that RTF kept from another document refers to.
    QByteArray remap(const QByteArray& raw, const Context* context) {
        if (context == nullptr)
            return raw;
        static constexpr std::string_view fontWords[] = {"f", "af", "pnf", "dbch", "hich", "loch"};
        static constexpr std::string_view colorWords[] = {
            "cf",      "cb",      "highlight", "chcbpat",    "chcfpat",    "cbpat",
            "cfpat",   "clcbpat", "clcfpat",   "clcbpatraw", "clcfpatraw", "trcbpat",
            "trcfpat", "brdrcf",  "ulc",       "pncf",       "chbrdr"};
        auto among = [](std::string_view word, const auto& list) {
            return std::find(std::begin(list), std::end(list), word) != std::end(list);
        };
        QByteArray out;
        out.reserve(raw.size());
        const char* data = raw.constData();
        const qsizetype n = raw.size();
        qsizetype copied = 0; // what is copied as it is, up to here
        for (qsizetype k = 0; k < n; ++k) {
            if (data[k] != '\\' || k + 1 >= n)
                continue;
            if (!std::isalpha(uchar(data[k + 1]))) {
                ++k; // a control symbol, an escaped backslash among them
                continue;
            }
            qsizetype e = k + 1;
            while (e < n && std::isalpha(uchar(data[e])))
                ++e;
            const std::string_view name(data + k + 1, size_t(e - k - 1));
            qsizetype d = e;
            if (d < n && data[d] == '-')
                ++d;
            int value = 0;
            bool digits = false;
            while (d < n && std::isdigit(uchar(data[d]))) {
                value = std::min(value * 10 + (data[d] - '0'), 1 << 24);
                digits = true;
                ++d;
            }
            if (d > e && data[e] == '-')
                value = -value;
            const bool isFont = digits && among(name, fontWords);
            if (isFont || (digits && among(name, colorWords))) {
                out.append(data + copied, e - copied);
                word(out, "", isFont ? keptFont(*context, value) : keptColor(*context, value));
                copied = d;
            }
            k = d - 1;
        }
        out.append(data + copied, n - copied);
        return out;
    }

    int fontIndex(const QString& family) {
        for (size_t f = 0; f < fonts_.size(); ++f)
            if (fonts_[f].charset == 0 && fonts_[f].codePage == 0 &&
                fonts_[f].name.compare(family, Qt::CaseInsensitive) == 0)
                return int(f);
        fonts_.push_back(FontEntry{family});
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

    // A control word with its number, without making a text of the number first.
    static void word(QByteArray& out, const char* name, int value) {
        char digits[16];
        int n = 0;
        unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
        do {
            digits[n++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude > 0);
        out += name;
        if (value < 0)
            out += '-';
        while (n > 0)
            out += digits[--n];
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
            word(out, "\\f", next.font);
        if (next.halfPoints != current.halfPoints)
            word(out, "\\fs", next.halfPoints);
        if (next.foreground != current.foreground)
            word(out, "\\cf", next.foreground);
        if (next.background != current.background)
            word(out, "\\highlight", next.background);
        if (next.vertical != current.vertical)
            out += next.vertical == 1 ? "\\super" : next.vertical == 2 ? "\\sub" : "\\nosupersub";
        out += ' ';
        current = next;
    }

    const QTextDocument& doc_;
    QString defaultFamily_;
    double defaultPoints_ = 12.0;
    std::vector<FontEntry> fonts_;
    std::vector<QColor> colors_;
    Run current_;
    bool fieldOpen_ = false;
    QByteArray fieldInstruction_;
    int fieldSerial_ = 0;
    QByteArray checkedInstruction_; // the last link instruction checked, and its target
    QString checkedHref_;
    bool checkedKeeps_ = false;
    Run fieldSaved_;
};

} // namespace

QByteArray write(const QTextDocument& document) {
    return Writer(document).run();
}

} // namespace qv::rtf
