#pragma once

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/ProgramEnd.h"

#include <QString>

namespace qv {

// Everything a handler needs from outside the program. The program builds it from the
// Qt implementations; tests from doubles and a temporary program folder.
struct Platform {
    MessageBox& msg;
    Clock& clock;
    ProgramEnd& end;
    Printer& printer;
    QString folder; // the program folder, without a trailing separator

    // The program folder joined with one name ("quorvane.mdb", "Agd").
    QString path(const QString& name) const { return folder + QLatin1Char('/') + name; }
};

} // namespace qv
