#include "clinical/frmCartellaClinica.h"

namespace qv {

frmCartellaClinica::frmCartellaClinica(Screens& screens)
    : Screen(screens, QStringLiteral("frmCartellaClinica")) {
    setWindowTitle(QStringLiteral("Note"));
    Data1.setRecordSource(QStringLiteral("Pazienti"));
    Data1.setRecordsetType(RecordSet::Type::Table);
}

void frmCartellaClinica::Form_Load() {
    Data1.setDatabaseName(platform().path(QStringLiteral("quorvane.mdb")));
}

} // namespace qv
