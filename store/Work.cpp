#include "store/Work.h"

namespace qv::work {

namespace {
Observer* told = nullptr;
} // namespace

Observer* observe(Observer* observer) {
    Observer* before = told;
    told = observer;
    return before;
}

void working() {
    if (told)
        told->working();
}

Task::Task(const QString& what) {
    if (told)
        told->taskBegins(what);
}

Task::~Task() {
    if (told)
        told->taskEnds();
}

void Task::progress(double done) {
    if (told)
        told->taskProgress(done);
}

} // namespace qv::work
