#pragma once

#include <QString>

// What the store says of the archive's file, in Italian, the file named as the system shows it.
namespace qv::archive {

QString damagedMessage(const QString& path);
QString jetMessage(const QString& path);
QString readOnlyMessage(const QString& path);
QString folderReadOnlyMessage(const QString& folder);
// `why` is added in brackets; `code` is the engine's failure code, when there was one.
QString cannotCreateMessage(const QString& path, const QString& why, int code = 0);
QString cannotOpenMessage(const QString& path, const QString& why);
QString keysExhaustedMessage(qint64 highest);
QString readFailureMessage(const QString& path, const QString& why);

} // namespace qv::archive
