// The search and the list over archives of 100,000 and 1,000,000 patients, against plain
// SQLite doing the same data work, with the process's peak memory during each.
#include "bench/bench.h"
#include "bench/generate.h"

#include "app/Screens.h"
#include "platform/BoundGrid.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "store/Database.h"
#include "tests/support/Doubles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <sqlite3.h>
#include <vector>

namespace qv::bench {

namespace {

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

void runSize(int patients) {
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    const QString path = dir.filePath(QStringLiteral("quorvane.mdb"));
    generateArchive(path, patients);
    std::printf("generated %d patients in %.1f s (%.0f MB)\n", patients, t.nsecsElapsed() / 1e9,
                QFileInfo(path).size() / 1e6);

    test::QuietPlatform quiet(dir.path());
    quiet.msg.echo = true;
    Screens screens(quiet.platform);
    sqlite3* plain = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr);
    const QString n = QLocale(QLocale::Italian).toString(patients);

    frmCerca& search = screens.cerca();
    std::vector<QString> plainLines;
    const auto searchFor = [&](const QString& fragment, const QString& what) {
        search.OptionCogno->setChecked(true);
        search.TXTCerca->setText(fragment);
        const double before = memoryMb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        search.lblCerca_Click();
        const qint64 program = timer.nsecsElapsed();
        const double peak = memoryMb("VmHWM:");
        const int lines = search.List1ListCount();
        const qint64 plainNs = plainSearch(plain, fragment, plainLines);
        report(QStringLiteral("%1: %2 (%3 lines)").arg(n, what).arg(lines), program, plainNs);
        std::printf("  peak memory %.0f MB (%.0f MB before)%s\n", peak, before,
                    size_t(lines) == plainLines.size() ? "" : "  (LINE COUNT DIFFERS FROM PLAIN)");
        search.List1Clear();
    };
    searchFor(Archive::rareSurname().toLower(), QStringLiteral("search, a few matches"));
    searchFor(QString(), QStringLiteral("search, empty fragment"));
    screens.unload(search);
    // Let the unloaded screen go and hand the freed memory back, so that the list's peak is
    // its own.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);

    frmElenco& list = screens.elenco();
    std::vector<qint64> plainIds;
    for (int round = 0; round < 2; ++round) {
        const double before = memoryMb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        list.Form_Activate();
        const qint64 program = timer.nsecsElapsed();
        const double peak = memoryMb("VmHWM:");
        const qint64 plainNs = plainActivation(plain, plainIds);
        report(QStringLiteral("%1: list activation (refresh, count %2, sort)").arg(n, list.Label2->text()),
               program, plainNs);
        std::printf("  peak memory %.0f MB (%.0f MB before); first row %s\n", peak, before,
                    list.MSFlexGrid1Rows->text(0, 2).toUtf8().constData());
    }
    sqlite3_close(plain);
}

void runSearch() {
    runSize(100000);
    runSize(1000000);
}

void runSearchSmall() {
    runSize(100000);
}

const Benchmark registered("search", runSearch);
// The smaller archive alone, for a quick look.
const Benchmark registeredSmall("search100k", runSearchSmall);

} // namespace

} // namespace qv::bench
