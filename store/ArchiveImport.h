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

// Called as patients are written (Copying), then as the new archive is checked against a second
// reading of the old file (Checking): how many patients are done out of how many.
enum class ImportStage { Copying, Checking };
using ImportProgress = std::function<void(ImportStage stage, qint64 done, qint64 total)>;

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

// The name beside the archive under which the old program's file is kept: "quorvane.mdb" is kept
// as "quorvane-originale-Access.mdb" (a number is added when that name is taken by another file).
QString keptOriginalName(const QString& database);

struct InPlaceSummary {
    ImportSummary import;
    QString kept; // the path of the kept Jet file
};

// Brings the Jet file at `database` across in its place. The new archive is made under a
// temporary name beside it (importJetArchive), the Jet file is kept under keptOriginalName (a
// second name for the same file, or a finished copy where the file system has no such names),
// and only then is the new archive renamed over `database`, the folder flushed after each step.
// A kill at any moment leaves at `database` either the untouched Jet file or the finished new
// archive; the Jet file is never changed, deleted or overwritten, and running this again after
// a kill finishes the work. Raises StoreError as importJetArchive does.
InPlaceSummary convertInPlace(const QString& database, const ImportProgress& progress = {});

} // namespace qv
