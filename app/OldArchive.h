#pragma once

#include "platform/Platform.h"

namespace qv {

// The old program's archive. When the archive file of the program folder is an Access (Jet)
// file, asks whether to bring it across, saying what will happen and where the original is
// kept. On Yes converts it in its place with a progress window (the patients done), the day
// files copied from Windows given the program's names. Returns true when the archive can be
// opened: it was no Jet file, or it has been brought across. False when the user said No, or the
// file could not be converted (said in a message); the files are then as they were.
bool bringOldArchiveAcross(Platform& platform);

} // namespace qv
