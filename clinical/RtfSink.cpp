// The reader's document sink: blocks, lists, tables and object characters of a text document.
#include "clinical/RtfSink.h"

#include <QTextDocument>
#include <QTextTable>
#include <algorithm>

namespace qv::rtf::detail {

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr int kMaxColumns = 64; // more cells in a row are read into the last one

QTextTableFormat tableFormat() {
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(96, 96, 96));
    format.setBorderCollapse(true);
    format.setCellPadding(3);
    format.setCellSpacing(0);
    return format;
}

} // namespace

DocumentSink::DocumentSink(QTextDocument& document) : cursor_(&document) {}

void DocumentSink::flushObject() {
    if (!pendingObject_)
        return;
    auto [object, format] = std::move(*pendingObject_);
    pendingObject_.reset();
    // The object takes the place of text: in a cell, after a paragraph's end.
    if (!tables_.empty())
        enterCell();
    if (pendingBlock_) {
        cursor_.insertBlock();
        pendingBlock_ = false;
    }
    QTextCharFormat merged = format;
    merged.merge(objectFormat(object));
    cursor_.insertText(QString(QChar::ObjectReplacementCharacter), merged);
}

void DocumentSink::beforeContent() {
    flushObject();
    if (!tables_.empty())
        enterCell();
    if (pendingBlock_) {
        cursor_.insertBlock();
        pendingBlock_ = false;
    }
}

void DocumentSink::reach(int depth) {
    depth = std::max(depth, 0);
    if (depth == int(tables_.size()))
        return;
    flushObject();
    while (int(tables_.size()) > depth)
        closeTable();
    while (int(tables_.size()) < depth)
        openTable();
}

void DocumentSink::openTable() {
    if (!tables_.empty())
        enterCell();
    // A table goes after the paragraph just ended: it needs no block of its own before it.
    pendingBlock_ = false;
    Table table;
    table.table = cursor_.insertTable(1, 1, tableFormat());
    table.inCell = true;
    tables_.push_back(std::move(table));
}

void DocumentSink::enterCell() {
    Table& t = tables_.back();
    if (t.inCell)
        return;
    if (t.rowDone) {
        t.table->appendRows(1);
        ++t.row;
        t.column = 0;
        t.rowDone = false;
    }
    bool reused = false;
    if (t.column >= t.table->columns()) {
        if (t.table->columns() >= kMaxColumns) {
            t.column = t.table->columns() - 1;
            reused = true;
        } else {
            t.table->appendColumns(1);
        }
    }
    cursor_ = t.table->cellAt(t.row, t.column).lastCursorPosition();
    t.inCell = true;
    pendingBlock_ = reused;
}

void DocumentSink::closeTable() {
    Table t = std::move(tables_.back());
    tables_.pop_back();
    if (!t.rowDone)
        t.cells.push_back(t.column + (t.inCell ? 1 : 0));
    QTextTable* table = t.table;
    const int columns = table->columns();
    // Rows with fewer cells than the table: their last cell reaches the table's edge.
    for (int r = 0; r < int(t.cells.size()) && r < table->rows(); ++r) {
        const int n = std::clamp(t.cells[size_t(r)], 1, columns);
        if (n < columns)
            table->mergeCells(r, n - 1, 1, columns - n + 1);
    }
    // The columns' widths of the first row that has them all.
    for (const std::vector<int>& widths : t.widths) {
        if (int(widths.size()) != columns)
            continue;
        QList<QTextLength> lengths;
        for (const int w : widths)
            lengths.append(QTextLength(QTextLength::FixedLength, std::max(w, 15) / kTwipsPerPixel));
        QTextTableFormat format = table->format();
        format.setColumnWidthConstraints(lengths);
        table->setFormat(format);
        break;
    }
    cursor_ = table->lastCursorPosition();
    cursor_.movePosition(QTextCursor::NextBlock);
    pendingBlock_ = false;
}

void DocumentSink::text(const QString& text, const QTextCharFormat& format) {
    if (text.isEmpty())
        return;
    beforeContent();
    cursor_.insertText(text, format);
}

void DocumentSink::object(const Object& object, const QTextCharFormat& format, Role role) {
    if (pendingObject_ && pendingObject_->first.kind == Kept::Picture && object.kind == Kept::Picture &&
        ((pendingRole_ == Role::Shape && role == Role::NonShape) ||
         (pendingRole_ == Role::NonShape && role == Role::Shape))) {
        Object& joined = pendingObject_->first;
        joined.raw += object.raw;
        if (role == Role::Shape && object.picture != nullptr) {
            joined.picture = object.picture;
            joined.size = object.size;
        }
        pendingRole_ = Role::Plain;
        return;
    }
    flushObject();
    pendingObject_.emplace(object, format);
    pendingRole_ = role;
}

void DocumentSink::endBlock(const QTextBlockFormat& format, const ListPlace& list) {
    QTextBlockFormat block = format;
    if (list.kind != ListPlace::Kind::None) {
        // The list indents its items itself.
        block.setLeftMargin(0);
        block.setTextIndent(0);
    }
    cursor_.setBlockFormat(block);
    if (list.kind == ListPlace::Kind::None)
        return;
    QPointer<QTextList>& known = lists_[list.key];
    std::vector<QPointer<QTextList>>& same = numbered_[int(list.style) * 16 + list.level];
    if (known == nullptr && list.start > 1) {
        // An item numbered on from an earlier list of its kind (other paragraphs between).
        for (auto it = same.rbegin(); it != same.rend() && known == nullptr; ++it)
            if (*it != nullptr && (*it)->count() == list.start - 1)
                known = *it;
    }
    if (known != nullptr) {
        known->add(cursor_.block());
        return;
    }
    QTextListFormat listFormat;
    listFormat.setStyle(list.style);
    listFormat.setIndent(list.level + 1);
    if (list.kind == ListPlace::Kind::Numbered) {
        listFormat.setNumberPrefix(list.prefix);
        listFormat.setNumberSuffix(list.suffix.isEmpty() ? QStringLiteral(".") : list.suffix);
    }
    known = cursor_.createList(listFormat);
    if (same.size() < 64)
        same.push_back(known);
}

void DocumentSink::paragraph(const QTextBlockFormat& format, const ListPlace& list) {
    flushObject();
    if (!tables_.empty())
        enterCell();
    if (pendingBlock_)
        cursor_.insertBlock();
    endBlock(format, list);
    pendingBlock_ = true;
}

void DocumentSink::cell(int depth, const QTextBlockFormat& format, const ListPlace& list) {
    reach(std::max(depth, 1));
    flushObject();
    enterCell();
    if (pendingBlock_) {
        // The cell ends with the paragraph its \par began: an empty one.
        cursor_.insertBlock();
        pendingBlock_ = false;
    }
    endBlock(format, list);
    Table& t = tables_.back();
    ++t.column;
    t.inCell = false;
}

void DocumentSink::row(int depth, const RowDefinition& definition,
                       const std::shared_ptr<const Context>& context) {
    reach(std::max(depth, 1));
    flushObject();
    Table& t = tables_.back();
    if (t.rowDone)
        return; // a row without cells
    const int cells = std::min(t.column + (t.inCell ? 1 : 0), t.table->columns());
    t.cells.push_back(std::max(cells, 1));
    std::vector<int> widths;
    int left = definition.left;
    for (size_t k = 0; k < definition.cells.size() && int(k) < cells; ++k) {
        QTextTableCell cell = t.table->cellAt(t.row, int(k));
        QTextCharFormat format = cell.format();
        format.setProperty(kCellDefinition, definition.cells[k].raw);
        if (k == 0) {
            format.setProperty(kRowDefinition, definition.raw);
            if (context != nullptr)
                format.setProperty(kContextProperty, QVariant::fromValue(context));
        }
        cell.setFormat(format);
        widths.push_back(definition.cells[k].right - left);
        left = definition.cells[k].right;
    }
    t.widths.push_back(std::move(widths));
    t.rowDone = true;
    t.inCell = false;
    pendingBlock_ = false;
}

void DocumentSink::finish(const QTextBlockFormat& format, const ListPlace& list) {
    flushObject();
    if (!pendingBlock_ && (tables_.empty() || tables_.back().inCell))
        endBlock(format, list);
    while (!tables_.empty())
        closeTable();
}

} // namespace qv::rtf::detail
