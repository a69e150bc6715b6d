#pragma once

#include <QString>

// The names of the program folder's own files and folders, given here only.
namespace qv::programfolder {

QString archiveName();      // the patients' archive, "quorvane.mdb"
QString lockName();         // the lock beside it, "quorvane.mdb.lock"
QString dayFolderName();    // the agenda's day files, "Agd"
QString backupFolderName(); // the daily backups, "Backup"

// The same within the program folder `folder` (given without a trailing separator).
QString archivePath(const QString& folder);
QString lockPath(const QString& folder);
QString dayFolder(const QString& folder);
QString backupFolder(const QString& folder);

} // namespace qv::programfolder
