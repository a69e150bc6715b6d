#pragma once

#include <QDate>
#include <QStringList>
#include <functional>

namespace qv::bench {

// A patient archive as a practice would keep it: every field of Pazienti filled and varying
// from row to row (Italian names and addresses, telephone numbers, e-mail addresses, dates,
// recall dates), short notes for most patients and notes of a few KB for one in ten.
// The same seed gives the same archive.
struct Archive {
    int patients = 0;
    // A surname that only a few patients carry (one in 25,000), to search for.
    static QString rareSurname() { return QStringLiteral("Quarantotto"); }
    static int rareCount(int patients) { return (patients + 25000 - 1 - 7) / 25000; }
};

// Creates the database file at `path` (which must not exist) with `patients` rows.
Archive generateArchive(const QString& path, int patients, quint32 seed = 20041206);

// Writes the agenda's day file in `folder` for every day from `first` up to, not including,
// `end`, holding the texts `day` gives for it; returns how many files were written.
int writeDayFiles(const QString& folder, const QDate& first, const QDate& end,
                  const std::function<QStringList(const QDate&)>& day);

} // namespace qv::bench
