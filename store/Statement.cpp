#include "store/Statement.h"

#include "store/StoreError.h"

#include <QChar>
#include <algorithm>

namespace qv {

namespace {

// ---------------------------------------------------------------------------------------
// Reading statement and criteria texts

[[noreturn]] void syntaxError(const QString& expression) {
    throw StoreError(err::SyntaxError,
                     QStringLiteral("Errore di sintassi (operatore mancante) nell'espressione della query "
                                    "'%1'.")
                         .arg(expression));
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c.isMark() || c.isSurrogate();
}

// Words that begin a statement of the engine's language rather than a table name.
bool isStatementWord(const QString& word) {
    static const char* const words[] = {"select", "delete", "insert", "update",   "drop",      "create",
                                        "alter",  "pragma", "with",   "attach",   "detach",    "replace",
                                        "vacuum", "begin",  "commit", "rollback", "transform", "parameters"};
    for (const char* w : words)
        if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

class Cursor {
public:
    explicit Cursor(const QString& text) : s_(text) {}

    void skipBlanks() {
        while (i_ < s_.size() && isBlank(s_[i_]))
            ++i_;
    }
    bool atEnd() const { return i_ >= s_.size(); }
    qsizetype position() const { return i_; }

    // A keyword in any case, not followed by a letter of a longer word.
    bool keyword(QLatin1String word) {
        skipBlanks();
        if (s_.size() - i_ < word.size())
            return false;
        if (QStringView(s_).mid(i_, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype end = i_ + word.size();
        if (end < s_.size() && isWordChar(s_[end]))
            return false;
        i_ = end;
        return true;
    }

    bool symbol(QChar c) {
        skipBlanks();
        if (atEnd() || s_[i_] != c)
            return false;
        ++i_;
        return true;
    }

    // A bare word (letters, accented ones included, digits, '_'), or a name in [brackets]
    // or "double quotes" that may hold blanks.
    std::optional<QString> name() {
        skipBlanks();
        if (atEnd())
            return std::nullopt;
        const QChar first = s_[i_];
        if (first == u'[') {
            const qsizetype close = s_.indexOf(u']', i_ + 1);
            if (close < 0 || close == i_ + 1)
                return std::nullopt;
            QString inner = s_.mid(i_ + 1, close - i_ - 1);
            if (inner.contains(u'['))
                return std::nullopt;
            i_ = close + 1;
            return inner;
        }
        if (first == u'"') {
            QString inner;
            qsizetype j = i_ + 1;
            while (j < s_.size()) {
                if (s_[j] == u'"') {
                    if (j + 1 < s_.size() && s_[j + 1] == u'"') {
                        inner += u'"';
                        j += 2;
                        continue;
                    }
                    break;
                }
                inner += s_[j++];
            }
            if (j >= s_.size() || inner.isEmpty())
                return std::nullopt;
            i_ = j + 1;
            return inner;
        }
        const qsizetype start = i_;
        while (i_ < s_.size() && isWordChar(s_[i_]))
            ++i_;
        if (i_ == start)
            return std::nullopt;
        return s_.mid(start, i_ - start);
    }

    // A text in single quotes, '' standing for one apostrophe.
    std::optional<QString> quotedText() {
        skipBlanks();
        if (atEnd() || s_[i_] != u'\'')
            return std::nullopt;
        QString out;
        qsizetype j = i_ + 1;
        while (j < s_.size()) {
            if (s_[j] == u'\'') {
                if (j + 1 < s_.size() && s_[j + 1] == u'\'') {
                    out += u'\'';
                    j += 2;
                    continue;
                }
                i_ = j + 1;
                return out;
            }
            out += s_[j++];
        }
        return std::nullopt;
    }

    // The rest may hold blanks and one final ';'.
    bool finished() {
        skipBlanks();
        if (!atEnd() && s_[i_] == u';') {
            ++i_;
            skipBlanks();
        }
        return atEnd();
    }

private:
    const QString& s_;
    qsizetype i_ = 0;
};

RecordSource parseStatement(const QString& text) {
    Cursor c(text);
    RecordSource out;
    if (!c.keyword(QLatin1String("select")) || !c.symbol(u'*') || !c.keyword(QLatin1String("from")))
        syntaxError(text.trimmed());
    auto table = c.name();
    if (!table || !c.keyword(QLatin1String("where")))
        syntaxError(text.trimmed());
    out.table = *table;
    c.skipBlanks();
    const QString condition = text.mid(c.position()).trimmed();
    auto field = c.name();
    if (!field || !c.keyword(QLatin1String("like")))
        syntaxError(condition);
    auto pattern = c.quotedText();
    if (!pattern || !c.finished())
        syntaxError(condition);
    out.field = *field;
    out.pattern = *pattern;
    return out;
}

// ---------------------------------------------------------------------------------------
// Case folding by code point (simple folding: one code point gives one code point)

char32_t fold(char32_t c) {
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

std::u32string foldedOf(QStringView s) {
    std::u32string out;
    out.reserve(size_t(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            c = QChar::surrogateToUcs4(char16_t(c), s[i + 1].unicode());
            ++i;
        }
        out.push_back(fold(c));
    }
    return out;
}

// Decodes UTF-8 as the engine stores it; a malformed byte stands for U+FFFD.
void foldUtf8(const char* data, qsizetype size, std::u32string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            out.push_back(fold(b));
            ++p;
            continue;
        }
        int extra = 0;
        char32_t c = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        } else {
            out.push_back(0xFFFD);
            ++p;
            continue;
        }
        if (end - p <= extra) {
            out.push_back(0xFFFD);
            break;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (p[k] & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++p;
            continue;
        }
        out.push_back(fold(c));
        p += extra + 1;
    }
}

} // namespace

RecordSource parseRecordSource(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        syntaxError(t);
    const qsizetype wordEnd = [&] {
        qsizetype i = 0;
        while (i < t.size() && isWordChar(t[i]))
            ++i;
        return i;
    }();
    if (isStatementWord(t.left(wordEnd)) && (wordEnd == t.size() || !isWordChar(t[wordEnd])))
        return parseStatement(t);

    // A table or view name: bare (blanks allowed, as in Pazienti Query), or bracketed/quoted.
    Cursor c(t);
    if (t.startsWith(u'[') || t.startsWith(u'"')) {
        auto name = c.name();
        if (!name || !c.finished())
            syntaxError(t);
        return RecordSource{*name, std::nullopt, QString()};
    }
    for (QChar ch : t)
        if (!isWordChar(ch) && ch != u' ')
            syntaxError(t);
    return RecordSource{t, std::nullopt, QString()};
}

Criteria parseCriteria(const QString& text) {
    Cursor c(text);
    auto field = c.name();
    if (!field || !c.symbol(u'='))
        syntaxError(text.trimmed());
    auto value = c.quotedText();
    if (!value || !c.finished())
        syntaxError(text.trimmed());
    return Criteria{*field, *value};
}

// ---------------------------------------------------------------------------------------
// Like

bool LikePattern::Token::accepts(char32_t c) const {
    switch (kind) {
    case Kind::Char:
        return c == ch;
    case Kind::AnyOne:
        return true;
    case Kind::Digit:
        return c >= U'0' && c <= U'9';
    case Kind::Set: {
        const bool listed = std::any_of(ranges.begin(), ranges.end(),
                                        [c](const auto& r) { return c >= r.first && c <= r.second; });
        return listed != negated;
    }
    case Kind::AnyRun:
        return false;
    }
    return false;
}

LikePattern::LikePattern(QStringView pattern) {
    const std::u32string p = foldedOf(pattern);
    size_t i = 0;
    while (i < p.size()) {
        const char32_t c = p[i];
        Token t{Token::Kind::Char, c, false, {}};
        if (c == U'*') {
            // A run of '*' is one '*'.
            if (tokens_.empty() || tokens_.back().kind != Token::Kind::AnyRun)
                tokens_.push_back(Token{Token::Kind::AnyRun, 0, false, {}});
            ++i;
            continue;
        }
        if (c == U'?') {
            t.kind = Token::Kind::AnyOne;
        } else if (c == U'#') {
            t.kind = Token::Kind::Digit;
        } else if (c == U'[') {
            const size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos) {
                // An unclosed bracket stands for itself.
                tokens_.push_back(t);
                ++i;
                continue;
            }
            size_t j = i + 1;
            if (close == j) {
                // "[]" matches the empty text: nothing to add.
                i = close + 1;
                continue;
            }
            t.kind = Token::Kind::Set;
            if (p[j] == U'!') {
                t.negated = true;
                ++j;
            }
            while (j < close) {
                char32_t lo = p[j];
                char32_t hi = lo;
                if (j + 2 < close && p[j + 1] == U'-') {
                    hi = p[j + 2];
                    j += 3;
                } else {
                    ++j;
                }
                if (hi < lo)
                    std::swap(lo, hi);
                t.ranges.emplace_back(lo, hi);
            }
            i = close + 1;
            tokens_.push_back(std::move(t));
            continue;
        }
        tokens_.push_back(std::move(t));
        ++i;
    }
    ascii_ = std::all_of(tokens_.begin(), tokens_.end(), [](const Token& token) {
        return token.kind == Token::Kind::AnyRun || (token.kind == Token::Kind::Char && token.ch < 0x80);
    });
}

template <class Value> bool LikePattern::matchesFolded(const Value& v) const {
    // Greedy matching with one back-track point at the latest '*': every other token
    // takes exactly one character, so this finds a match whenever there is one.
    const size_t m = tokens_.size();
    const size_t n = v.size();
    size_t p = 0;
    size_t s = 0;
    size_t starToken = std::u32string::npos;
    size_t starValue = 0;
    while (s < n) {
        if (p < m && tokens_[p].kind == Token::Kind::AnyRun) {
            starToken = ++p;
            starValue = s;
            continue;
        }
        if (p < m && tokens_[p].accepts(v[s])) {
            ++p;
            ++s;
            continue;
        }
        if (starToken != std::u32string::npos) {
            p = starToken;
            s = ++starValue;
            continue;
        }
        return false;
    }
    while (p < m && tokens_[p].kind == Token::Kind::AnyRun)
        ++p;
    return p == m;
}

namespace {
// An ASCII text folded as it is read, for matching without decoding it first.
struct FoldedAscii {
    const unsigned char* bytes;
    size_t length;
    size_t size() const { return length; }
    char32_t operator[](size_t i) const { return fold(bytes[i]); }
};
} // namespace

bool LikePattern::matches(QStringView value) const {
    return matchesFolded(foldedOf(value));
}

bool LikePattern::matches(const char* utf8, qsizetype size) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
    if (ascii_ && std::all_of(bytes, bytes + size, [](unsigned char b) { return b < 0x80; }))
        return matchesFolded(FoldedAscii{bytes, size_t(size)});
    thread_local std::u32string buffer;
    foldUtf8(utf8, size, buffer);
    return matchesFolded(buffer);
}

bool likeMatches(const QString& pattern, const QString& value) {
    return LikePattern(pattern).matches(QStringView(value));
}

bool sameText(QStringView a, QStringView b) {
    return foldedOf(a) == foldedOf(b);
}

} // namespace qv
