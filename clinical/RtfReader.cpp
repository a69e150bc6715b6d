// Reading RTF into a text document. The reader takes what the rich-edit control, WordPad,
// Word and LibreOffice write: groups, control words and symbols, code pages and Unicode, the
// character and paragraph formats a text box can show, tables, lists and links. Pictures and
// embedded objects are shown; what the editor cannot show (footnotes, comments, headers and
// footers, text boxes, fields without a result) is kept as it stood, to be written back.
// Each destination has its own function; the document is built by a sink (RtfSink.h). The
// reader never throws and reads damaged input as far as it makes sense.
#include "clinical/Rtf.h"
#include "clinical/RtfChars.h"
#include "clinical/RtfObjects.h"
#include "clinical/RtfSink.h"

#include <QColor>
#include <QHash>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv::rtf {

namespace {

using detail::ListPlace;
using detail::RowDefinition;
using Role = detail::DocumentSink::Role;

constexpr int kMaxDepth = 256;     // deeper groups are skipped whole
constexpr int kMaxWordLength = 32; // longer control words are no control words RTF knows
constexpr int kMaxParameter = 1 << 30;
constexpr int kMaxFallback = 16;       // \ucN beyond this is nonsense
constexpr int kMaxIndentTwips = 31680; // 22 inches: a page's width and more
constexpr int kMaxTableDepth = 8;      // tables nested deeper are read into the eighth
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
    ListTable,
    ListOverrideTable,
    Skip,
    Pict,
    ShpPict,
    NonShpPict,
    Object,
    Field,
    FldInst,
    FldRslt,
    ListLabel, // \pntext, \listtext
    Pn,
    PnTextAfter,
    PnTextBefore,
    NestTableProps,
    Keep, // kept whole: see keptKind()
    // Font and colour tables
    F,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // List tables
    List,
    ListLevel,
    LevelText,
    LevelNfc,
    ListId,
    ListOverride,
    Ls,
    Ilvl,
    // Old-style paragraph numbering
    PnLvlBlt,
    PnLvlBody,
    PnLvlCont,
    PnLvl,
    PnDec,
    PnStart,
    PnUcRm,
    PnLcRm,
    PnUcLtr,
    PnLcLtr,
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
    Deleted,
    ChFtn, // \chftn, \chatn: the marks of footnotes and comments
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
    // Tables
    Intbl,
    Itap,
    Trowd,
    TrLeft,
    Cellx,
    Cell,
    NestCell,
    Row,
    NestRow,
    // Characters by name
    Char,
};

struct Keyword {
    Kw kw;
    char16_t ch = 0;          // Kw::Char: the character it stands for
    Kept kept = Kept::Hidden; // Kw::Keep: what it is
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
            {"listtable", {Kw::ListTable}},
            {"listoverridetable", {Kw::ListOverrideTable}},
            {"pict", {Kw::Pict}},
            {"shppict", {Kw::ShpPict}},
            {"nonshppict", {Kw::NonShpPict}},
            {"object", {Kw::Object}},
            {"field", {Kw::Field}},
            {"fldinst", {Kw::FldInst}},
            {"fldrslt", {Kw::FldRslt}},
            {"pntext", {Kw::ListLabel}},
            {"listtext", {Kw::ListLabel}},
            {"pn", {Kw::Pn}},
            {"pntxta", {Kw::PnTextAfter}},
            {"pntxtb", {Kw::PnTextBefore}},
            {"nesttableprops", {Kw::NestTableProps}},
            {"f", {Kw::F}},
            {"fcharset", {Kw::FCharset}},
            {"cpg", {Kw::Cpg}},
            {"red", {Kw::Red}},
            {"green", {Kw::Green}},
            {"blue", {Kw::Blue}},
            {"list", {Kw::List}},
            {"listlevel", {Kw::ListLevel}},
            {"leveltext", {Kw::LevelText}},
            {"levelnfc", {Kw::LevelNfc}},
            {"levelnfcn", {Kw::LevelNfc}},
            {"listid", {Kw::ListId}},
            {"listoverride", {Kw::ListOverride}},
            {"ls", {Kw::Ls}},
            {"ilvl", {Kw::Ilvl}},
            {"pnlvlblt", {Kw::PnLvlBlt}},
            {"pnlvlbody", {Kw::PnLvlBody}},
            {"pnlvlcont", {Kw::PnLvlCont}},
            {"pnlvl", {Kw::PnLvl}},
            {"pndec", {Kw::PnDec}},
            {"pncard", {Kw::PnDec}},
            {"pnord", {Kw::PnDec}},
            {"pnordt", {Kw::PnDec}},
            {"pnstart", {Kw::PnStart}},
            {"pnucrm", {Kw::PnUcRm}},
            {"pnlcrm", {Kw::PnLcRm}},
            {"pnucltr", {Kw::PnUcLtr}},
            {"pnlcltr", {Kw::PnLcLtr}},
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
            {"deleted", {Kw::Deleted}},
            {"chftn", {Kw::ChFtn}},
            {"chatn", {Kw::ChFtn}},
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
            {"intbl", {Kw::Intbl}},
            {"itap", {Kw::Itap}},
            {"trowd", {Kw::Trowd}},
            {"trleft", {Kw::TrLeft}},
            {"cellx", {Kw::Cellx}},
            {"cell", {Kw::Cell}},
            {"nestcell", {Kw::NestCell}},
            {"row", {Kw::Row}},
            {"nestrow", {Kw::NestRow}},
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
        // Parts of a document the editor does not show but keeps, where they stood.
        const std::pair<std::string_view, Kept> kept[] = {
            {"footnote", Kept::Footnote}, {"annotation", Kept::Comment}, {"header", Kept::Header},
            {"headerl", Kept::Header},    {"headerr", Kept::Header},     {"headerf", Kept::Header},
            {"footer", Kept::Header},     {"footerl", Kept::Header},     {"footerr", Kept::Header},
            {"footerf", Kept::Header},    {"shp", Kept::Shape},          {"shpgrp", Kept::Shape},
            {"do", Kept::Shape},          {"atnid", Kept::Hidden},       {"atnauthor", Kept::Hidden},
            {"atnref", Kept::Hidden},     {"atndate", Kept::Hidden},     {"atnparent", Kept::Hidden},
            {"atntime", Kept::Hidden},    {"atnicn", Kept::Hidden},      {"atrfstart", Kept::Hidden},
            {"atrfend", Kept::Hidden},    {"bkmkstart", Kept::Hidden},   {"bkmkend", Kept::Hidden},
            {"xe", Kept::Hidden},         {"tc", Kept::Hidden},          {"tcn", Kept::Hidden},
            {"rxe", Kept::Hidden},        {"txe", Kept::Hidden},
        };
        for (const auto& [word, kind] : kept)
            t.emplace(word, Keyword{Kw::Keep, 0, kind});
        // Destinations whose content is not text of the document, also when a writer leaves
        // out the \* that marks them.
        for (std::string_view skip : {"stylesheet",
                                      "info",
                                      "objdata",
                                      "objclass",
                                      "pnseclvl",
                                      "rsidtbl",
                                      "revtbl",
                                      "filetbl",
                                      "generator",
                                      "template",
                                      "sp",
                                      "sn",
                                      "sv",
                                      "datafield",
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
                                      "blipuid",
                                      "listname",
                                      "levelnumbers",
                                      "nonesttables",
                                      "listpicture",
                                      "shpinst",
                                      "shprslt",
                                      "result"})
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
    bool hidden = false;  // \v
    bool deleted = false; // a tracked deletion
    int font = -1;        // as \f names it
    int halfPoints = 24;  // \fs
    int foreground = -1;  // index in the colour table; -1: automatic
    int background = -1;  // -1: none
    int vertical = 0;     // 1 superscript, 2 subscript
    int field = -1;       // the field whose result this is

    bool operator==(const CharState&) const = default;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
    int depth = 0;                                             // in tables: \intbl, \itap
    ListPlace pn;                                              // \pn
    int ls = 0, ilvl = 0;                                      // \ls, \ilvl

    bool operator==(const ParaState&) const = default;
};

enum class Dest {
    Text,          // the document's text
    FontTable,     // font entries
    ColorTable,    // colour entries
    ListTable,     // list definitions
    ListOverrides, // list numbers of paragraphs (\ls)
    LevelText,     // a list level's text
    Numbering,     // \pn: a paragraph's numbering
    NumberBefore,  // \pntxtb
    NumberAfter,   // \pntxta
    Label,         // \pntext, \listtext: a list item's label, for readers without lists
    TableProps,    // \nesttableprops
    Upr,           // {\upr{ANSI version}{\*\ud{Unicode version}}}: only the \ud part is read
    UprPart,       // a group directly inside \upr: skipped unless it turns out to be \ud
};

struct Group {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
    qsizetype start = 0; // where its brace stands
    int field = -1;      // the field it belongs to
    bool opensField = false;
    // Where the document's tables stand: directly in the document's group, or in {\upr}'s
    // Unicode part there. A table anywhere else (inside a field or a kept part) is no table of
    // the document's and is skipped.
    bool tablesHere = false;
    bool tablesInside = false; // in the groups opened directly in this one
};

struct Font {
    QString name;
    int charset = 0;
    int codePage = 0; // 0: the document's
    int cpg = 0;      // \cpg as written
};

struct Field {
    QByteArray instruction; // the \fldinst group
    QString href;
    bool hasResult = false;
    int outer = -1; // the field whose group holds this one
};

struct ListLevel {
    int nfc = 0;
    QString text; // \leveltext: its length, then text with level numbers as 0..8
};

struct ListDefinition {
    int id = 0;
    std::vector<ListLevel> levels;
};

// The two hexadecimal digits of \'hh at `at`, which moves past those read; -1 where fewer than
// two stand there (a file cut short), and the escape is dropped.
int hexByte(QStringView s, qsizetype& at) {
    int value = 0;
    for (int digits = 0; digits < 2; ++digits) {
        if (at >= s.size() || hexValue(s[at].unicode()) < 0)
            return -1;
        value = value * 16 + hexValue(s[at++].unicode());
    }
    return value;
}

// The target of a HYPERLINK field's instruction, or an empty text for other fields.
QString hyperlinkTarget(const QString& instruction) {
    QStringList args;
    QString current;
    bool quoted = false, any = false;
    for (const QChar c : instruction) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c.isSpace()) {
            if (any)
                args.append(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        args.append(current);
    if (args.isEmpty() || args.front().compare(QLatin1String("HYPERLINK"), Qt::CaseInsensitive) != 0)
        return QString();
    QString target, anchor;
    for (qsizetype k = 1; k < args.size(); ++k) {
        if (args[k] == QLatin1String("\\l") && k + 1 < args.size()) {
            anchor = args[++k];
        } else if (args[k].startsWith(QLatin1Char('\\'))) {
            if (args[k].size() == 2 && QStringLiteral("otms").contains(args[k][1]) && k + 1 < args.size())
                ++k; // a switch with its argument
        } else if (target.isEmpty()) {
            target = args[k];
        }
    }
    if (!anchor.isEmpty())
        target += QLatin1Char('#') + anchor;
    return target;
}

// The text of a stretch of RTF: its words and optional groups left out, its characters
// (\'hh in `codePage`, and so a file's bytes beyond ASCII where `bytesAbove`; \uN and what
// stands in for it) as they read. It reads what the reader keeps of the same stretch (written
// back as ASCII) as the same text.
QString textOf(QStringView rtf, int uc, int codePage, bool bytesAbove) {
    QString out;
    QByteArray bytes; // \'hh still to decode
    auto flush = [&] {
        if (!bytes.isEmpty())
            out += decode(bytes, codePage);
        bytes.clear();
    };
    int fallback = 0;         // characters after a \uN that stand in for it
    std::vector<int> outerUc; // \uc of the groups around, restored as each one ends
    const qsizetype n = rtf.size();
    for (qsizetype k = 0; k < n; ++k) {
        const QChar c = rtf[k];
        if (c == u'{' || c == u'}') {
            fallback = 0;
            if (c == u'{') {
                outerUc.push_back(uc);
            } else if (!outerUc.empty()) {
                uc = outerUc.back();
                outerUc.pop_back();
            }
            continue;
        }
        if (c == u'\r' || c == u'\n' || c.unicode() == 0)
            continue;
        if (c != u'\\') {
            if (fallback > 0) {
                --fallback;
                continue;
            }
            // A file's bytes beyond ASCII are in the document's code page, as \'hh is.
            if (bytesAbove && c.unicode() >= 0x80 && c.unicode() <= 0xFF) {
                bytes += char(c.unicode());
                continue;
            }
            flush();
            out += c;
            continue;
        }
        if (++k >= n)
            break;
        const QChar d = rtf[k];
        if (d.unicode() >= 0x80 || d.unicode() == 0) {
            continue; // a control symbol RTF does not define: nothing
        } else if (d == u'*') {
            // Skip the optional group whose star this is.
            int depth = 1;
            while (++k < n && depth > 0) {
                if (rtf[k] == u'\\')
                    ++k;
                else if (rtf[k] == u'{')
                    ++depth;
                else if (rtf[k] == u'}')
                    --depth;
            }
            --k;
            fallback = 0;
        } else if (d == u'\'') {
            qsizetype at = k + 1;
            const int value = hexByte(rtf, at);
            k = at - 1;
            if (value < 0)
                continue;
            if (fallback > 0) {
                --fallback;
                continue;
            }
            bytes += char(value);
        } else if (isLetter(d.unicode())) {
            const qsizetype name = k;
            while (k < n && isLetter(rtf[k].unicode()))
                ++k;
            const QStringView word = rtf.mid(name, k - name);
            const bool negative = k < n && rtf[k] == u'-';
            if (negative)
                ++k;
            qint64 value = 0;
            bool hasValue = false;
            while (k < n && isDigit(rtf[k].unicode())) {
                value = std::min<qint64>(value * 10 + (rtf[k].unicode() - u'0'), kMaxParameter);
                hasValue = true;
                ++k;
            }
            if (k >= n || rtf[k] != u' ')
                --k;
            if (fallback > 0) {
                --fallback;
                continue;
            }
            const int param = int(negative ? -value : value);
            if (word == u"u" && hasValue) {
                flush();
                out += QChar(char16_t(param < 0 ? param + 65536 : param));
                fallback = uc;
            } else if (word == u"bin" && hasValue && !negative) {
                // Binary data outside a picture: no text.
                k = std::min<qsizetype>(k + 1 + value, n) - 1;
            } else if (word == u"uc" && hasValue) {
                uc = std::clamp(param, 0, kMaxFallback);
            }
        } else {
            if (fallback > 0) {
                --fallback;
                continue;
            }
            flush();
            out += d;
        }
    }
    flush();
    return out;
}

class Reader {
public:
    Reader(QStringView src, bool bytes, QTextDocument& doc) : src_(src), bytes_(bytes), sink_(doc) {}

    void run() {
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
                if (!plainText())
                    character(src_[i_++].unicode());
                break;
            }
        }
        finish();
    }

    // A stretch of the document's plain text taken at once; false where it is not that.
    bool plainText() {
        const qsizetype n = src_.size();
        auto plain = [this](char16_t c) {
            return (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'{' && c != u'}') || (!bytes_ && c >= 0xA0);
        };
        if (fallback_ != 0 || blanks_ != 0 || trailExpected_ || stack_.empty() || top().dest != Dest::Text ||
            (fresh_ && src_[i_] == u' ') || i_ + 1 >= n || !plain(src_[i_].unicode()) ||
            !plain(src_[i_ + 1].unicode()) || isSymbolFont())
            return false;
        qsizetype end = i_ + 2;
        while (end < n && plain(src_[end].unicode()))
            ++end;
        fresh_ = false;
        flushBytes();
        // Printable ASCII is text as it is; other characters of a text get checked.
        if (bytes_)
            route(src_.mid(i_, end - i_));
        else
            appendText(src_.mid(i_, end - i_));
        i_ = end;
        return true;
    }

private:
    // ---- groups ----

    Group& top() { return stack_.back(); }

    void openGroup() {
        fallback_ = 0;
        releaseBlanks();
        flushBytes();
        if (stack_.size() >= size_t(kMaxDepth)) {
            skipGroupBody();
            return;
        }
        if (stack_.empty()) {
            stack_.push_back(Group{});
            top().tablesInside = true;
        } else {
            Group g = top();
            if (g.dest == Dest::Upr)
                g.dest = Dest::UprPart;
            g.opensField = false;
            g.tablesHere = g.tablesInside;
            g.tablesInside = false;
            stack_.push_back(g);
        }
        top().start = i_ - 1;
        fresh_ = true;
        star_ = false;
    }

    void closeGroup() {
        fallback_ = 0;
        releaseBlanks();
        fresh_ = false;
        star_ = false;
        if (stack_.empty())
            return; // a brace too many before the document began
        const Dest dest = top().dest;
        // A font ends with the group it began in; groups inside it ({\*\panose}, {\*\falt})
        // do not end it.
        if (dest == Dest::FontTable && stack_.size() <= fontDepth_)
            endFont();
        if (dest == Dest::ColorTable)
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
        const Group closed = top();
        stack_.pop_back();
        if (dest == Dest::Numbering || dest == Dest::NumberBefore || dest == Dest::NumberAfter)
            top().para.pn = closed.para.pn;
        if (closed.opensField)
            endField(closed);
    }

    // Skips to the brace that closes the group just opened (its '{' already read). Returns
    // how many groups the input left open, having ended first.
    int skipGroupBody() {
        int depth = 1;
        const qsizetype n = src_.size();
        while (i_ < n) {
            const char16_t c = src_[i_++].unicode();
            if (c == u'{') {
                ++depth;
            } else if (c == u'}') {
                if (--depth == 0)
                    return 0;
            } else if (c == u'\\' && i_ < n) {
                if (isLetter(src_[i_].unicode())) {
                    Word word;
                    bool hasParam = false;
                    const int param = readWord(word, hasParam);
                    if (word.view() == "bin" && hasParam && param > 0)
                        i_ += std::min<qsizetype>(param, n - i_);
                } else {
                    ++i_; // a control symbol: an escaped brace does not count
                }
            }
        }
        return depth;
    }

    // Skips the rest of the current group and leaves it.
    void skipCurrentGroup() {
        skipGroupBody();
        closeGroup();
    }

    // Reads the rest of the current group without looking into it, leaves it and gives it
    // whole, from its opening brace.
    QStringView captureCurrentGroup() {
        const qsizetype start = top().start;
        unclosed_ = skipGroupBody();
        const QStringView whole = src_.mid(start, i_ - start);
        closeGroup();
        return whole;
    }

    // A group just captured, as RTF to keep: closed where the input ended inside it, so that
    // it takes nothing after it along when written back.
    QByteArray keptRaw(QStringView whole) const { return rawOf(whole) + QByteArray(unclosed_, '}'); }

    // ---- control words and symbols ----

    // A control word's letters; longer ones than RTF knows are cut one letter past the longest.
    struct Word {
        char letters[kMaxWordLength + 1];
        int size = 0;
        std::string_view view() const { return std::string_view(letters, size_t(size)); }
    };

    // Reads letters, an optional signed number and the blank that may end them.
    int readWord(Word& word, bool& hasParam) {
        const qsizetype n = src_.size();
        while (i_ < n && isLetter(src_[i_].unicode())) {
            if (word.size < kMaxWordLength + 1)
                word.letters[word.size++] = char(src_[i_].unicode());
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
        wordStart_ = i_ - 1;
        if (i_ >= n)
            return;
        const char16_t c = src_[i_].unicode();
        if (isLetter(c)) {
            Word word;
            bool hasParam = false;
            const int param = readWord(word, hasParam);
            controlWord(word.view(), hasParam, param);
            return;
        }
        ++i_;
        if (c == u'*') {
            star_ = true;
            return;
        }
        releaseBlanks();
        fresh_ = false;
        if (c == u'\'') {
            const int value = hexByte(src_, i_);
            if (value < 0)
                return;
            if (fallback_ > 0) {
                --fallback_;
                return;
            }
            byte(uchar(value));
            return;
        }
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

    void controlWord(std::string_view word, bool hasParam, int param) {
        const bool wasFresh = fresh_;
        const bool starred = star_;
        fresh_ = false;
        star_ = false;
        if (stack_.empty())
            return; // before the document's first brace
        const auto& table = keywords();
        const auto it = word.size() > size_t(kMaxWordLength) ? table.end() : table.find(word);
        const Keyword keyword = it == table.end() ? Keyword{Kw::Unknown} : it->second;
        Kw kw = keyword.kw;
        // Underlines of every style are underlines.
        if (kw == Kw::Unknown && word.substr(0, 2) == "ul" && word != "ulc")
            kw = Kw::Ul;

        Group& g = top();
        if (g.dest == Dest::UprPart) {
            if (kw == Kw::Ud) {
                g.dest = Dest::Text;
                g.tablesInside = g.tablesHere;
                return;
            }
            skipCurrentGroup();
            return;
        }
        // Blanks before a destination's word belong to the destination.
        const int held = std::exchange(blanks_, 0);
        if (wasFresh && destination(kw, keyword, starred))
            return;
        blanks_ = held;
        releaseBlanks();
        if (starred && wasFresh && kw != Kw::Ud) {
            // An optional destination this reader does not know.
            skipCurrentGroup();
            return;
        }
        if (kw == Kw::Bin) {
            if (hasParam && param > 0)
                i_ += std::min<qsizetype>(param, src_.size() - i_);
            return;
        }
        if (fallback_ > 0 && g.dest != Dest::FontTable) {
            --fallback_;
            return;
        }
        tableDefinitionWord(word, kw, param);
        switch (g.dest) {
        case Dest::FontTable:
            fontTableWord(kw, param, wasFresh);
            return;
        case Dest::ColorTable:
            colorTableWord(kw, param);
            return;
        case Dest::ListTable:
        case Dest::LevelText:
            listTableWord(kw, param);
            return;
        case Dest::ListOverrides:
            listOverrideWord(kw, param);
            return;
        case Dest::Numbering:
        case Dest::NumberBefore:
        case Dest::NumberAfter:
            numberingWord(kw, hasParam, param);
            return;
        case Dest::TableProps:
            if (kw == Kw::NestRow)
                row(std::max(2, g.para.depth));
            return;
        case Dest::Upr:
        case Dest::UprPart:
            return;
        case Dest::Text:
        case Dest::Label:
            textWord(kw, keyword, hasParam, param);
            return;
        }
    }

    // A word that opens a group: the destinations. Returns whether it was one.
    bool destination(Kw kw, const Keyword& keyword, bool starred) {
        Group& g = top();
        const bool inText = g.dest == Dest::Text || g.dest == Dest::Label;
        const bool nested = stack_.size() > 1;
        switch (kw) {
        case Kw::Upr:
            g.dest = Dest::Upr;
            g.tablesInside = g.tablesHere;
            return true;
        case Kw::FontTable:
        case Kw::ColorTable:
        case Kw::ListTable:
        case Kw::ListOverrideTable:
            if (!g.tablesHere) {
                skipCurrentGroup();
                return true;
            }
            break;
        default:
            break;
        }
        switch (kw) {
        case Kw::FontTable:
            g.dest = Dest::FontTable;
            return true;
        case Kw::ColorTable:
            g.dest = Dest::ColorTable;
            colors_.clear();
            tablesChanged();
            colorEntryPending_ = false;
            colorRed_ = colorGreen_ = colorBlue_ = 0;
            return true;
        case Kw::ListTable:
            g.dest = Dest::ListTable;
            return true;
        case Kw::ListOverrideTable:
            g.dest = Dest::ListOverrides;
            return true;
        case Kw::LevelText:
            if (g.dest != Dest::ListTable)
                return false;
            g.dest = Dest::LevelText;
            if (!lists_.empty() && !lists_.back().levels.empty())
                lists_.back().levels.back().text.clear();
            return true;
        case Kw::Skip:
            skipCurrentGroup();
            return true;
        case Kw::Pict:
        case Kw::ShpPict:
        case Kw::NonShpPict:
            if (!nested)
                return false;
            if (!inText) {
                skipCurrentGroup();
                return true;
            }
            picture(kw);
            return true;
        case Kw::Object:
            if (!nested)
                return false;
            if (!inText) {
                skipCurrentGroup();
                return true;
            }
            object();
            return true;
        case Kw::Keep:
            if (!nested)
                return false;
            if (!inText) {
                skipCurrentGroup();
                return true;
            }
            kept(keyword.kept);
            return true;
        case Kw::Field:
            if (!inText)
                return false;
            fields_.emplace_back();
            fields_.back().outer = g.field;
            g.field = int(fields_.size()) - 1;
            g.opensField = true;
            return true;
        case Kw::FldInst:
            fieldInstruction();
            return true;
        case Kw::FldRslt:
            if (!inText)
                return false;
            g.chr.field = g.field;
            return true;
        case Kw::ListLabel:
            if (g.dest != Dest::Text)
                return false;
            flushBytes();
            flushRun();
            g.dest = Dest::Label;
            label_.clear();
            return true;
        case Kw::Pn:
            if (!inText)
                return false;
            g.dest = Dest::Numbering;
            g.para.pn = ListPlace{};
            g.para.pn.kind = ListPlace::Kind::Numbered;
            g.para.pn.style = QTextListFormat::ListDecimal;
            return true;
        case Kw::PnTextAfter:
        case Kw::PnTextBefore:
            if (g.dest != Dest::Numbering)
                return false;
            g.dest = kw == Kw::PnTextAfter ? Dest::NumberAfter : Dest::NumberBefore;
            (kw == Kw::PnTextAfter ? g.para.pn.suffix : g.para.pn.prefix).clear();
            return true;
        case Kw::NestTableProps:
            g.dest = Dest::TableProps;
            return true;
        default:
            (void)starred;
            return false;
        }
    }

    // ---- pictures, objects and what is kept unseen ----

    void picture(Kw kw) {
        const QStringView whole = captureCurrentGroup();
        Object object;
        object.kind = Kept::Picture;
        object.raw = keptRaw(whole);
        object.picture = kw == Kw::Pict ? parsePicture(whole) : findPicture(whole);
        object.size = object.picture != nullptr ? object.picture->declaredSize() : QSizeF(32, 32);
        emitObject(object, kw == Kw::ShpPict      ? Role::Shape
                           : kw == Kw::NonShpPict ? Role::NonShape
                                                  : Role::Plain);
    }

    void object() {
        const QStringView whole = captureCurrentGroup();
        Object object;
        object.kind = Kept::Object;
        object.raw = keptRaw(whole);
        // Shown by its result's picture; the object's own data is no picture.
        const qsizetype result = whole.indexOf(u"\\result");
        object.picture = findPicture(result >= 0 ? whole.mid(result) : QStringView());
        object.size = object.picture != nullptr ? object.picture->declaredSize() : objectSize(whole);
        emitObject(object, Role::Plain);
    }

    // \objw, \objh and their scales, for an object without a result picture.
    static QSizeF objectSize(QStringView whole) {
        auto number = [whole](QStringView word, int fallback) {
            const qsizetype at = whole.indexOf(word);
            if (at < 0)
                return fallback;
            qsizetype k = at + word.size();
            int value = 0;
            bool any = false;
            while (k < whole.size() && whole[k].isDigit() && value < 100000) {
                value = value * 10 + whole[k].digitValue();
                any = true;
                ++k;
            }
            return any ? value : fallback;
        };
        const double w = number(u"\\objw", 480) * number(u"\\objscalex", 100) / 100.0 / kTwipsPerPixel;
        const double h = number(u"\\objh", 480) * number(u"\\objscaley", 100) / 100.0 / kTwipsPerPixel;
        return QSizeF(std::clamp(w, 1.0, 4000.0), std::clamp(h, 1.0, 4000.0));
    }

    void kept(Kept kind) {
        const QStringView whole = captureCurrentGroup();
        Object object;
        object.kind = kind;
        object.raw = keptRaw(whole);
        if (kind == Kept::Shape) {
            object.picture = findPicture(whole);
            if (object.picture != nullptr) {
                object.kind = Kept::Shape;
                object.size = object.picture->declaredSize();
            }
        }
        emitObject(object, Role::Plain);
    }

    void emitObject(Object object, Role role) {
        if (stack_.empty() || top().dest != Dest::Text)
            return;
        flushBytes();
        flushRun();
        beginContent();
        object.context = context();
        object.unicodeSkip = top().uc;
        if (top().chr.field >= 0)
            fields_[size_t(top().chr.field)].hasResult = true;
        sink_.object(object, charFormat(top().chr), role);
    }

    // ---- fields ----

    void fieldInstruction() {
        const int field = top().field;
        const QStringView whole = captureCurrentGroup();
        // A field has one instruction: the first.
        if (field < 0 || !fields_[size_t(field)].instruction.isEmpty())
            return;
        fields_[size_t(field)].instruction = keptRaw(whole);
        const qsizetype word = whole.indexOf(u"fldinst");
        fields_[size_t(field)].href = hyperlinkTarget(plainText(whole.mid(word + 7), top().uc).trimmed());
    }

    void endField(const Group& closed) {
        const Field& field = fields_[size_t(closed.field)];
        if (field.hasResult || field.instruction.isEmpty() || top().dest != Dest::Text)
            return;
        // A field that shows nothing (a form field, a page number) is kept whole.
        Object object;
        object.kind = Kept::Field;
        object.raw = rawOf(src_.mid(closed.start, i_ - closed.start));
        emitObject(object, Role::Plain);
    }

    QString plainText(QStringView rtf, int uc) const { return textOf(rtf, uc, docCodePage_, bytes_); }

    // ---- kept RTF ----

    // A stretch of the input as ASCII RTF of the same meaning: \bin data as hexadecimal,
    // bytes of a file as \'hh, characters of a text as \uN.
    QByteArray rawOf(QStringView part) const {
        // Most kept RTF (hexadecimal pictures) is ASCII already.
        if (std::all_of(part.begin(), part.end(),
                        [](QChar c) { return c.unicode() < 0x80 && c.unicode() != 0; }) &&
            !part.contains(u"\\bin") && !part.endsWith(u'\\'))
            return part.toLatin1();
        QByteArray out;
        out.reserve(part.size() + 16);
        const qsizetype n = part.size();
        static const char digits[] = "0123456789abcdef";
        // Whether each open group holds a picture's or object's data, where \bin may stand:
        // \pict or \objdata opens it, as the first word of its group.
        std::vector<char> data{0};
        bool groupStart = false; // nothing but \* and blanks yet in the group just opened
        // Whether the last thing written is a control word, which a letter or digit after it
        // would run on.
        bool afterWord = false;
        for (qsizetype k = 0; k < n; ++k) {
            const char16_t c = part[k].unicode();
            const bool wordBefore = std::exchange(afterWord, false);
            const bool atStart = std::exchange(groupStart, false);
            if (atStart && (c == u' ' || c == u'\r' || c == u'\n')) {
                out += char(c);
                groupStart = true;
                continue;
            }
            if (atStart && c == u'\\' && k + 1 < n && part[k + 1] == u'*') {
                out += "\\*";
                ++k;
                groupStart = true;
                continue;
            }
            // A backslash where the input ended escapes nothing: written back, it would escape
            // the brace that closes the group.
            if (c == u'\\' && k + 1 == n)
                break;
            if (c == u'{' || c == u'}') {
                if (c == u'{')
                    data.push_back(data.back());
                else if (data.size() > 1)
                    data.pop_back();
                groupStart = c == u'{';
                out += char(c);
                continue;
            }
            if (c == u'\\' && k + 1 < n &&
                (part[k + 1] == u'{' || part[k + 1] == u'}' || part[k + 1] == u'\\')) {
                out += '\\';
                out += char(part[++k].unicode());
                continue;
            }
            if (c == u'\\' && k + 1 < n && isLetter(part[k + 1].unicode())) {
                qsizetype e = k + 1;
                while (e < n && isLetter(part[e].unicode()))
                    ++e;
                const QStringView name = part.mid(k + 1, e - k - 1);
                qsizetype d = e;
                if (d < n && part[d] == u'-')
                    ++d;
                qint64 value = 0;
                while (d < n && isDigit(part[d].unicode())) {
                    value = std::min<qint64>(value * 10 + (part[d].unicode() - u'0'), kMaxParameter);
                    ++d;
                }
                if (atStart && (name == u"pict" || name == u"objdata"))
                    data.back() = 1;
                if (name == u"bin" && d > e && part[e] != u'-') {
                    if (d < n && part[d] == u' ')
                        ++d;
                    const qsizetype count = std::min<qsizetype>(value, n - d);
                    // A picture's bytes as hexadecimal; elsewhere readers skip them: so do we.
                    if (data.back()) {
                        out += ' ';
                        for (qsizetype b = 0; b < count; ++b) {
                            const auto byte = uchar(part[d + b].unicode() & 0xFF);
                            out += digits[byte >> 4];
                            out += digits[byte & 0xF];
                        }
                        out += ' ';
                    } else if (const qsizetype next = d + count;
                               wordBefore && next < n &&
                               (isLetter(part[next].unicode()) || isDigit(part[next].unicode()) ||
                                part[next] == u'-' || part[next] == u' ')) {
                        out += ' ';
                    } else {
                        afterWord = wordBefore;
                    }
                    k = d + count - 1;
                    continue;
                }
                for (qsizetype w = k; w < d; ++w)
                    out += char(part[w].unicode());
                afterWord = true;
                k = d - 1;
                continue;
            }
            const bool undefinedSymbol =
                c == u'\\' && k + 1 < n && (part[k + 1].unicode() >= 0x80 || part[k + 1].unicode() == 0);
            if (undefinedSymbol || c == 0) {
                // A NUL, or a control symbol RTF does not define: nothing, but a control word
                // before it may not run on into a letter or number after it.
                qsizetype next = k + (undefinedSymbol ? 2 : 1);
                while (next < n && part[next].unicode() == 0)
                    ++next;
                auto joins = [](char16_t x) { return isLetter(x) || isDigit(x) || x == u'-' || x == u' '; };
                if (wordBefore && next < n && joins(part[next].unicode()))
                    out += ' ';
                else
                    afterWord = wordBefore;
                k = next - 1;
                continue;
            }
            if (c < 0x80) {
                out += char(c);
            } else if (bytes_ && c <= 0xFF) {
                out += "\\'";
                out += digits[c >> 4];
                out += digits[c & 0xF];
            } else {
                out += "{\\uc1\\u" + QByteArray::number(c > 0x7FFF ? int(c) - 0x10000 : int(c)) + "?}";
            }
        }
        return out;
    }

    // A word of a table row's or cell's definition (\trgaph, \clbrdrt, \brdrs...).
    static bool isTableWord(QStringView word) {
        for (const char16_t* prefix : {u"tr", u"ts", u"tbl", u"irow", u"lastrow", u"cl", u"brdr", u"cellx",
                                       u"ltrrow", u"rtlrow", u"taprtl"})
            if (word.startsWith(QStringView(prefix)))
                return true;
        return false;
    }

    // The words of a table row's definition in a stretch of the input, nothing else.
    QByteArray wordsOf(qsizetype from, qsizetype to) const {
        QByteArray out;
        for (qsizetype k = std::max<qsizetype>(from, 0); k < to && k < src_.size(); ++k) {
            if (src_[k] != u'\\' || k + 1 >= to || !isLetter(src_[k + 1].unicode()))
                continue;
            qsizetype letters = k + 1;
            while (letters < to && isLetter(src_[letters].unicode()))
                ++letters;
            qsizetype e = letters;
            if (e + 1 < to && src_[e] == u'-' && isDigit(src_[e + 1].unicode()))
                ++e;
            while (e < to && isDigit(src_[e].unicode()))
                ++e;
            if (isTableWord(src_.mid(k + 1, letters - k - 1))) {
                out += '\\';
                for (qsizetype w = k + 1; w < e; ++w)
                    out += char(src_[w].unicode());
            }
            k = e - 1;
        }
        return out;
    }

    // The fonts, colours or code page changed: formats and kept RTF's context are made anew.
    void tablesChanged() {
        context_.reset();
        ++tablesVersion_;
    }

    std::shared_ptr<const Context> context() {
        if (context_ == nullptr) {
            auto made = std::make_shared<Context>();
            for (auto it = fonts_.constBegin(); it != fonts_.constEnd(); ++it)
                made->fonts.insert(it.key(), Context::Font{it->name, it->charset, it->cpg});
            made->colors = colors_;
            made->codePage = docCodePage_;
            context_ = made;
        }
        return context_;
    }

    // ---- the font table ----

    void fontTableWord(Kw kw, int param, bool wasFresh) {
        Group& g = top();
        switch (kw) {
        case Kw::F:
            endFont();
            fontEntry_ = param;
            fontPending_ = true;
            fontDepth_ = stack_.size();
            fontCodePage_ = 0;
            fontCharset_ = 0;
            fontCpg_ = 0;
            fontCharsetSet_ = false;
            fontName_.clear();
            fontBytes_.clear();
            return;
        case Kw::FCharset:
            fontCharset_ = param;
            if (!fontCharsetSet_)
                fontCodePage_ = codePageOfCharset(param);
            return;
        case Kw::Cpg:
            fontCodePage_ = param;
            fontCpg_ = param;
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
                textWord(kw, Keyword{kw}, false, param);
            }
            return;
        default:
            return;
        }
    }

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
        font.charset = fontCharset_;
        font.codePage = fontCodePage_;
        font.cpg = fontCpg_;
        if (font.codePage == kSymbolCodePage &&
            font.name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive))
            font.codePage = kWingdingsCodePage;
        fonts_.insert(fontEntry_, font);
        tablesChanged();
        fontPending_ = false;
        fontName_.clear();
    }

    // ---- the colour table ----

    void colorTableWord(Kw kw, int param) {
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

    void colorEntry() {
        colors_.push_back(colorEntryPending_ ? QColor(colorRed_, colorGreen_, colorBlue_) : QColor());
        tablesChanged();
        colorEntryPending_ = false;
        colorRed_ = colorGreen_ = colorBlue_ = 0;
    }

    // ---- list tables ----

    void listTableWord(Kw kw, int param) {
        switch (kw) {
        case Kw::List:
            if (lists_.size() < 1000)
                lists_.emplace_back();
            return;
        case Kw::ListLevel:
            if (!lists_.empty() && lists_.back().levels.size() < 9)
                lists_.back().levels.emplace_back();
            return;
        case Kw::LevelNfc:
            if (!lists_.empty() && !lists_.back().levels.empty())
                lists_.back().levels.back().nfc = param;
            return;
        case Kw::ListId:
            if (!lists_.empty())
                lists_.back().id = param;
            return;
        case Kw::U:
            if (top().dest == Dest::LevelText) {
                levelText(QChar(char16_t(param < 0 ? param + 65536 : param)));
                fallback_ = top().uc;
            }
            return;
        default:
            return;
        }
    }

    void levelText(QChar c) {
        if (!lists_.empty() && !lists_.back().levels.empty() && lists_.back().levels.back().text.size() < 64)
            lists_.back().levels.back().text += c;
    }

    void listOverrideWord(Kw kw, int param) {
        if (kw == Kw::ListId)
            overrideList_ = param;
        else if (kw == Kw::Ls && overrides_.size() < 1000)
            overrides_.insert(param, overrideList_);
    }

    // What list a paragraph is an item of.
    ListPlace listOf(const ParaState& para) const {
        if (para.ls > 0) {
            ListPlace place;
            const int level = std::clamp(para.ilvl, 0, 8);
            const int id = overrides_.value(para.ls, -1);
            const ListDefinition* definition = nullptr;
            for (const ListDefinition& list : lists_)
                if (list.id == id)
                    definition = &list;
            const ListLevel fallback;
            const ListLevel& lvl = definition != nullptr && size_t(level) < definition->levels.size()
                                       ? definition->levels[size_t(level)]
                                       : fallback;
            if (lvl.nfc == 255)
                return ListPlace{};
            place.kind = lvl.nfc == 23 ? ListPlace::Kind::Bullet : ListPlace::Kind::Numbered;
            place.style = styleOfNfc(lvl.nfc);
            place.level = level;
            place.key = (qint64(1) << 60) | (qint64(para.ls) << 8) | level;
            if (place.kind == ListPlace::Kind::Numbered && !lvl.text.isEmpty()) {
                // \leveltext: its length, then text with the level numbers as characters 0..8.
                const QString text = lvl.text.mid(1, lvl.text.front().unicode());
                qsizetype first = -1, last = -1;
                for (qsizetype k = 0; k < text.size(); ++k) {
                    if (text[k].unicode() < 9) {
                        if (first < 0)
                            first = k;
                        last = k;
                    }
                }
                if (first >= 0) {
                    place.prefix = text.left(first);
                    place.suffix = text.mid(last + 1);
                }
            }
            return place;
        }
        if (para.pn.kind == ListPlace::Kind::None)
            return ListPlace{};
        ListPlace place = para.pn;
        // The depth of a simple list shows in its indent, a list level being 600 twips.
        if (place.level == 0)
            place.level = std::clamp(int(std::lround(para.left / 600.0)) - 1, 0, 8);
        place.key = (qint64(2) << 60) | (qint64(numberingRun_) << 16) | (qint64(int(place.style) + 16) << 8) |
                    place.level;
        return place;
    }

    static QTextListFormat::Style styleOfNfc(int nfc) {
        switch (nfc) {
        case 1:
            return QTextListFormat::ListUpperRoman;
        case 2:
            return QTextListFormat::ListLowerRoman;
        case 3:
            return QTextListFormat::ListUpperAlpha;
        case 4:
            return QTextListFormat::ListLowerAlpha;
        case 23:
            return QTextListFormat::ListDisc;
        default:
            return QTextListFormat::ListDecimal;
        }
    }

    // ---- old-style paragraph numbering (\pn) ----

    void numberingWord(Kw kw, bool hasParam, int param) {
        ListPlace& pn = top().para.pn;
        switch (kw) {
        case Kw::PnLvlBlt:
            pn.kind = ListPlace::Kind::Bullet;
            pn.style = QTextListFormat::ListDisc;
            return;
        case Kw::PnLvlBody:
            pn.kind = ListPlace::Kind::Numbered;
            return;
        case Kw::PnLvlCont:
            pn.kind = ListPlace::Kind::None;
            return;
        case Kw::PnLvl:
            pn.level = hasParam ? std::clamp(param - 1, 0, 8) : 0;
            return;
        case Kw::PnStart:
            pn.start = std::clamp(param, 0, 1 << 20);
            return;
        case Kw::PnDec:
        case Kw::PnUcRm:
        case Kw::PnLcRm:
        case Kw::PnUcLtr:
        case Kw::PnLcLtr:
            if (pn.kind != ListPlace::Kind::Bullet)
                pn.style = kw == Kw::PnUcRm    ? QTextListFormat::ListUpperRoman
                           : kw == Kw::PnLcRm  ? QTextListFormat::ListLowerRoman
                           : kw == Kw::PnUcLtr ? QTextListFormat::ListUpperAlpha
                           : kw == Kw::PnLcLtr ? QTextListFormat::ListLowerAlpha
                                               : QTextListFormat::ListDecimal;
            return;
        case Kw::U:
            text(QChar(char16_t(param < 0 ? param + 65536 : param)));
            fallback_ = top().uc;
            return;
        default:
            return;
        }
    }

    // ---- tables ----

    // Words of a row's definition: \trowd starts one, \cellx ends each cell's.
    void tableDefinitionWord(std::string_view word, Kw kw, int param) {
        if (kw == Kw::Trowd) {
            const Group& g = top();
            definitionDepth_ = g.dest == Dest::TableProps ? std::clamp(g.para.depth, 2, kMaxTableDepth) : 1;
            RowDefinition& def = definitions_[size_t(definitionDepth_)];
            def = RowDefinition{};
            definitionStart_ = wordStart_;
            definitionRowDone_ = false;
            return;
        }
        if (definitionDepth_ == 0)
            return;
        RowDefinition& def = definitions_[size_t(definitionDepth_)];
        const bool cellWord = kw == Kw::Cellx || word.substr(0, 2) == "cl";
        if (cellWord && !definitionRowDone_) {
            def.raw = wordsOf(definitionStart_, wordStart_);
            definitionRowDone_ = true;
            definitionStart_ = wordStart_;
        }
        if (kw == Kw::TrLeft) {
            def.left = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
        } else if (kw == Kw::Cellx && def.cells.size() < 256) {
            def.cells.push_back(RowDefinition::Cell{
                wordsOf(definitionStart_, i_), std::clamp(param, -kMaxIndentTwips, 4 * kMaxIndentTwips)});
            definitionStart_ = i_;
        }
    }

    void cell(int depth) {
        endParagraphContent();
        fieldShows();
        sink_.cell(depth, blockFormat(top().para), listOf(top().para));
    }

    void row(int depth) {
        endParagraphContent();
        fieldShows();
        const int d = std::clamp(depth, 1, kMaxTableDepth);
        sink_.row(d, definitions_[size_t(d)], context());
    }

    // ---- the text's own words ----

    void documentWord(Kw kw, int param) {
        switch (kw) {
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
            tablesChanged();
            break;
        case Kw::Deff:
            defaultFont_ = param;
            if (!sawFontWord_)
                for (Group& outer : stack_)
                    outer.chr.font = param;
            break;
        default:
            break;
        }
    }

    void textWord(Kw kw, const Keyword& keyword, bool hasParam, int param) {
        Group& g = top();
        const bool on = !hasParam || param != 0;
        // The document's character set and default font are said in its own group: inside
        // another (a field or object kept whole and written back elsewhere) they would change
        // how everything after it reads.
        const bool header = stack_.size() == 1;
        switch (kw) {
        case Kw::Unknown:
        case Kw::Rtf:
        case Kw::Ud:
            break;
        case Kw::Ansi:
        case Kw::Mac:
        case Kw::Pc:
        case Kw::Pca:
        case Kw::AnsiCpg:
        case Kw::Deff:
            if (header)
                documentWord(kw, param);
            break;
        case Kw::Uc:
            g.uc = std::clamp(param, 0, kMaxFallback);
            break;
        case Kw::U: {
            const int unit = param < 0 ? param + 65536 : param;
            const int cp = codePage();
            if ((cp == kSymbolCodePage || cp == kWingdingsCodePage) && unit >= 0xF020 && unit <= 0xF0FF) {
                // A symbol font's picture by its place in the private area (Word writes so).
                flushBytes();
                appendText(decode(QByteArray(1, char(unit - 0xF000)), cp));
            } else if (unit > 0 && unit <= 0xFFFF) {
                text(QChar(char16_t(unit)));
            }
            fallback_ = g.uc;
            break;
        }
        case Kw::F:
            sawFontWord_ = true;
            setChar([&](CharState& s) { s.font = param; });
            break;
        case Kw::Plain:
            setChar([&](CharState& s) {
                const int field = s.field;
                s = CharState{};
                s.font = defaultFont_;
                s.field = field;
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
        case Kw::Deleted:
            setChar([&](CharState& s) { s.deleted = on; });
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
        case Kw::ChFtn: {
            // The mark of a footnote or comment is kept with it.
            Object mark;
            mark.kind = Kept::Hidden;
            mark.raw = rawOf(src_.mid(wordStart_, i_ - wordStart_)).trimmed() + ' ';
            emitObject(mark, Role::Plain);
            break;
        }
        case Kw::Pard:
            setPara([](ParaState& p) { p = ParaState{}; });
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
        case Kw::Ls:
            g.para.ls = std::max(param, 0);
            break;
        case Kw::Ilvl:
            g.para.ilvl = std::clamp(param, 0, 8);
            break;
        case Kw::Intbl:
            setPara([](ParaState& p) { p.depth = std::max(p.depth, 1); });
            break;
        case Kw::Itap:
            setPara([&](ParaState& p) { p.depth = std::clamp(param, 0, kMaxTableDepth); });
            break;
        case Kw::Par:
            paragraph();
            break;
        case Kw::Cell:
            if (g.dest == Dest::Text)
                cell(1);
            break;
        case Kw::NestCell:
            if (g.dest == Dest::Text)
                cell(std::max(2, g.para.depth));
            break;
        case Kw::Row:
            if (g.dest == Dest::Text)
                row(1);
            break;
        case Kw::NestRow:
            if (g.dest == Dest::Text)
                row(std::max(2, g.para.depth));
            break;
        case Kw::Line:
            text(QChar(QChar::LineSeparator));
            break;
        case Kw::Tab:
            text(QChar(u'\t'));
            break;
        case Kw::Char:
            text(QChar(keyword.ch));
            break;
        default:
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

    // A change of the table depth ends the run of text read before it.
    template <class F> void setPara(F change) {
        const int depth = top().para.depth;
        change(top().para);
        if (top().para.depth != depth) {
            flushBytes();
            flushRun();
        }
    }

    // ---- characters ----

    void character(char16_t c) {
        if (stack_.empty())
            return;
        if (fresh_ && c == u' ') {
            // Blanks after a brace: a destination's word may still follow ("{ \fonttbl").
            ++blanks_;
            return;
        }
        releaseBlanks();
        fresh_ = false;
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        switch (top().dest) {
        case Dest::Text:
        case Dest::Label:
        case Dest::NumberBefore:
        case Dest::NumberAfter:
            if ((bytes_ && c >= 0x80 && c <= 0xFF) || (trailExpected_ && c >= 0x40 && c < 0x80) ||
                (c >= 0x20 && c <= 0xFF && isSymbolFont())) {
                byte(uchar(c));
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
            if (c == u';')
                colorEntry();
            break;
        case Dest::LevelText:
            levelText(QChar(c));
            break;
        case Dest::ListTable:
        case Dest::ListOverrides:
        case Dest::Numbering:
        case Dest::TableProps:
        case Dest::Upr:
            break;
        case Dest::UprPart:
            skipCurrentGroup();
            break;
        }
    }

    // Blanks held back after a brace turn out to be text.
    void releaseBlanks() {
        if (blanks_ == 0)
            return;
        const int count = blanks_;
        blanks_ = 0;
        fresh_ = false;
        for (int k = 0; k < count; ++k)
            character(u' ');
    }

    // An escaped \ { or }.
    void literal(char16_t c) {
        if (stack_.empty())
            return;
        if (top().dest == Dest::FontTable) {
            if (fontPending_)
                fontName_.append(QChar(c));
        } else {
            text(QChar(c));
        }
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
        if (dest == Dest::LevelText) {
            levelText(QChar(b));
            return;
        }
        if (dest != Dest::Text && dest != Dest::Label && dest != Dest::NumberBefore &&
            dest != Dest::NumberAfter)
            return;
        if (dest == Dest::Text && (top().chr.hidden || top().chr.deleted)) {
            fieldShows(); // a hidden result goes with the hidden text
            return;
        }
        // A byte in a field's group is content even where its code page makes nothing of it:
        // written back, the field's bytes would be read in another font's code page.
        if (dest == Dest::Text)
            fieldShows();
        const int cp = codePage();
        if (!pendingBytes_.isEmpty() && cp != bytesCodePage_)
            flushBytes();
        bytesCodePage_ = cp;
        pendingBytes_.append(char(b));
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

    // A font whose characters are pictures: its letters too stand for them.
    bool isSymbolFont() {
        const int cp = codePage();
        return cp == kSymbolCodePage || cp == kWingdingsCodePage;
    }

    int codePage() {
        const int font = top().chr.font;
        if (font == codePageFont_ && codePageVersion_ == tablesVersion_ && codePageDoc_ == docCodePage_)
            return codePage_;
        codePageFont_ = font;
        codePageVersion_ = tablesVersion_;
        codePageDoc_ = docCodePage_;
        codePage_ = docCodePage_;
        if (auto it = fonts_.constFind(font); it != fonts_.constEnd() && it->codePage != 0)
            codePage_ = it->codePage;
        return codePage_;
    }

    void flushBytes() {
        trailExpected_ = false;
        if (pendingBytes_.isEmpty())
            return;
        const QString decoded = decode(pendingBytes_, bytesCodePage_);
        pendingBytes_.clear();
        appendText(decoded);
    }

    void text(QChar c) {
        if (stack_.empty())
            return;
        flushBytes();
        appendText(QStringView(&c, 1));
    }

    // Characters a text can hold: control characters (from \u8 or a stray byte) are no text,
    // and a paragraph separator inside a text would split its paragraph.
    static bool isText(char16_t c) {
        return c == u'\t' || (c >= 0x20 && c < 0x7F) ||
               (c >= 0xA0 && c != 0x2029 && c != 0xFEFF && c != 0xFFFC && (c < 0xFDD0 || c > 0xFDEF));
    }

    void appendText(QStringView s) {
        if (s.isEmpty())
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
                route(kept);
            return;
        }
        route(s);
    }

    // Text to where the current destination keeps it.
    void route(QStringView s) {
        switch (top().dest) {
        case Dest::Text:
            if (!top().chr.hidden && !top().chr.deleted)
                appendChecked(s);
            else
                fieldShows(); // a hidden result goes with the hidden text
            return;
        case Dest::Label:
            fieldShows(); // a label may be shown as text
            label_ += s;
            labelFormat_ = charFormat(top().chr);
            labelPending_ = true;
            return;
        case Dest::NumberBefore:
            top().para.pn.prefix += s;
            return;
        case Dest::NumberAfter:
            top().para.pn.suffix += s;
            return;
        default:
            return;
        }
    }

    void appendChecked(QStringView s) {
        fieldShows();
        if (!run_.isEmpty() && !(runState_ == top().chr))
            flushRun();
        if (run_.isEmpty()) {
            beginContent();
            runState_ = top().chr;
        }
        if (runState_.field >= 0)
            fields_[size_t(runState_.field)].hasResult = true;
        run_ += s;
    }

    // Content inside a field's group, its result or not, is shown: the field is not kept whole.
    void fieldShows() {
        for (int field = top().field; field >= 0; field = fields_[size_t(field)].outer)
            fields_[size_t(field)].hasResult = true;
    }

    // Before the first content of a paragraph: its label, where it is no list item, is text.
    void beginContent() {
        fieldShows();
        if (labelPending_) {
            labelPending_ = false;
            sink_.reach(top().para.depth);
            if (listOf(top().para).kind == ListPlace::Kind::None)
                sink_.text(label_, labelFormat_);
            label_.clear();
        }
        sink_.reach(top().para.depth);
    }

    void flushRun() {
        if (run_.isEmpty())
            return;
        sink_.text(run_, charFormat(runState_));
        run_.clear();
    }

    void endParagraphContent() {
        flushBytes();
        flushRun();
        if (labelPending_)
            beginContent();
    }

    void paragraph() {
        if (stack_.empty() || top().dest != Dest::Text)
            return;
        endParagraphContent();
        fieldShows();
        sink_.reach(top().para.depth);
        const ListPlace list = listOf(top().para);
        sink_.paragraph(blockFormat(top().para), list);
        if (list.kind == ListPlace::Kind::None || (list.key >> 60) != 2)
            ++numberingRun_;
    }

    void finish() {
        if (!stack_.empty()) {
            endParagraphContent();
            sink_.finish(blockFormat(top().para), listOf(top().para));
        } else {
            flushRun();
            sink_.finish(blockFormat(lastPara_), listOf(lastPara_));
        }
    }

    QColor color(int index) const {
        if (index < 0 || size_t(index) >= colors_.size())
            return QColor();
        return colors_[size_t(index)];
    }

    // The format of a run, made once for a run of the same state as the one before.
    QTextCharFormat charFormat(const CharState& s) {
        if (formatValid_ && s == formatState_ && formatFields_ == fields_.size() &&
            formatVersion_ == tablesVersion_)
            return format_;
        format_ = makeCharFormat(s);
        formatState_ = s;
        formatFields_ = fields_.size();
        formatVersion_ = tablesVersion_;
        formatValid_ = true;
        return format_;
    }

    QTextCharFormat makeCharFormat(const CharState& s) {
        QTextCharFormat f;
        // A symbol font's pictures are read as the characters Unicode has for them: they
        // are shown and written in the text's own font.
        if (auto it = fonts_.constFind(s.font); it != fonts_.constEnd() && !it->name.isEmpty() &&
                                                it->codePage != kSymbolCodePage &&
                                                it->codePage != kWingdingsCodePage)
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
        if (s.field >= 0 && size_t(s.field) < fields_.size()) {
            const Field& field = fields_[size_t(s.field)];
            f.setProperty(kFieldProperty, field.instruction);
            f.setProperty(kFieldSerial, s.field + 1);
            f.setProperty(kContextProperty, QVariant::fromValue(context()));
            if (!field.href.isEmpty()) {
                f.setAnchor(true);
                f.setAnchorHref(field.href);
            }
        }
        return f;
    }

    // The format of a paragraph, made once for a paragraph like the one before.
    QTextBlockFormat blockFormat(const ParaState& p) {
        if (!blockValid_ || !(p == blockState_)) {
            block_ = makeBlockFormat(p);
            blockState_ = p;
            blockValid_ = true;
        }
        return block_;
    }

    static QTextBlockFormat makeBlockFormat(const ParaState& p) {
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
    detail::DocumentSink sink_;
    qsizetype i_ = 0;
    qsizetype wordStart_ = 0;
    bool done_ = false;

    std::vector<Group> stack_;
    bool fresh_ = false; // no word or text yet in the group just opened
    int blanks_ = 0;     // blanks held back after the brace
    bool star_ = false;  // \* just read
    int fallback_ = 0;   // characters still to skip after \uN
    ParaState lastPara_;

    int docCodePage_ = 1252;
    int defaultFont_ = 0;
    bool sawFontWord_ = false;
    QHash<int, Font> fonts_;
    int fontEntry_ = 0;
    bool fontPending_ = false;
    size_t fontDepth_ = 0; // the depth of the group the font began in
    bool fontCharsetSet_ = false;
    int fontCodePage_ = 0;
    int fontCharset_ = 0;
    int fontCpg_ = 0;
    QString fontName_;
    QByteArray fontBytes_;

    std::vector<QColor> colors_;
    bool colorEntryPending_ = false;
    int colorRed_ = 0, colorGreen_ = 0, colorBlue_ = 0;
    std::shared_ptr<const Context> context_;
    int tablesVersion_ = 0;

    std::vector<ListDefinition> lists_;
    QHash<int, int> overrides_; // \ls to \listid
    int overrideList_ = 0;
    int numberingRun_ = 0; // counts the paragraphs that break a run of \pn items
    QString label_;
    QTextCharFormat labelFormat_;
    bool labelPending_ = false;

    std::vector<Field> fields_;
    int unclosed_ = 0; // groups the input left open in the group captured last

    RowDefinition definitions_[kMaxTableDepth + 1];
    int definitionDepth_ = 0;
    qsizetype definitionStart_ = 0;
    bool definitionRowDone_ = false;

    QByteArray pendingBytes_;
    int bytesCodePage_ = 1252;
    bool trailExpected_ = false;
    QString run_;
    CharState runState_;

    bool formatValid_ = false;
    CharState formatState_;
    size_t formatFields_ = 0;
    int formatVersion_ = 0;
    bool blockValid_ = false;
    ParaState blockState_;
    QTextBlockFormat block_;
    // The code page of the font last asked about.
    int codePageFont_ = -2;
    int codePageVersion_ = -1;
    int codePageDoc_ = 0;
    int codePage_ = 1252;
    QTextCharFormat format_;
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

namespace {

// Reading replaces the document's content: nothing of it is left to undo.
void readInto(QStringView text, bool bytes, QTextDocument& document) {
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    // One edit: the document neither lays out nor places a caret after each insertion.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    Reader(text, bytes, document).run();
    edit.endEditBlock();
    document.setUndoRedoEnabled(undo);
}

} // namespace

void read(const QByteArray& rtf, QTextDocument& document) {
    // Each byte as one character, so that the reader sees the bytes as they are.
    const QString text = QString::fromLatin1(rtf);
    readInto(text, true, document);
}

void read(QStringView rtf, QTextDocument& document) {
    readInto(rtf, false, document);
}

QString linkTarget(const QByteArray& instruction) {
    const qsizetype word = instruction.indexOf("fldinst");
    if (word < 0)
        return QString();
    return hyperlinkTarget(textOf(QString::fromLatin1(instruction.mid(word + 7)), 1, 1252, false).trimmed());
}

} // namespace qv::rtf
