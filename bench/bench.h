#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace qv {
class Screens;
class frmCartellaClinica;
} // namespace qv

namespace qv::bench {

// A benchmark registers itself with a name; bench_main runs every registered one, or
// those named on its command line.
using BenchFunction = void (*)();

struct Benchmark {
    Benchmark(const char* name, BenchFunction run);
};

// Prints one line: what was timed, the program's time, the plain engine's time for the
// same data work, and their ratio.
void report(const QString& what, qint64 programNs, qint64 plainNs);

// The median of several timings, so that one slow round does not decide.
qint64 median(std::vector<qint64> values);

// The median time of `rounds` runs of `work`, in nanoseconds.
qint64 medianOfRounds(int rounds, const std::function<void()>& work);

// The process's memory in MB as /proc/self/status gives it: "VmHWM:" the peak resident size
// (since the last resetPeak), "VmRSS:" the present one.
double memoryMb(const char* key);
void resetPeak();

// The record store: a database of 100,000 patients opened through a data control,
// walked through 13 bound boxes, sought by key and searched with a Like statement,
// against plain SQLite queries doing the same data work.
void runStore();
// The recall reminder at start-up over 100,000 patients, against one query (bench_reminder.cpp).
void runReminder();

// A program folder at `folder` (created if need be) holding an archive of `patients`
// realistic patients whose recall dates all lie in the future: the reminder's longest walk.
void makeProgramFolder(const QString& folder, int patients);
// Nanoseconds plain SQLite takes to open the folder's archive and read every row's ID and
// recall date in stored order.
qint64 plainRecallRead(const QString& folder);
// The reminder's start-up in this process on the folder's archive, against plainRecallRead.
void startUpIn(const QString& folder);
// The program's start-up in this process on the folder's archive (the card loaded, the
// reminder's walk, the start screen's first activation), the plain read of the recall dates
// after it, and the process's peak memory during the start-up.
struct StartUp {
    qint64 programNs = 0;
    qint64 plainNs = 0;
    double peakMb = 0;
    int boxes = 0;
};
StartUp measureStartUp(const QString& folder, bool verbose);
// The card's actions on a copy of the folder's archive, against plain SQLite (bench_actions.cpp).
void cardActionsOn(const QString& folder);

// A new archive at `path` with 50 patients, patient 25 holding `note` (RTF bytes) as notes.
void archiveWithNote(const QString& path, const QByteArray& note);
// The notes screen of `screens` on patient 25, as the card opens it, shown.
frmCartellaClinica& notesOnPatient25(Screens& screens);

} // namespace qv::bench
