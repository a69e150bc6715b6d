#include "search/OpenCard.h"

#include "app/Screens.h"
#include "card/frmScheda.h"

namespace qv {

const QString kPatientGone =
    QStringLiteral("Il paziente scelto non è più in archivio: la sua scheda è stata cancellata.");

bool seekCardOn(Screens& screens, const QVariant& key) {
    RecordSet& records = screens.scheda().Data1.Recordset();
    records.setIndex(QStringLiteral("PrimaryKey"));
    records.Seek(QStringLiteral("="), key);
    if (!records.NoMatch())
        return true;
    screens.platform().msg.show(kPatientGone, MsgButtons::Ok, MsgIcon::Exclamation, QString());
    return false;
}

} // namespace qv
