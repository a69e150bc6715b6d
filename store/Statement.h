#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// What a data control's record source names: a table or view, or a statement of the form
//   Select * From <table> Where <field> Like '<pattern>'
// (keywords in any case, any blanks; '' inside the pattern stands for one apostrophe).
struct RecordSource {
    QString table;                // table or view name as written
    std::optional<QString> field; // set for a statement
    QString pattern;              // the Like pattern, apostrophes unescaped
};

// Parses a record source text; anything else raises StoreError(err::SyntaxError).
RecordSource parseRecordSource(const QString& text);

// A FindFirst criteria:  <field> = '<text>'  with any blanks around '='.
struct Criteria {
    QString field;
    QString value;
};
Criteria parseCriteria(const QString& text);

// The engine's Like: '*' any run, '?' one character, '#' one digit, [abc], [!abc], [a-z];
// every other character stands for itself; case is ignored, accented letters included.
bool likeMatches(const QString& pattern, const QString& value);

// A Like pattern read once and matched against many values. Matching takes time in
// proportion to the value's length times the pattern's, however many '*' it holds.
class LikePattern {
public:
    explicit LikePattern(QStringView pattern);
    bool matches(QStringView value) const;
    // The value as UTF-8 bytes, as the engine hands it over.
    bool matches(const char* utf8, qsizetype size) const;

private:
    struct Token {
        enum class Kind { Char, AnyOne, Digit, Set, AnyRun } kind;
        char32_t ch = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges; // inclusive, case-folded
        bool accepts(char32_t folded) const;
    };
    template <class Value> bool matchesFolded(const Value& value) const;
    std::vector<Token> tokens_;
    // Every token a run or a plain ASCII character: an ASCII value is matched on its bytes.
    bool ascii_ = true;
};

// Equality of two texts ignoring case, accented letters included (È equals è, e does not).
bool sameText(QStringView a, QStringView b);

} // namespace qv
