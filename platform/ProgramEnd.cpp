#include "platform/ProgramEnd.h"

#include <QCoreApplication>

namespace qv {

void QtProgramEnd::end() {
    ended_ = true;
    // Leaves a running event loop; before the loop starts, main sees ended() and never starts it.
    QCoreApplication::exit(0);
}

} // namespace qv
