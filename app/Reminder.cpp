#include "app/Reminder.h"

#include "app/Screens.h"
#include "card/frmScheda.h"
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

} // namespace

void RunRecallReminder(Screens& screens) {
    frmScheda& card = screens.scheda();
    RecordSet& records = card.Data1.Recordset();
    const QDate today = screens.platform().clock.today();

    // Every record is examined once, moving forward only, until the first one whose recall
    // date lies before today. A recall date of today is not yet due: the walk moves past it,
    // as past a future one, so that later overdue patients are still found.
    const qint64 count = records.RecordCount();
    for (qint64 pass = 1; pass <= count; ++pass) {
        const std::optional<qint64> overdue = daysOverdue(card.Text5->text(), today);
        if (overdue && *overdue > 0) {
            screens.platform().msg.show(reminderText(card), MsgButtons::Ok, MsgIcon::None, QString());
            // The walk ends with the reminded patient; the start screen's activation
            // re-queries the card afterwards.
            break;
        }
        if (records.Eof())
            break;
        records.MoveNext();
    }
}

} // namespace qv
