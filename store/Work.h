#pragma once

#include <QString>

// Work that may keep the user waiting, told to whoever shows it (the busy cursor, a progress
// window). The store knows nothing of windows: it only says that it is working, and how far a
// long piece of work has come.
namespace qv::work {

class Observer {
public:
    virtual ~Observer() = default;
    // Work goes on: called often while the engine steps through rows, and from the program's
    // own long loops.
    virtual void working() = 0;
    // A piece of work of known size that may take long (the archive made ready for the search
    // at its opening): what it is, then how much of it is done (0 to 1), then its end.
    virtual void taskBegins(const QString& what) = 0;
    virtual void taskProgress(double done) = 0;
    virtual void taskEnds() = 0;
};

// Who is told from now on (nobody: nullptr); returns who was told before.
Observer* observe(Observer* observer);

// Tells the observer, if any, that work goes on.
void working();

// A long piece of work, from its construction to its destruction.
class Task {
public:
    explicit Task(const QString& what);
    ~Task();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    void progress(double done);
};

} // namespace qv::work
