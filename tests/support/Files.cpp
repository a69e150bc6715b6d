#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qv::test {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
           file.flush();
}

bool damage(const QString& path, qsizetype from) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    file.close();
    for (qsizetype i = from; i < bytes.size(); ++i)
        bytes[i] = char(0xA5);
    return writeFile(path, bytes);
}

QString testData(const QString& name) {
    // The build names the folder: the compiler's idea of this file's path may be relative.
    return QStringLiteral(QUORVANE_TESTS_DIR "/") + name;
}

} // namespace qv::test
