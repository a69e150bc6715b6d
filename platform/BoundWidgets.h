#pragma once

#include "store/BoundControl.h"
#include "store/FieldText.h"

#include <QClipboard>
#include <QMetaObject>
#include <QPointer>
#include <QValidator>

class QLineEdit;
class QLabel;
class QMenu;

namespace qv {

// What a one-line text box accepts, on top of its maximum length: a character made of two
// UTF-16 units is never split (Qt cuts a typed or pasted text at the limit in units), a paste
// or a drop is cut at whole characters so that what fits of it arrives, and line breaks and
// tabs become blanks (a one-line field must stay one line in lists and day files). It is the
// box's validator and watches the box's pastes and drops; the box owns it.
class TextBoxInput : public QValidator {
public:
    explicit TextBoxInput(QLineEdit* box);

    State validate(QString& input, int& pos) const override;

    // Pastes from the clipboard (or the X11 selection) as the box's own paste does, cut to fit.
    void paste(QClipboard::Mode mode = QClipboard::Clipboard);
    // The box's standard context menu, its "Paste" going through paste(). The caller owns it.
    QMenu* contextMenu();

    // The text as a one-line box keeps it, cut to `room` units at a character boundary.
    static QString fitted(const QString& text, qsizetype room);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Inserts over the selection as one undo step of its own.
    void insertFitted(const QString& text);
    qsizetype room() const;

    QLineEdit* box_;
    bool forwarding_ = false;
};

// A text box bound to a field: the user's typing and the program's assignments set its
// data-changed flag; fills from the record do not.
class BoundLineEdit : public BoundControl {
public:
    // A typing limit above 0 holds for what the user types and pastes: a longer text already
    // stored (by another program) is shown whole and may be edited within its own length; it
    // is never cut on display or at the next edit. Without a limit the box takes any length.
    BoundLineEdit(QLineEdit* box, const QString& field, int typingLimit = 0);
    ~BoundLineEdit() override;
    BoundLineEdit(const BoundLineEdit&) = delete;
    BoundLineEdit& operator=(const BoundLineEdit&) = delete;
    QString DataField() const override { return field_; }
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return changed_; }
    void setDataChanged(bool changed) override { changed_ = changed; }

private:
    void allowUpTo(qsizetype length);

    QPointer<QLineEdit> box_;
    QString field_;
    int typingLimit_ = 0;
    bool changed_ = false;
    bool filling_ = false;
    QMetaObject::Connection watch_;
};

// A label bound to a field: shows it as plain text, never changes it.
class BoundLabel : public BoundControl {
public:
    BoundLabel(QLabel* label, const QString& field);
    QString DataField() const override { return field_; }
    QVariant storeValue() const override;
    void fill(const QVariant& value) override;
    bool DataChanged() const override { return false; }
    void setDataChanged(bool) override {}

private:
    QPointer<QLabel> label_;
    QString field_;
};

} // namespace qv
