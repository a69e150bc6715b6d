#include "search/frmElenco.h"

namespace qv {

frmElenco::frmElenco(Screens& screens) : Screen(screens, QStringLiteral("frmElenco")) {
    setWindowTitle(QStringLiteral("Elenco"));
    Data1.setRecordSource(QStringLiteral("Pazienti Query"));
    Data1.setRecordsetType(RecordSet::Type::Dynaset);
}

void frmElenco::Form_Load() {
    Data1.setDatabaseName(platform().path(QStringLiteral("quorvane.mdb")));
}

} // namespace qv
