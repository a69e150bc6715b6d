#include "platform/ProgramFolder.h"

namespace qv::programfolder {

namespace {
QString inFolder(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}
} // namespace

QString archiveName() {
    return QStringLiteral("quorvane.mdb");
}

QString lockName() {
    return archiveName() + QStringLiteral(".lock");
}

QString dayFolderName() {
    return QStringLiteral("Agd");
}

QString backupFolderName() {
    return QStringLiteral("Backup");
}

QString archivePath(const QString& folder) {
    return inFolder(folder, archiveName());
}

QString lockPath(const QString& folder) {
    return inFolder(folder, lockName());
}

QString dayFolder(const QString& folder) {
    return inFolder(folder, dayFolderName());
}

QString backupFolder(const QString& folder) {
    return inFolder(folder, backupFolderName());
}

} // namespace qv::programfolder
