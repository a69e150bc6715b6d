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

    // Every record is examined once, in record-set order from the first one, until the first
    // one whose recall date lies before today. A recall date of today is not yet due: the walk
    // moves past it, as past a future one, so that later overdue patients are still found.
    // The recall dates are read from the record set's column as the card's box shows them;
    // the card's boxes are filled once, on the patient who is named.
    const int recallColumn = records.fieldNames().indexOf(QStringLiteral("Data richiamo"));
    const int idColumn = records.fieldNames().indexOf(QStringLiteral("ID"));
    if (recallColumn < 0 || idColumn < 0 || !records.hasCurrent())
        return walkThroughTheBoxes(screens, card, records, today);
    // Each distinct recall date is looked at once: the same dates recur from patient to patient.
    const ColumnValues recalls = records.readValues(recallColumn);
    std::vector<bool> due(recalls.values.size());
    for (size_t v = 0; v < due.size(); ++v) {
        const std::optional<qint64> overdue = daysOverdue(fieldText(recalls.values[v]), today);
        due[v] = overdue && *overdue > 0;
    }
    int first = -1;
    for (size_t position = 0; position < recalls.of.size(); ++position) {
        if (due[size_t(recalls.of[position])]) {
            first = int(position);
            break;
        }
    }
    if (first < 0) {
        // Nobody is due: the walk ends past the last record.
        records.MoveLast();
        records.MoveNext();
        return;
    }
    records.setBookmark(records.rowAt(first)[size_t(idColumn)]);
    screens.platform().msg.show(reminderText(card), MsgButtons::Ok, MsgIcon::None, QString());
}

} // namespace qv
