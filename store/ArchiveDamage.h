#pragma once

#include <QString>
#include <functional>

// Damage the engine reports in a database file while the program works on it (a bad sector, a
// copy cut short): from then on the store writes nothing more to that file, and the program is
// told so that it can offer a backup in its place. On the program's thread only.
namespace qv::archive {

// The engine found the file at `path` damaged. The listener hears of it the first time.
void markDamaged(const QString& path);
bool foundDamaged(const QString& path);
// The file was replaced (a backup put back in its place): it is written again.
void clearDamaged(const QString& path);

// Who hears of damage found: the program's answer to it. One at a time; nullptr for none.
void onDamageFound(std::function<void(const QString& path)> listener);

} // namespace qv::archive
