#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace qv {

// Bringing the old program's archive across: its Access (Jet) file with the tables Pazienti
// and Agenda becomes an archive of this program, every value kept.

// The text the old program showed for a Date/Time value (days since 30/12/1899): the date in the
// card's short form, followed by the time of day when there is one ("04/11/2003 16:30:00"), or
// the time alone when there is no date part ("10:30:00").
QString jetDateText(double days);

struct ImportSummary {
    qint64 patients = 0;
    qint64 weekdayRows = 0;    // rows of Agenda brought across
    QStringList addedWeekdays; // weekdays that had no row and got one with empty times
    QStringList keptColumns;   // columns this program does not know, kept with their values
    qint64 highestId = 0;      // the next new patient continues after it
};

// Called as patients are written: how many are done out of how many.
using ImportProgress = std::function<void(qint64 done, qint64 total)>;

// Reads the Jet file at `jetPath` (never written) and makes a new archive of this program at
// `target`, which must not exist: the program's own schema (the saved query and the indexes
// included) with every row of Pazienti and Agenda. The new file is then checked against a
// second reading of the Jet file, value by value, and flushed to the disk.
//
// A file that cannot be brought across raises StoreError with a message in Italian that names
// the file: err::NotADatabase (no Pazienti, or no ID: another program's file),
// err::PasswordProtected, err::CannotOpen (damaged or unreadable), err::DuplicateKey (two
// patients with one ID). Nothing is then left at `target`.
ImportSummary importJetArchive(const QString& jetPath, const QString& target,
                               const ImportProgress& progress = {});

} // namespace qv
