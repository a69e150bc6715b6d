#pragma once

#include "platform/Platform.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace qv {

class Screen;
class frmInizio;
class frmScheda;
class frmCerca;
class frmElenco;
class frmCartellaClinica;
class FormAgend;
class EndRequests;

// The screens' registry. Each screen exists at most once: it is created (hidden, its load
// handler run) the first time it is touched, shown and hidden by the others, and unloaded
// when the program ends or, for the closable ones, when its window is closed.
class Screens {
public:
    explicit Screens(Platform& platform);
    ~Screens();
    Screens(const Screens&) = delete;
    Screens& operator=(const Screens&) = delete;

    Platform& platform() const { return platform_; }

    // Touching a screen loads it hidden if it is not loaded.
    frmInizio& inizio();
    frmScheda& scheda();
    frmCerca& cerca();
    frmElenco& elenco();
    frmCartellaClinica& cartellaClinica();
    FormAgend& agend();

    bool isLoaded(const QString& name) const;
    // Names of the loaded screens, in load order.
    QStringList loadOrder() const;
    Screen* loaded(const QString& name) const;

    // Shows a screen (modeless) and makes it the program's active screen: its activation
    // handler runs when it was not already the active one.
    void show(Screen& screen);
    void hide(Screen& screen);
    // The program's active screen changed by the user (a click on another visible window).
    void activated(Screen& screen);

    // Unloads one screen (its data controls write and close) and forgets it.
    void unload(Screen& screen);

    // Loads the start screen (its load handler runs the recall reminder) and shows it, as at
    // the program's start. A failure nobody answers is shown and ends the program in order.
    void start();

    // What puts a backup in place of the archive when the engine finds the archive damaged
    // while the program works: given the failure's description, it offers the newest sound
    // backup and returns true when it was put back and opened. Without one, the offer is made
    // directly (nothing else then holds the archive open).
    void whenArchiveDamaged(std::function<bool(const QString& failure)> restore) {
        restore_ = std::move(restore);
    }

    // Unloads every loaded screen, one after the other in load order, and ends the program.
    void endProgram();
    // The same after a failure has been shown: pending edits are still written where the
    // store accepts them, but a write whose refusal was already shown is not reported again.
    void endProgramAfterFailure();
    // The same while the process is exiting (the display was lost): the data controls write
    // what is pending, no box is shown and no widget is touched.
    void endProgramAtExit();
    bool ending() const { return ending_; }
    // Work to stop when the program ends (a backup still running), run before the screens go.
    void atEnd(std::function<void()> work) { atEnd_.push_back(std::move(work)); }
    // The program's exit status: 1 when it ended because of a failure, 0 otherwise.
    int exitStatus() const { return afterFailure_ ? 1 : 0; }
    bool ended() const { return ended_; }
    // Names of the screens unloaded by the end of the program (or before a backup is put in
    // place of a damaged archive), in the order they were unloaded.
    const QStringList& unloadedAtEnd() const { return unloaded_; }

    // From now on SIGTERM, SIGHUP, SIGINT, the session manager's request to save and the loss
    // of the display end the program in order, as endProgram does.
    void endOnSystemRequests();

    // Runs work that no handler of the program answers for: a failure that escapes it is
    // shown and ends the program in order. Nothing runs once the program is ending. When the
    // engine found the archive damaged on the way (whatever the handlers made of it), every
    // screen is closed in order once the outermost handler is done, the newest sound backup is
    // offered, and the program starts again on it or ends.
    void guard(const std::function<void()>& handler);

    // A failure that no handler answered: its description in a box, then the orderly end.
    void unansweredFailure(const QString& description);

private:
    template <class T> T& touch();
    // Schedules an unloaded screen's deletion, and remembers it until then.
    void goAway(Screen* screen);
    // Unloads every loaded screen in load order after stopping the work registered with
    // atEnd. `damaged`: nothing is written to the archive and every data control lets it go.
    void closeAll(bool damaged);
    bool archiveDamaged() const;
    void recoverFromDamage();
    Platform& platform_;
    std::vector<QPointer<Screen>> loaded_;
    std::vector<QPointer<Screen>> leaving_; // unloaded, deleted by the event loop
    QPointer<Screen> active_;
    bool ending_ = false;
    bool ended_ = false;
    bool afterFailure_ = false;
    bool atExit_ = false;
    QStringList unloaded_;
    std::unique_ptr<EndRequests> endRequests_;
    std::vector<std::function<void()>> atEnd_;
    int running_ = 0; // guarded handlers under way
    bool recovering_ = false;
    std::function<bool(const QString&)> restore_;
    std::unique_ptr<QObject> context_; // for work queued by the registry
};

} // namespace qv
