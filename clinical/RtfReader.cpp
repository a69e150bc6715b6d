// Reading RTF into a text document. The reader takes what the rich-edit control, WordPad,
// Word and LibreOffice write: groups, control words and symbols, the font and colour tables,
// code pages and Unicode, the character and paragraph formats a text box can show; every
// destination it does not know (pictures, objects, style sheets, document information) is
// skipped. It never throws and reads damaged input as far as it makes sense.
#include "clinical/Rtf.h"

#include <QColor>
#include <QHash>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv::rtf {

namespace {

constexpr int kMaxDepth = 256;     // deeper groups are skipped whole
constexpr int kMaxWordLength = 32; // longer control words are no control words RTF knows
constexpr int kMaxParameter = 1 << 30;
constexpr int kMaxFallback = 16;       // \ucN beyond this is nonsense
constexpr int kMaxIndentTwips = 31680; // 22 inches: a page's width and more
constexpr double kTwipsPerPixel = 15.0;

enum class Kw {
    Unknown,
    // Document
    Rtf,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    Upr,
    Ud,
    // Destinations
    FontTable,
    ColorTable,
    Skip,
    // Font and colour tables
    F,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // Characters
    Plain,
    B,
    I,
    Ul,
    UlNone,
    Strike,
    StrikeD,
    Fs,
    Cf,
    Highlight,
    Cb,
    Super,
    Sub,
    NoSuperSub,
    V,
    // Paragraphs
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Li,
    Ri,
    Fi,
    Sb,
    Sa,
    Par,
    Line,
    Tab,
    Cell,
    Row,
    // Characters by name
    Char,
};

struct Keyword {
    Kw kw;
    char16_t ch = 0; // Kw::Char: the character it stands for
};

const std::unordered_map<std::string_view, Keyword>& keywords() {
    static const std::unordered_map<std::string_view, Keyword> table = [] {
        std::unordered_map<std::string_view, Keyword> t = {
            {"rtf", {Kw::Rtf}},
            {"ansi", {Kw::Ansi}},
            {"mac", {Kw::Mac}},
            {"pc", {Kw::Pc}},
            {"pca", {Kw::Pca}},
            {"ansicpg", {Kw::AnsiCpg}},
            {"deff", {Kw::Deff}},
            {"uc", {Kw::Uc}},
            {"u", {Kw::U}},
            {"bin", {Kw::Bin}},
            {"upr", {Kw::Upr}},
            {"ud", {Kw::Ud}},
            {"fonttbl", {Kw::FontTable}},
            {"colortbl", {Kw::ColorTable}},
            {"f", {Kw::F}},
            {"fcharset", {Kw::FCharset}},
            {"cpg", {Kw::Cpg}},
            {"red", {Kw::Red}},
            {"green", {Kw::Green}},
            {"blue", {Kw::Blue}},
            {"plain", {Kw::Plain}},
            {"b", {Kw::B}},
            {"i", {Kw::I}},
            {"ulnone", {Kw::UlNone}},
            {"strike", {Kw::Strike}},
            {"striked", {Kw::StrikeD}},
            {"fs", {Kw::Fs}},
            {"cf", {Kw::Cf}},
            {"highlight", {Kw::Highlight}},
            {"cb", {Kw::Cb}},
            {"chcbpat", {Kw::Cb}},
            {"super", {Kw::Super}},
            {"sub", {Kw::Sub}},
            {"nosupersub", {Kw::NoSuperSub}},
            {"v", {Kw::V}},
            {"pard", {Kw::Pard}},
            {"ql", {Kw::Ql}},
            {"qc", {Kw::Qc}},
            {"qr", {Kw::Qr}},
            {"qj", {Kw::Qj}},
            {"qd", {Kw::Qj}},
            {"li", {Kw::Li}},
            {"lin", {Kw::Li}},
            {"ri", {Kw::Ri}},
            {"rin", {Kw::Ri}},
            {"fi", {Kw::Fi}},
            {"sb", {Kw::Sb}},
            {"sa", {Kw::Sa}},
            {"par", {Kw::Par}},
            {"sect", {Kw::Par}},
            {"line", {Kw::Line}},
            {"tab", {Kw::Tab}},
            {"cell", {Kw::Cell}},
            {"nestcell", {Kw::Cell}},
            {"row", {Kw::Row}},
            {"nestrow", {Kw::Row}},
            {"emdash", {Kw::Char, 0x2014}},
            {"endash", {Kw::Char, 0x2013}},
            {"emspace", {Kw::Char, 0x2003}},
            {"enspace", {Kw::Char, 0x2002}},
            {"qmspace", {Kw::Char, 0x2005}},
            {"bullet", {Kw::Char, 0x2022}},
            {"lquote", {Kw::Char, 0x2018}},
            {"rquote", {Kw::Char, 0x2019}},
            {"ldblquote", {Kw::Char, 0x201C}},
            {"rdblquote", {Kw::Char, 0x201D}},
            {"zwj", {Kw::Char, 0x200D}},
            {"zwnj", {Kw::Char, 0x200C}},
            {"ltrmark", {Kw::Char, 0x200E}},
            {"rtlmark", {Kw::Char, 0x200F}},
        };
        // Destinations whose content is not text of the document, also when a writer leaves
        // out the \* that marks them.
        for (std::string_view skip : {"stylesheet",
                                      "info",
                                      "pict",
                                      "shppict",
                                      "nonshppict",
                                      "objdata",
                                      "objclass",
                                      "header",
                                      "headerl",
                                      "headerr",
                                      "headerf",
                                      "footer",
                                      "footerl",
                                      "footerr",
                                      "footerf",
                                      "footnote",
                                      "annotation",
                                      "atnid",
                                      "atnauthor",
                                      "atnref",
                                      "atndate",
                                      "pn",
                                      "pntxta",
                                      "pntxtb",
                                      "pnseclvl",
                                      "listtable",
                                      "listoverridetable",
                                      "rsidtbl",
                                      "revtbl",
                                      "filetbl",
                                      "generator",
                                      "template",
                                      "xe",
                                      "tc",
                                      "tcn",
                                      "txe",
                                      "rxe",
                                      "shp",
                                      "shpinst",
                                      "shprslt",
                                      "sp",
                                      "sn",
                                      "sv",
                                      "do",
                                      "datafield",
                                      "fldinst",
                                      "bkmkstart",
                                      "bkmkend",
                                      "themedata",
                                      "colorschememapping",
                                      "latentstyles",
                                      "datastore",
                                      "xmlnstbl",
                                      "pgdsctbl",
                                      "mmathPr",
                                      "fchars",
                                      "lchars",
                                      "docvar",
                                      "userprops",
                                      "ftnsep",
                                      "ftnsepc",
                                      "ftncn",
                                      "aftnsep",
                                      "aftnsepc",
                                      "aftncn",
                                      "private",
                                      "title",
                                      "subject",
                                      "author",
                                      "operator",
                                      "keywords",
                                      "comment",
                                      "doccomm",
                                      "company",
                                      "manager",
                                      "category",
                                      "hlinkbase",
                                      "buptim",
                                      "creatim",
                                      "printim",
                                      "revtim",
                                      "falt",
                                      "panose",
                                      "fname",
                                      "htmltag",
                                      "mhtmltag",
                                      "wgrffmtfilter",
                                      "passwordhash",
                                      "protusertbl",
                                      "blipuid"})
            t.emplace(skip, Keyword{Kw::Skip});
        return t;
    }();
    return table;
}

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int font = -1;       // as \f names it
    int halfPoints = 24; // \fs
    int foreground = -1; // index in the colour table; -1: automatic
    int background = -1; // -1: none
    int vertical = 0;    // 1 superscript, 2 subscript

    bool operator==(const CharState&) const = default;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
};

enum class Dest {
    Text,       // the document's text
    FontTable,  // font entries
    ColorTable, // colour entries
    Upr,        // {\upr{ANSI version}{\*\ud{Unicode version}}}: only the \ud part is read
    UprPart,    // a group directly inside \upr: skipped unless it turns out to be \ud
};

struct Group {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
};

struct Font {
    QString name;
    int codePage = 0; // 0: the document's
};

class Reader {
public:
    Reader(QStringView src, bool bytes, QTextDocument& doc)
        : src_(src), bytes_(bytes), doc_(doc), cursor_(&doc) {}

    void run() {
        doc_.clear();
        cursor_ = QTextCursor(&doc_);
        cursor_.beginEditBlock();
        const qsizetype n = src_.size();
        while (i_ < n && !done_) {
            const char16_t c = src_[i_].unicode();
            switch (c) {
            case u'{':
                ++i_;
                openGroup();
                break;
            case u'}':
                ++i_;
                closeGroup();
                break;
            case u'\\':
                ++i_;
                control();
                break;
            case u'\r':
            case u'\n':
            case 0:
                ++i_;
                break;
            default:
                ++i_;
                character(c);
                break;
            }
        }
        finish();
        cursor_.endEditBlock();
    }

private:
    // ---- groups ----

    Group& top() { return stack_.back(); }

    void openGroup() {
        fallback_ = 0;
        if (stack_.size() >= size_t(kMaxDepth)) {
            skipGroupBody();
            return;
        }
        if (stack_.empty()) {
            stack_.push_back(Group{});
        } else {
            Group g = top();
            if (g.dest == Dest::Upr)
                g.dest = Dest::UprPart;
            stack_.push_back(g);
        }
        fresh_ = true;
        star_ = false;
    }

    void closeGroup() {
        fallback_ = 0;
        fresh_ = false;
        star_ = false;
        if (stack_.empty())
            return; // a brace too many before the document began
        if (top().dest == Dest::FontTable)
            endFont();
        if (top().dest == Dest::ColorTable)
            colorEntryPending_ = false;
        // Bytes still to decode belong to the group's own font and format.
        flushBytes();
        if (stack_.size() == 1) {
            flushRun();
            lastPara_ = top().para;
            stack_.pop_back();
            done_ = true; // the document's own group is closed: what follows is not RTF
            return;
        }
        stack_.pop_back();
    }

    // Skips to the brace that closes the group just opened (its '{' already read).
    void skipGroupBody() {
        int depth = 1;
        const qsizetype n = src_.size();
        while (i_ < n) {
            const char16_t c = src_[i_++].unicode();
            if (c == u'{') {
                ++depth;
            } else if (c == u'}') {
                if (--depth == 0)
                    return;
            } else if (c == u'\\' && i_ < n) {
                if (isLetter(src_[i_].unicode())) {
                    QByteArray word;
                    bool hasParam = false;
                    const int param = readWord(word, hasParam);
                    if (word == "bin" && hasParam && param > 0)
                        i_ += std::min<qsizetype>(param, n - i_);
                } else {
                    ++i_; // a control symbol: an escaped brace does not count
                }
            }
        }
    }

    // Skips the rest of the current group and leaves it.
    void skipCurrentGroup() {
        skipGroupBody();
        closeGroup();
    }

    // ---- control words and symbols ----

    static bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
    static bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
    static int hexValue(char16_t c) {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    // Reads letters, an optional signed number and the blank that may end them.
    int readWord(QByteArray& word, bool& hasParam) {
        const qsizetype n = src_.size();
        while (i_ < n && isLetter(src_[i_].unicode())) {
            if (word.size() < kMaxWordLength + 1)
                word.append(char(src_[i_].unicode()));
            ++i_;
        }
        bool negative = false;
        if (i_ + 1 < n && src_[i_] == u'-' && isDigit(src_[i_ + 1].unicode())) {
            negative = true;
            ++i_;
        }
        qint64 value = 0;
        hasParam = false;
        while (i_ < n && isDigit(src_[i_].unicode())) {
            hasParam = true;
            value = std::min<qint64>(value * 10 + (src_[i_].unicode() - u'0'), kMaxParameter);
            ++i_;
        }
        if (i_ < n && src_[i_] == u' ')
            ++i_;
        return int(negative ? -value : value);
    }

    void control() {
        const qsizetype n = src_.size();
        if (i_ >= n)
            return;
        const char16_t c = src_[i_].unicode();
        if (isLetter(c)) {
            QByteArray word;
            bool hasParam = false;
            const int param = readWord(word, hasParam);
            controlWord(word, hasParam, param);
            return;
        }
        ++i_;
        if (c == u'\'') {
            // Two hexadecimal digits; a lone one (a file cut short) is dropped with its escape.
            int value = 0;
            int digits = 0;
            while (digits < 2 && i_ < n && hexValue(src_[i_].unicode()) >= 0) {
                value = value * 16 + hexValue(src_[i_].unicode());
                ++digits;
                ++i_;
            }
            if (digits < 2)
                value = -1;
            fresh_ = false;
            if (value < 0)
                return;
            if (fallback_ > 0) {
                --fallback_;
                return;
            }
            byte(uchar(value));
            return;
        }
        if (c == u'*') {
            star_ = true;
            return;
        }
        fresh_ = false;
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        switch (c) {
        case u'\\':
        case u'{':
        case u'}':
            literal(c);
            break;
        case u'~':
            text(QChar(0x00A0));
            break;
        case u'-':
            text(QChar(0x00AD));
            break;
        case u'_':
            text(QChar(0x2011));
            break;
        case u'\r':
        case u'\n':
            paragraph();
            break;
        case u'\t':
            text(QChar(u'\t'));
            break;
        default:
            break; // \: \| and the symbols RTF does not define
        }
    }

    void controlWord(const QByteArray& word, bool hasParam, int param) {
        const bool wasFresh = fresh_;
        const bool starred = star_;
        fresh_ = false;
        star_ = false;
        if (stack_.empty())
            return; // before the document's first brace
        const auto& table = keywords();
        const auto it = word.size() > kMaxWordLength
                            ? table.end()
                            : table.find(std::string_view(word.constData(), size_t(word.size())));
        Kw kw = it == table.end() ? Kw::Unknown : it->second.kw;
        // Underlines of every style are underlines.
        if (kw == Kw::Unknown && word.startsWith("ul") && word != "ulc")
            kw = Kw::Ul;

        Group& g = top();
        if (g.dest == Dest::UprPart) {
            if (kw == Kw::Ud) {
                g.dest = Dest::Text;
                return;
            }
            skipCurrentGroup();
            return;
        }
        if (starred && wasFresh && kw != Kw::Ud) {
            // An optional destination: read only the ones this reader knows as text.
            skipCurrentGroup();
            return;
        }
        if (kw == Kw::Bin) {
            if (hasParam && param > 0)
                i_ += std::min<qsizetype>(param, src_.size() - i_);
            return;
        }
        if (fallback_ > 0 && g.dest == Dest::Text) {
            --fallback_;
            return;
        }
        const bool on = !hasParam || param != 0;

        if (g.dest == Dest::FontTable) {
            switch (kw) {
            case Kw::F:
                endFont();
                fontEntry_ = param;
                fontPending_ = true;
                fontCodePage_ = 0;
                fontCharsetSet_ = false;
                fontName_.clear();
                fontBytes_.clear();
                return;
            case Kw::FCharset:
                if (!fontCharsetSet_)
                    fontCodePage_ = codePageOfCharset(param);
                return;
            case Kw::Cpg:
                fontCodePage_ = param;
                fontCharsetSet_ = true;
                return;
            case Kw::U:
                flushFontBytes();
                fontName_.append(QChar(char16_t(param < 0 ? param + 65536 : param)));
                fallback_ = g.uc;
                return;
            case Kw::Uc:
                g.uc = std::clamp(param, 0, kMaxFallback);
                return;
            case Kw::Pard:
            case Kw::Par:
            case Kw::Plain:
                // A font table left open by its writer (the text follows inside it).
                if (!wasFresh && !fontPending_) {
                    g.dest = Dest::Text;
                    for (Group& outer : stack_)
                        if (outer.dest == Dest::FontTable)
                            outer.dest = Dest::Text;
                    break;
                }
                return;
            case Kw::Skip:
                if (wasFresh)
                    skipCurrentGroup();
                return;
            default:
                return;
            }
        }
        if (g.dest == Dest::ColorTable) {
            const int value = std::clamp(param, 0, 255);
            switch (kw) {
            case Kw::Red:
                colorRed_ = value;
                colorEntryPending_ = true;
                return;
            case Kw::Green:
                colorGreen_ = value;
                colorEntryPending_ = true;
                return;
            case Kw::Blue:
                colorBlue_ = value;
                colorEntryPending_ = true;
                return;
            default:
                return;
            }
        }
        if (g.dest == Dest::Upr)
            return;

        switch (kw) {
        case Kw::Unknown:
        case Kw::Rtf:
        case Kw::Ud:
            break;
        case Kw::Ansi:
            docCodePage_ = 1252;
            break;
        case Kw::Mac:
            docCodePage_ = 10000;
            break;
        case Kw::Pc:
            docCodePage_ = 437;
            break;
        case Kw::Pca:
            docCodePage_ = 850;
            break;
        case Kw::AnsiCpg:
            if (param > 0)
                docCodePage_ = param;
            break;
        case Kw::Deff:
            defaultFont_ = param;
            if (!sawFontWord_)
                for (Group& outer : stack_)
                    outer.chr.font = param;
            break;
        case Kw::Uc:
            g.uc = std::clamp(param, 0, kMaxFallback);
            break;
        case Kw::U: {
            const int unit = param < 0 ? param + 65536 : param;
            if (unit > 0 && unit <= 0xFFFF)
                text(QChar(char16_t(unit)));
            fallback_ = g.uc;
            break;
        }
        case Kw::Upr:
            if (wasFresh)
                g.dest = Dest::Upr;
            break;
        case Kw::FontTable:
            if (wasFresh)
                g.dest = Dest::FontTable;
            break;
        case Kw::ColorTable:
            if (wasFresh) {
                g.dest = Dest::ColorTable;
                colors_.clear();
                colorEntryPending_ = false;
                colorRed_ = colorGreen_ = colorBlue_ = 0;
            }
            break;
        case Kw::Skip:
            if (wasFresh)
                skipCurrentGroup();
            break;
        case Kw::Bin:
        case Kw::FCharset:
        case Kw::Cpg:
        case Kw::Red:
        case Kw::Green:
        case Kw::Blue:
            break;
        case Kw::F:
            sawFontWord_ = true;
            setChar([&](CharState& s) { s.font = param; });
            break;
        case Kw::Plain:
            setChar([&](CharState& s) {
                s = CharState{};
                s.font = defaultFont_;
            });
            break;
        case Kw::B:
            setChar([&](CharState& s) { s.bold = on; });
            break;
        case Kw::I:
            setChar([&](CharState& s) { s.italic = on; });
            break;
        case Kw::Ul:
            setChar([&](CharState& s) { s.underline = on; });
            break;
        case Kw::UlNone:
            setChar([&](CharState& s) { s.underline = false; });
            break;
        case Kw::Strike:
        case Kw::StrikeD:
            setChar([&](CharState& s) { s.strike = on; });
            break;
        case Kw::V:
            setChar([&](CharState& s) { s.hidden = on; });
            break;
        case Kw::Fs:
            if (hasParam && param > 0)
                setChar([&](CharState& s) { s.halfPoints = std::clamp(param, 2, 3276); });
            break;
        case Kw::Cf:
            setChar([&](CharState& s) { s.foreground = std::max(param, -1); });
            break;
        case Kw::Highlight:
        case Kw::Cb:
            setChar([&](CharState& s) { s.background = param > 0 ? param : -1; });
            break;
        case Kw::Super:
            setChar([&](CharState& s) { s.vertical = on ? 1 : 0; });
            break;
        case Kw::Sub:
            setChar([&](CharState& s) { s.vertical = on ? 2 : 0; });
            break;
        case Kw::NoSuperSub:
            setChar([&](CharState& s) { s.vertical = 0; });
            break;
        case Kw::Pard:
            g.para = ParaState{};
            break;
        case Kw::Ql:
            g.para.align = Qt::AlignLeft;
            break;
        case Kw::Qc:
            g.para.align = Qt::AlignHCenter;
            break;
        case Kw::Qr:
            g.para.align = Qt::AlignRight;
            break;
        case Kw::Qj:
            g.para.align = Qt::AlignJustify;
            break;
        case Kw::Li:
            g.para.left = std::clamp(param, 0, kMaxIndentTwips);
            break;
        case Kw::Ri:
            g.para.right = std::clamp(param, 0, kMaxIndentTwips);
            break;
        case Kw::Fi:
            g.para.first = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
            break;
        case Kw::Sb:
            g.para.before = std::clamp(param, 0, kMaxIndentTwips);
            break;
        case Kw::Sa:
            g.para.after = std::clamp(param, 0, kMaxIndentTwips);
            break;
        case Kw::Par:
        case Kw::Row:
            paragraph();
            break;
        case Kw::Line:
            text(QChar(QChar::LineSeparator));
            break;
        case Kw::Tab:
        case Kw::Cell:
            text(QChar(u'\t'));
            break;
        case Kw::Char:
            text(QChar(it->second.ch));
            break;
        }
    }

    template <class F> void setChar(F change) {
        CharState next = top().chr;
        change(next);
        if (next == top().chr)
            return;
        flushBytes();
        top().chr = next;
    }

    // ---- characters ----

    void character(char16_t c) {
        fresh_ = false;
        if (stack_.empty())
            return;
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        switch (top().dest) {
        case Dest::Text:
            if ((bytes_ && c >= 0x80 && c <= 0xFF) || (trailExpected_ && c >= 0x40 && c < 0x80)) {
                byte(uchar(c));
            } else if (c == u'\t') {
                text(QChar(u'\t'));
            } else {
                text(QChar(c));
            }
            break;
        case Dest::FontTable:
            if (c == u';') {
                endFont();
            } else if (fontPending_) {
                if (bytes_ && c >= 0x80 && c <= 0xFF) {
                    fontBytes_.append(char(c));
                } else {
                    flushFontBytes();
                    fontName_.append(QChar(c));
                }
            }
            break;
        case Dest::ColorTable:
            if (c == u';') {
                colors_.push_back(colorEntryPending_ ? QColor(colorRed_, colorGreen_, colorBlue_) : QColor());
                colorEntryPending_ = false;
                colorRed_ = colorGreen_ = colorBlue_ = 0;
            }
            break;
        case Dest::Upr:
            break;
        case Dest::UprPart:
            skipCurrentGroup();
            break;
        }
    }

    // An escaped \ { or }.
    void literal(char16_t c) {
        if (stack_.empty())
            return;
        if (top().dest == Dest::Text)
            text(QChar(c));
        else if (top().dest == Dest::FontTable && fontPending_)
            fontName_.append(QChar(c));
    }

    void byte(uchar b) {
        if (stack_.empty())
            return;
        const Dest dest = top().dest;
        if (dest == Dest::FontTable) {
            if (fontPending_)
                fontBytes_.append(char(b));
            return;
        }
        if (dest != Dest::Text || top().chr.hidden)
            return;
        const int cp = codePage();
        if (!bytes_pending_.isEmpty() && cp != bytesCodePage_)
            flushBytes();
        bytesCodePage_ = cp;
        bytes_pending_.append(char(b));
        trailExpected_ = trailExpected_ ? false : isLeadByte(cp, b);
    }

    static bool isLeadByte(int cp, uchar b) {
        switch (cp) {
        case 932:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 936:
        case 949:
        case 950:
            return b >= 0x81 && b <= 0xFE;
        default:
            return false;
        }
    }

    int codePage() {
        const int font = top().chr.font;
        if (auto it = fonts_.constFind(font); it != fonts_.constEnd() && it->codePage != 0)
            return it->codePage;
        return docCodePage_;
    }

    void flushBytes() {
        trailExpected_ = false;
        if (bytes_pending_.isEmpty())
            return;
        const QString decoded = decode(bytes_pending_, bytesCodePage_);
        bytes_pending_.clear();
        appendText(decoded);
    }

    void text(QChar c) {
        if (stack_.empty() || top().dest != Dest::Text)
            return;
        flushBytes();
        appendText(QStringView(&c, 1));
    }

    // Characters a text can hold: control characters (from \u8 or a stray byte) are no text,
    // and a paragraph separator inside a text would split its paragraph.
    static bool isText(char16_t c) {
        return c == u'\t' || (c >= 0x20 && c < 0x7F) ||
               (c >= 0xA0 && c != 0x2029 && c != 0xFEFF && c != 0xFFFC);
    }

    void appendText(QStringView s) {
        if (s.isEmpty() || top().chr.hidden)
            return;
        if (!std::all_of(s.begin(), s.end(), [](QChar c) { return isText(c.unicode()); })) {
            QString kept;
            for (const QChar c : s) {
                if (isText(c.unicode()))
                    kept += c;
                else if (c == QChar::ParagraphSeparator)
                    kept += QChar(QChar::LineSeparator);
            }
            if (!kept.isEmpty())
                appendChecked(kept);
            return;
        }
        appendChecked(s);
    }

    void appendChecked(QStringView s) {
        if (!run_.isEmpty() && !(runState_ == top().chr))
            flushRun();
        if (run_.isEmpty())
            runState_ = top().chr;
        if (pendingParagraph_) {
            cursor_.insertBlock();
            pendingParagraph_ = false;
        }
        run_ += s;
    }

    void flushRun() {
        if (run_.isEmpty())
            return;
        cursor_.insertText(run_, charFormat(runState_));
        run_.clear();
    }

    void paragraph() {
        if (stack_.empty() || top().dest != Dest::Text)
            return;
        flushBytes();
        flushRun();
        if (pendingParagraph_)
            cursor_.insertBlock();
        cursor_.setBlockFormat(blockFormat(top().para));
        pendingParagraph_ = true;
    }

    void finish() {
        if (!stack_.empty()) {
            flushBytes();
            flushRun();
            if (!pendingParagraph_)
                cursor_.setBlockFormat(blockFormat(top().para));
        } else {
            flushRun();
            if (!pendingParagraph_)
                cursor_.setBlockFormat(blockFormat(lastPara_));
        }
    }

    // ---- tables ----

    void flushFontBytes() {
        if (fontBytes_.isEmpty())
            return;
        fontName_ += decode(fontBytes_, fontCodePage_ > 0 ? fontCodePage_ : docCodePage_);
        fontBytes_.clear();
    }

    void endFont() {
        if (!fontPending_)
            return;
        flushFontBytes();
        Font font;
        font.name = fontName_.trimmed();
        font.codePage = fontCodePage_;
        if (font.codePage == kSymbolCodePage &&
            font.name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive))
            font.codePage = kWingdingsCodePage;
        fonts_.insert(fontEntry_, font);
        fontPending_ = false;
        fontName_.clear();
    }

    QColor color(int index) const {
        if (index < 0 || size_t(index) >= colors_.size())
            return QColor();
        return colors_[size_t(index)];
    }

    QTextCharFormat charFormat(const CharState& s) const {
        QTextCharFormat f;
        if (auto it = fonts_.constFind(s.font); it != fonts_.constEnd() && !it->name.isEmpty())
            f.setFontFamilies(QStringList{it->name});
        f.setFontPointSize(s.halfPoints / 2.0);
        if (s.bold)
            f.setFontWeight(QFont::Bold);
        if (s.italic)
            f.setFontItalic(true);
        if (s.underline)
            f.setFontUnderline(true);
        if (s.strike)
            f.setFontStrikeOut(true);
        if (const QColor fg = color(s.foreground); fg.isValid())
            f.setForeground(fg);
        if (const QColor bg = color(s.background); bg.isValid())
            f.setBackground(bg);
        if (s.vertical == 1)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (s.vertical == 2)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        return f;
    }

    static QTextBlockFormat blockFormat(const ParaState& p) {
        QTextBlockFormat f;
        f.setAlignment(p.align);
        f.setLeftMargin(p.left / kTwipsPerPixel);
        f.setRightMargin(p.right / kTwipsPerPixel);
        // A hanging indent never reaches left of the paragraph's margin.
        f.setTextIndent(std::max(p.first, -p.left) / kTwipsPerPixel);
        f.setTopMargin(p.before / kTwipsPerPixel);
        f.setBottomMargin(p.after / kTwipsPerPixel);
        return f;
    }

    QStringView src_;
    bool bytes_;
    QTextDocument& doc_;
    QTextCursor cursor_;
    qsizetype i_ = 0;
    bool done_ = false;

    std::vector<Group> stack_;
    bool fresh_ = false; // no word or text yet in the group just opened
    bool star_ = false;  // \* just read
    int fallback_ = 0;   // characters still to skip after \uN
    ParaState lastPara_;

    int docCodePage_ = 1252;
    int defaultFont_ = 0;
    bool sawFontWord_ = false;
    QHash<int, Font> fonts_;
    int fontEntry_ = 0;
    bool fontPending_ = false;
    bool fontCharsetSet_ = false;
    int fontCodePage_ = 0;
    QString fontName_;
    QByteArray fontBytes_;

    std::vector<QColor> colors_;
    bool colorEntryPending_ = false;
    int colorRed_ = 0, colorGreen_ = 0, colorBlue_ = 0;

    QByteArray bytes_pending_;
    int bytesCodePage_ = 1252;
    bool trailExpected_ = false;
    QString run_;
    CharState runState_;
    bool pendingParagraph_ = false;
};

} // namespace

bool isRtf(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i].isSpace() || text[i] == QChar(0xFEFF)))
        ++i;
    return text.mid(i).startsWith(QLatin1String("{\\rtf"));
}

bool isRtf(const QByteArray& bytes) {
    qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.mid(i).startsWith("{\\rtf");
}

void read(const QByteArray& rtf, QTextDocument& document) {
    // Each byte as one character, so that the reader sees the bytes as they are.
    const QString text = QString::fromLatin1(rtf);
    Reader(text, true, document).run();
}

void read(QStringView rtf, QTextDocument& document) {
    Reader(rtf, false, document).run();
}

} // namespace qv::rtf
