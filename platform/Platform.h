#pragma once

#include "platform/Busy.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/ProgramEnd.h"
#include "platform/ProgramFolder.h"
#include "platform/Progress.h"

#include <QString>

namespace qv {

// Everything a handler needs from outside the program. The program builds it from the
// Qt implementations; tests from doubles and a temporary program folder.
struct Platform {
    MessageBox& msg;
    Clock& clock;
    ProgramEnd& end;
    Printer& printer;
    Progress& progress;
    BusyCursor& busy;
    QString folder; // the program folder, without a trailing separator

    // The program folder joined with one name.
    QString path(const QString& name) const { return folder + QLatin1Char('/') + name; }

    // The program folder's own files and folders.
    QString archivePath() const { return programfolder::archivePath(folder); }
    QString lockPath() const { return programfolder::lockPath(folder); }
    QString dayFolder() const { return programfolder::dayFolder(folder); }
    QString backupFolder() const { return programfolder::backupFolder(folder); }
};

} // namespace qv
