#pragma once

#include <QObject>

class QSocketNotifier;

namespace qv {

class Screens;

// Requests from the system to end the program: SIGTERM, SIGHUP and SIGINT (a shutdown, a closed
// terminal, Ctrl+C), the session manager asking the program to save at logout, and the display
// going away. Each one ends the program in order, as "Chiudi" does: every loaded screen is
// unloaded in load order and pending edits are written. One registry at a time listens.
class EndRequests : public QObject {
public:
    explicit EndRequests(Screens& screens);
    ~EndRequests() override;

private:
    void signalled();

    Screens& screens_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace qv
