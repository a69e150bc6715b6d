#pragma once

#include "store/BoundControl.h"

#include <QMetaObject>
#include <QPointer>
#include <QTextEdit>

class QMimeData;

namespace qv {

// The notes' editor: formatted text, with the keys users expect of it. Ctrl+B, Ctrl+I and
// Ctrl+U switch bold, italic and underline on and off. Pictures are shown at their size;
// pasted text keeps its formatting, tables, lists, links and pictures (RTF from a word
// processor, HTML from a browser, a picture alone); what is copied carries RTF for word
// processors too. Resting the pointer on a picture, a kept part or a link names it.
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget* parent = nullptr);

    void toggleBold();
    void toggleItalic();
    void toggleUnderline();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    // The format the selection starts with, or the one typing would use.
    QTextCharFormat formatHere() const;
};

// A rich text box bound to a field that holds RTF. A field that holds no RTF (plain text put
// there by another program) shows as plain text; an empty field as an empty editor. Loading
// a record leaves nothing to undo.
class BoundRichTextBox : public BoundControl {
public:
    BoundRichTextBox(QTextEdit* box, const QString& field);
    ~BoundRichTextBox() override;
    BoundRichTextBox(const BoundRichTextBox&) = delete;
    BoundRichTextBox& operator=(const BoundRichTextBox&) = delete;

    QString DataField() const override { return field_; }
    // The text as RTF; null when the editor is empty.
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return changed_; }
    void setDataChanged(bool changed) override { changed_ = changed; }

private:
    QPointer<QTextEdit> box_;
    QString field_;
    bool changed_ = false;
    bool filling_ = false;
    QMetaObject::Connection watch_;
    // The RTF the editor shows as it was loaded or last written, and the editor's revision
    // then: landing again on what it already shows (after "&Scheda") reads nothing again.
    quint64 revision_ = 0;
    mutable QString shown_;
    mutable quint64 shownRevision_ = ~quint64(0);
};

} // namespace qv
