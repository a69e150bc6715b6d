// The start, the search and the list over archives of 100,000 and 1,000,000 patients, each
// against plain SQLite doing the same data work in the same run, with the process's peak
// memory during each; and the first opening of such an archive made before the indexes they
// read.
//
// The archives are program folders made once under $BENCH_FOLDERS (p100000, p1000000: the
// same folders bench/startup.sh uses), or in a temporary folder each run when it is not set.
// Each figure is the median of $BENCH_ROUNDS rounds (3 unless set), the program's and the
// plain engine's taken in turn; $BENCH_SIZES names other sizes. The screens are shown (on the
// offscreen platform unless QT_QPA_PLATFORM names another) and the search's and the list's
// times run until their windows are painted.
#include "bench/bench.h"
#include "bench/generate.h"

#include "app/Screens.h"
#include "platform/BoundGrid.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "store/Database.h"
#include "store/Work.h"
#include "tests/support/Doubles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace qv::bench {

namespace {

int rounds() {
    const int n = qEnvironmentVariableIntValue("BENCH_ROUNDS");
    return n > 0 ? n : 3;
}

// The program folder with `patients` patients: kept under $BENCH_FOLDERS, made there when
// missing; otherwise made in `temp`.
QString programFolder(int patients, QTemporaryDir& temp) {
    const QString kept = qEnvironmentVariable("BENCH_FOLDERS");
    const QString folder =
        kept.isEmpty() ? temp.path() : QDir(kept).filePath(QStringLiteral("p%1").arg(patients));
    if (!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("quorvane.mdb")))) {
        QElapsedTimer t;
        t.start();
        makeProgramFolder(folder, patients);
        std::printf("generated %d patients in %s in %.1f s\n", patients, folder.toUtf8().constData(),
                    t.nsecsElapsed() / 1e9);
    }
    std::printf("archive %s: %.0f MB\n", folder.toUtf8().constData(),
                QFileInfo(QDir(folder).filePath(QStringLiteral("quorvane.mdb"))).size() / 1e6);
    return folder;
}

// Hands the memory freed so far back to the system, so that the next peak is the next work's.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
}

// One figure: the program's and the plain engine's times over the rounds, the highest peak.
struct Figure {
    std::vector<qint64> program;
    std::vector<qint64> plain;
    double peakMb = 0;
    double beforeMb = 0;

    void add(qint64 programNs, qint64 plainNs, double peak, double before) {
        program.push_back(programNs);
        plain.push_back(plainNs);
        peakMb = std::max(peakMb, peak);
        beforeMb = before;
    }
    void print(const QString& what, const QString& note = QString()) const {
        report(what, median(program), median(plain));
        std::printf("  peak memory %.0f MB (%.0f MB before)%s\n", peakMb, beforeMb,
                    note.isEmpty() ? "" : (QStringLiteral("; ") + note).toUtf8().constData());
        std::fflush(stdout);
    }
};

// Times `work` with the process's peak memory from where it stands now.
qint64 timedWithPeak(const std::function<void()>& work, double& peak, double& before) {
    settle();
    before = memoryMb("VmRSS:");
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    work();
    const qint64 ns = timer.nsecsElapsed();
    peak = memoryMb("VmHWM:");
    return ns;
}

// What the plain engine does for the search: the matching rows' lines, as text.
qint64 plainSearch(sqlite3* db, const QString& fragment, std::vector<QString>& lines) {
    QElapsedTimer t;
    t.start();
    lines.clear();
    sql::Stmt q(db, QStringLiteral("SELECT ID, Cognome, Nome FROM Pazienti WHERE Cognome LIKE ?1"));
    q.bind(1, QStringLiteral("%") + fragment + QStringLiteral("%"));
    while (q.step())
        lines.push_back(q.text(1) + QStringLiteral(",    ") + q.text(2) + QStringLiteral(";     ID:      ") +
                        QString::number(q.int64(0)));
    return t.nsecsElapsed();
}

// What the plain engine does for the list's activation: the count, then every identifier in
// the order of the surname.
qint64 plainActivation(sqlite3* db, std::vector<qint64>& ids) {
    QElapsedTimer t;
    t.start();
    ids.clear();
    sql::Stmt count(db, QStringLiteral("SELECT count(*) FROM \"Pazienti Query\""));
    count.step();
    ids.reserve(size_t(count.int64(0)));
    sql::Stmt q(db, QStringLiteral("SELECT ID FROM \"Pazienti Query\" ORDER BY Cognome COLLATE NOCASE"));
    while (q.step())
        ids.push_back(q.int64(0));
    return t.nsecsElapsed();
}

// Counts what the store tells of its long work.
class CountedWork : public work::Observer {
public:
    CountedWork() : before_(work::observe(this)) {}
    ~CountedWork() override { work::observe(before_); }
    void working() override {}
    void taskBegins(const QString&) override { ++tasks; }
    void taskProgress(double done) override {
        if (done < 1.0)
            lastBeforeEnd = done;
        ++calls;
    }
    void taskEnds() override {}
    int tasks = 0;
    int calls = 0;
    double lastBeforeEnd = 0;

private:
    work::Observer* before_;
};

// The first opening of an archive made before the indexes the search, the list and the
// reminder read (the folder's, copied, without them), against plain SQLite building the same
// indexes on another copy.
void firstOpening(const QString& folder, const QString& n) {
    QTemporaryDir temp;
    const QString source = QDir(folder).filePath(QStringLiteral("quorvane.mdb"));
    const QString program = temp.filePath(QStringLiteral("programma.mdb"));
    const QString plainCopy = temp.filePath(QStringLiteral("semplice.mdb"));
    const char* const drop = "DROP INDEX IF EXISTS Pazienti_Cognome_Nome; DROP INDEX IF EXISTS "
                             "\"Pazienti_Società_Attività\"; DROP INDEX IF EXISTS Pazienti_Richiamo;";
    for (const QString& copy : {program, plainCopy}) {
        QFile::copy(source, copy);
        sqlite3* db = nullptr;
        sqlite3_open(copy.toUtf8().constData(), &db);
        sqlite3_exec(db, drop, nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    settle();
    double peak = 0, before = 0;
    CountedWork counted;
    const qint64 programNs = timedWithPeak([&] { Database::open(program); }, peak, before);
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open(plainCopy.toUtf8().constData(), &db);
    sqlite3_exec(
        db,
        "BEGIN IMMEDIATE; CREATE INDEX Pazienti_Cognome_Nome ON Pazienti(Cognome, Nome); CREATE INDEX "
        "\"Pazienti_Società_Attività\" ON Pazienti(\"Società\", \"Attività\"); CREATE INDEX "
        "Pazienti_Richiamo ON Pazienti(\"Data richiamo\"); COMMIT",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const qint64 plainNs = t.nsecsElapsed();
    Figure figure;
    figure.add(programNs, plainNs, peak, before);
    figure.print(QStringLiteral("%1: first opening of an archive without the indexes").arg(n),
                 QStringLiteral("%1 task(s), %2 progress calls, last before the end %3")
                     .arg(counted.tasks)
                     .arg(counted.calls)
                     .arg(counted.lastBeforeEnd, 0, 'f', 2));
}

void runSize(int patients) {
    QTemporaryDir temp;
    const QString folder = programFolder(patients, temp);
    const QString n = QLocale(QLocale::Italian).toString(patients);

    // The start: the card loaded, the reminder's walk (nobody due), the first activation.
    {
        Figure start;
        int boxes = 0;
        for (int round = 0; round < rounds(); ++round) {
            settle();
            const double before = memoryMb("VmRSS:");
            const StartUp s = measureStartUp(folder, false);
            start.add(s.programNs, s.plainNs, s.peakMb, before);
            boxes += s.boxes;
        }
        start.print(QStringLiteral("%1: start (card, reminder, refresh)").arg(n),
                    QStringLiteral("%1 box(es)").arg(boxes));
    }

    test::QuietPlatform quiet(folder);
    quiet.msg.echo = true;
    const QString path = quiet.platform.archivePath();
    auto screens = std::make_unique<Screens>(quiet.platform);
    {
        // Loading the search and the list screens (their data controls open their record sets).
        QElapsedTimer t;
        t.start();
        screens->cerca();
        const qint64 search = t.nsecsElapsed();
        t.restart();
        screens->elenco();
        std::printf("%s: loading the search screen %.1f ms, the list screen %.1f ms\n",
                    n.toUtf8().constData(), search / 1e6, t.nsecsElapsed() / 1e6);
        screens->unload(screens->cerca());
        screens->unload(screens->elenco());
        settle();
    }
    sqlite3* plain = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr);

    {
        std::vector<QString> plainLines;
        size_t plainCount = 0;
        const auto searchFor = [&](const QString& fragment, const QString& what) {
            Figure figure;
            int lines = 0;
            for (int round = 0; round < rounds(); ++round) {
                // Each round on the screen loaded anew, so that no round reads less because
                // the one before ran the same statement.
                frmCerca& search = screens->cerca();
                screens->show(search);
                QCoreApplication::processEvents();
                search.OptionCogno->setChecked(true);
                search.TXTCerca->setText(fragment);
                double peak = 0, before = 0;
                // Until the lines are on the screen.
                const qint64 program = timedWithPeak(
                    [&] {
                        search.lblCerca_Click();
                        QCoreApplication::processEvents();
                    },
                    peak, before);
                lines = search.List1ListCount();
                screens->unload(search);
                settle();
                const qint64 plainNs = plainSearch(plain, fragment, plainLines);
                plainCount = plainLines.size();
                plainLines = {}; // not to count in the program's next peak
                figure.add(program, plainNs, peak, before);
            }
            figure.print(QStringLiteral("%1: %2 (%3 lines)").arg(n, what).arg(lines),
                         size_t(lines) == plainCount ? QString()
                                                     : QStringLiteral("LINE COUNT DIFFERS FROM PLAIN"));
        };
        searchFor(Archive::rareSurname().toLower(), QStringLiteral("search, a few matches"));
        searchFor(QString(), QStringLiteral("search, empty fragment"));
    }
    settle();

    {
        frmElenco& list = screens->elenco();
        screens->show(list);
        QCoreApplication::processEvents();
        std::vector<qint64> plainIds;
        Figure figure;
        for (int round = 0; round < rounds(); ++round) {
            double peak = 0, before = 0;
            // Until the sorted grid is on the screen.
            const qint64 program = timedWithPeak(
                [&] {
                    list.Form_Activate();
                    QCoreApplication::processEvents();
                },
                peak, before);
            plainIds = {};
            const qint64 plainNs = plainActivation(plain, plainIds);
            figure.add(program, plainNs, peak, before);
        }
        figure.print(
            QStringLiteral("%1: list activation (refresh, count %2, sort)").arg(n, list.Label2->text()),
            QStringLiteral("first row %1").arg(list.MSFlexGrid1Rows->text(0, 2)));
    }
    screens.reset();
    sqlite3_close(plain);
    settle();
    firstOpening(folder, n);
}

// The sizes in $BENCH_SIZES (blank-separated), or 100,000 and 1,000,000.
void runSearch() {
    const QStringList sizes = qEnvironmentVariable("BENCH_SIZES").split(u' ', Qt::SkipEmptyParts);
    for (const QString& size : sizes.isEmpty() ? QStringList{"100000", "1000000"} : sizes)
        runSize(size.toInt());
}

void runSearchSmall() {
    runSize(100000);
}

const Benchmark registered("search", runSearch);
// The smaller archive alone, for a quick look.
const Benchmark registeredSmall("search100k", runSearchSmall);

} // namespace

} // namespace qv::bench
