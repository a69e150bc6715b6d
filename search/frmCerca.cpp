#include "search/frmCerca.h"

namespace qv {

frmCerca::frmCerca(Screens& screens) : Screen(screens, QStringLiteral("frmCerca")) {
    setWindowTitle(QStringLiteral("Cerca "));
    Data1.setRecordSource(QStringLiteral("Pazienti"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
}

void frmCerca::Form_Load() {
    Data1.setDatabaseName(platform().path(QStringLiteral("quorvane.mdb")));
}

} // namespace qv
