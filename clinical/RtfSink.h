#pragma once

#include "clinical/RtfObjects.h"

#include <QHash>
#include <QPointer>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextList>
#include <QTextListFormat>
#include <optional>
#include <vector>

class QTextDocument;
class QTextTable;

// The reader's output: what it reads, as a text document. The reader tells the sink the
// runs of text, the objects, where paragraphs, cells and rows end and how deep in tables
// the next content lies; the sink builds blocks, lists and tables from that.
namespace qv::rtf::detail {

// A paragraph's place in a list.
struct ListPlace {
    enum class Kind { None, Bullet, Numbered };
    Kind kind = Kind::None;
    QTextListFormat::Style style = QTextListFormat::ListDisc;
    int level = 0;  // 0: the outermost
    qint64 key = 0; // paragraphs with the same key are items of one list
    QString prefix, suffix;
    int start = 0; // \pnstart: an item numbered so continues the list of its style before

    bool operator==(const ListPlace&) const = default;
};

// A table row as its \trowd ... \cellx words define it.
struct RowDefinition {
    struct Cell {
        QByteArray raw; // the cell's words up to and with its \cellx
        int right = 0;  // \cellx, twips
    };
    QByteArray raw; // the row's own words, from \trowd
    std::vector<Cell> cells;
    int left = 0; // \trleft
};

class DocumentSink {
public:
    explicit DocumentSink(QTextDocument& document);

    // How deep in tables the content that follows lies (0: not in a table).
    void reach(int depth);
    void text(const QString& text, const QTextCharFormat& format);
    // \shppict and \nonshppict side by side are one picture in two forms: they join into
    // one object, shown once, written back as both.
    enum class Role { Plain, Shape, NonShape };
    void object(const Object& object, const QTextCharFormat& format, Role role = Role::Plain);
    // The end of a paragraph (\par), of a cell (\cell, \nestcell), of a row.
    void paragraph(const QTextBlockFormat& format, const ListPlace& list);
    void cell(int depth, const QTextBlockFormat& format, const ListPlace& list);
    void row(int depth, const RowDefinition& definition, const std::shared_ptr<const Context>& context);
    // The end of the document: the last paragraph takes `format` unless a \par ended it.
    void finish(const QTextBlockFormat& format, const ListPlace& list);

private:
    struct Table {
        QTextTable* table = nullptr;
        int row = 0;
        int column = 0;                       // the cell that content goes to
        bool inCell = false;                  // the cursor is in that cell
        bool rowDone = false;                 // \row came: the next content starts a row
        std::vector<int> cells;               // cells of each finished row
        std::vector<std::vector<int>> widths; // twips, as each row defined them
    };

    void flushObject();
    void beforeContent();
    void enterCell();
    void openTable();
    void closeTable();
    void endBlock(const QTextBlockFormat& format, const ListPlace& list);

    QTextCursor cursor_;
    bool pendingBlock_ = false; // a \par came: the next content opens a block
    std::vector<Table> tables_;
    std::optional<std::pair<Object, QTextCharFormat>> pendingObject_;
    Role pendingRole_ = Role::Plain;
    QHash<qint64, QPointer<QTextList>> lists_;
    QHash<int, std::vector<QPointer<QTextList>>> numbered_; // by style and level, oldest first
};

} // namespace qv::rtf::detail
