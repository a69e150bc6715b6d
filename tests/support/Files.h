#pragma once

#include <QByteArray>
#include <QString>

namespace qv::test {

// A file's whole content; "<missing>" when it cannot be read, so that a missing file never
// passes for an empty one.
QByteArray readFile(const QString& path);

// Makes `bytes` the file's whole content, making its folder first when there is none yet;
// false when that cannot be done.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes);

// Overwrites every byte from `from` on (by default all after the engine's file header, the
// first 100), as a failing disk might leave an archive; false when the file cannot be rewritten.
[[nodiscard]] bool damage(const QString& path, qsizetype from = 100);

// A file or folder kept beside the tests in the source tree, such as "rtf-samples".
QString testData(const QString& name);

} // namespace qv::test
