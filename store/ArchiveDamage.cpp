#include "store/ArchiveDamage.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace qv::archive {

namespace {

struct Registry {
    QSet<QString> damaged; // absolute paths
    std::function<void(const QString&)> listener;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

QString absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void markDamaged(const QString& path) {
    Registry& r = registry();
    const QString file = absolute(path);
    if (r.damaged.contains(file))
        return;
    r.damaged.insert(file);
    if (r.listener)
        r.listener(file);
}

bool foundDamaged(const QString& path) {
    const Registry& r = registry();
    return !r.damaged.isEmpty() && r.damaged.contains(absolute(path));
}

void clearDamaged(const QString& path) {
    registry().damaged.remove(absolute(path));
}

void onDamageFound(std::function<void(const QString& path)> listener) {
    registry().listener = std::move(listener);
}

} // namespace qv::archive
