#pragma once

#include "app/ProgramLock.h"
#include "platform/Platform.h"

#include <memory>

class QApplication;

namespace qv {

class Database;

class Screens;

// What the program holds on to while it runs: the lock beside the database and the open
// database, shared with every data control.
struct Session {
    std::unique_ptr<ProgramLock> lock;
    std::shared_ptr<Database> database;
};

// Takes the program folder for this copy of the program and opens (or creates) the database.
// On failure shows a clear message and returns false; nothing is changed on disk but the lock.
bool openSession(Platform& platform, Session& session);

// Loads the start screen (its load handler runs the recall reminder) and shows it.
// A failure nobody answers is shown and ends the program in order.
void startProgram(Screens& screens);
// The same for the session's program: when the engine finds the archive damaged while the
// program works, the session lets it go, the newest sound backup is offered in its place, and
// the program starts again on it.
void startProgram(Screens& screens, Session& session);

// The whole program: Qt's platform implementations and the folder of the executable.
int runProgram(QApplication& app);

} // namespace qv
