#include "agenda/FormAgend.h"

namespace qv {

FormAgend::FormAgend(Screens& screens) : Screen(screens, QStringLiteral("FormAgend")) {
    setWindowTitle(QStringLiteral("Agenda"));
    Data1.setRecordSource(QStringLiteral("Agenda"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
}

void FormAgend::Form_Load() {
    Data1.setDatabaseName(platform().path(QStringLiteral("quorvane.mdb")));
}

} // namespace qv
