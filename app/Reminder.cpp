#include "app/Reminder.h"

#include "app/Screens.h"
#include "card/frmScheda.h"
#include "platform/BoundWidgets.h"
#include "platform/Dates.h"

#include <QLineEdit>
#include <optional>

namespace qv {

namespace {

// Whole days from the recall date in `text` to today; nothing when the text is empty or is
// not a date (a text stored by another program is skipped, never reminded).
std::optional<qint64> daysOverdue(const QString& text, const QDate& today) {
    if (text.isEmpty())
        return std::nullopt;
    const std::optional<QDate> recall = dates::parse(text);
    if (!recall)
        return std::nullopt;
    return dates::dayDiff(*recall, today);
}

QString reminderText(const frmScheda& card) {
    const QString lineBreak = QStringLiteral("\r\n");
    return QStringLiteral("Devi aprire la scheda relativa a:   ") + lineBreak + card.txtFields(2)->text() +
           lineBreak + card.txtFields(1)->text() + lineBreak + card.txtFields(9)->text() + lineBreak +
           card.txtFields(14)->text();
}

// The walk through the card's boxes, record by record (a record set without the columns).
void walkThroughTheBoxes(Screens& screens, frmScheda& card, RecordSet& records, const QDate& today) {
    const qint64 count = records.RecordCount();
    for (qint64 pass = 1; pass <= count; ++pass) {
        const std::optional<qint64> overdue = daysOverdue(card.Text5->text(), today);
        if (overdue && *overdue > 0) {
            screens.platform().msg.show(reminderText(card), MsgButtons::Ok, MsgIcon::None, QString());
            break;
        }
        if (records.Eof())
            break;
        records.MoveNext();
    }
}

} // namespace

void RunRecallReminder(Screens& screens) {
    frmScheda& card = screens.scheda();
    RecordSet& records = card.Data1.Recordset();
    const QDate today = screens.platform().clock.today();

    // The first record, in record-set order, whose recall date lies before today is named. A
    // recall date of today is not yet due: the walk moves past it, as past a future one, so
    // that later overdue patients are still found. The recall dates are read from the record
    // set's column as the card's box shows them, each distinct date once (the same dates recur
    // from patient to patient): the store finds the first patient with a due date without
    // reading every patient. The card's boxes are filled once, on the patient who is named.
    const int recallColumn = records.fieldNames().indexOf(QStringLiteral("Data richiamo"));
    if (recallColumn < 0 || !records.hasCurrent())
        return walkThroughTheBoxes(screens, card, records, today);
    const QVariant first = records.firstBookmarkWhere(recallColumn, [&today](const QVariant& recall) {
        const std::optional<qint64> overdue = daysOverdue(fieldText(recall), today);
        return overdue && *overdue > 0;
    });
    if (first.isNull()) {
        // Nobody is due: the walk ends past the last record.
        records.MoveAfterLast();
        return;
    }
    records.setBookmark(first);
    screens.platform().msg.show(reminderText(card), MsgButtons::Ok, MsgIcon::None, QString());
}

} // namespace qv
