#pragma once

namespace qv {

class Screens;

// The recall reminder run while the program starts: walks the card's record set through the
// card's bound boxes and names the first patient whose recall date lies before today.
// Loads the card hidden when it is not loaded. At most one box is shown.
void RunRecallReminder(Screens& screens);

} // namespace qv
