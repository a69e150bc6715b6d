#include "app/EndRequests.h"

#include "app/Screens.h"

#include <QGuiApplication>
#include <QSemaphore>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

namespace {
// A signal handler may only write a byte; the event loop reads it and ends the program.
int wakeFds[2] = {-1, -1};
Screens* listening = nullptr;
const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int number) {
    const int saved = errno;
    const char byte = char(number);
    if (wakeFds[1] >= 0)
        (void)!::write(wakeFds[1], &byte, 1);
    errno = saved;
}

// Lost its display, Qt ends the process through exit() from the thread that reads the display's
// events, while the user-interface thread goes on. The orderly end runs on the user-interface
// thread, which then ends the process itself; should it not answer, exit() goes on as before.
void atExit() {
    if (listening == nullptr || listening->ended())
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        listening->endProgramAtExit();
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [] {
            if (listening != nullptr && !listening->ended())
                listening->endProgramAtExit();
            ::_exit(1);
        },
        Qt::QueuedConnection);
    QSemaphore never;
    never.tryAcquire(1, 10000);
}
} // namespace

EndRequests::EndRequests(Screens& screens) : screens_(screens) {
    if (wakeFds[0] < 0) {
        if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
            wakeFds[0] = wakeFds[1] = -1;
        } else {
            static bool atExitInstalled = false;
            if (!atExitInstalled)
                atExitInstalled = std::atexit(atExit) == 0;
        }
    }
    listening = &screens_;
    if (wakeFds[0] >= 0) {
        notifier_ = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
        QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { signalled(); });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int number : kSignals)
            ::sigaction(number, &action, nullptr);
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Logging out or shutting down: the session manager asks for the data to be saved.
        QObject::connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            if (!screens_.ending())
                screens_.endProgram();
        });
    }
}

EndRequests::~EndRequests() {
    for (int number : kSignals)
        ::signal(number, SIG_DFL);
    if (listening == &screens_)
        listening = nullptr;
    char drain[64];
    while (wakeFds[0] >= 0 && ::read(wakeFds[0], drain, sizeof drain) > 0) {
    }
}

void EndRequests::signalled() {
    char drain[64];
    while (::read(wakeFds[0], drain, sizeof drain) > 0) {
    }
    if (!screens_.ending())
        screens_.endProgram();
}

} // namespace qv
