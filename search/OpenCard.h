#pragma once

#include <QVariant>

namespace qv {

class Screens;

// The text shown when the chosen patient is no longer in the archive.
extern const QString kPatientGone;

// Positions the card's own data control on a patient (index PrimaryKey, seek "=" with the
// key), as the search and the list hand a patient over. When no row has that key (the
// patient was deleted meanwhile) a box says so, the card keeps its record and false is
// returned; the caller then leaves everything as it was.
bool seekCardOn(Screens& screens, const QVariant& key);

} // namespace qv
