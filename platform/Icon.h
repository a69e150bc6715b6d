#pragma once

#include <QIcon>

namespace qv {

// The program's icon, drawn by the program itself: a white tooth on a blue tile.
QIcon programIcon();
QPixmap programPixmap(int size);

} // namespace qv
