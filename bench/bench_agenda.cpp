// The agenda with ten years of day files in Agd: moving one day forward (the whole day load)
// and leaving a slot box (the whole day-file save), against reading or writing the same bytes
// and the weekday row with plain calls.
#include "agenda/DayFile.h"
#include "agenda/FormAgend.h"
#include "app/Screens.h"
#include "bench/bench.h"
#include "bench/generate.h"
#include "platform/Dates.h"
#include "platform/Platform.h"
#include "store/Database.h"
#include "tests/support/Doubles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

const QDate kFirstDay(2000, 1, 1);
constexpr int kYears = 10;
constexpr int kSteps = 200;

// A full day: every slot booked with a name and a note, the free lines written.
QStringList fullDay(const QDate& date) {
    QStringList texts;
    for (int i = 0; i < qv::dayfile::kBoxes; ++i)
        texts << QStringLiteral("%1 Rossi, Mario - controllo %2").arg(i).arg(date.day());
    return texts;
}

// The same data work without the screen: the day file's bytes and the weekday row.
qint64 plainLoad(const QString& folder, sqlite3* db, const QDate& date) {
    QElapsedTimer timer;
    timer.start();
    QFile file(qv::dayfile::filePath(folder, qv::dates::longDate(date)));
    if (file.open(QIODevice::ReadOnly))
        (void)file.readAll();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM Agenda WHERE giorno = ?", -1, &stmt, nullptr);
    const QByteArray weekday = qv::dates::weekdayName(date).toUtf8();
    sqlite3_bind_text(stmt, 1, weekday.constData(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    return timer.nsecsElapsed();
}

qint64 plainSave(const QString& path, const QByteArray& bytes) {
    QElapsedTimer timer;
    timer.start();
    if (std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
        std::fclose(f);
    }
    return timer.nsecsElapsed();
}

void runAgenda() {
    QTemporaryDir dir;
    qv::test::QuietPlatform quiet(dir.path(), QDateTime(kFirstDay, QTime(8, 0)));
    quiet.msg.echo = true; // no box is expected
    qv::Platform& platform = quiet.platform;
    const QString dbPath = platform.path(QStringLiteral("quorvane.mdb"));
    qv::Database::create(dbPath);
    const int files = qv::bench::writeDayFiles(dir.path(), kFirstDay, kFirstDay.addYears(kYears), fullDay);

    sqlite3* db = nullptr;
    sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);

    qv::Screens screens(platform);
    qv::FormAgend& agenda = screens.agend();
    agenda.Form_Activate();

    std::vector<qint64> loads, plainLoads, saves, plainSaves;
    QElapsedTimer timer;
    for (int i = 0; i < kSteps; ++i) {
        timer.restart();
        agenda.CandyHCommand3_Click(); // "Il giorno successivo"
        loads.push_back(timer.nsecsElapsed());
        plainLoads.push_back(plainLoad(dir.path(), db, agenda.Calendar1.Value()));
    }
    const bool loaded = agenda.dayLoaded() && agenda.Text(0)->text().startsWith(QStringLiteral("0 Rossi"));

    const QString path = qv::dayfile::filePath(dir.path(), agenda.Label1->text());
    const QString scratch = dir.path() + QStringLiteral("/plain");
    for (int i = 0; i < kSteps; ++i) {
        agenda.Text(qv::FormAgend::TextIndex(1 + i % 40, qv::FormAgend::Column::Note))
            ->setText(QString::number(i));
        timer.restart();
        agenda.Text_LostFocus(0);
        saves.push_back(timer.nsecsElapsed());
        QStringList texts;
        for (int b = 0; b < qv::dayfile::kBoxes; ++b)
            texts << agenda.Text(b)->text();
        plainSaves.push_back(plainSave(scratch, qv::dayfile::encode(texts)));
    }
    const bool saved =
        qv::dayfile::read(path).values.value(qv::FormAgend::TextIndex(40, qv::FormAgend::Column::Note)) ==
        QString::number(kSteps - 1);
    sqlite3_close(db);

    qv::bench::report(QStringLiteral("next day, whole day load (%1 day files), median").arg(files),
                      qv::bench::median(loads), qv::bench::median(plainLoads));
    qv::bench::report(QStringLiteral("next day, whole day load, slowest of %1").arg(kSteps),
                      *std::max_element(loads.begin(), loads.end()),
                      *std::max_element(plainLoads.begin(), plainLoads.end()));
    qv::bench::report(QStringLiteral("leaving a box, whole day-file save (synced), median"),
                      qv::bench::median(saves), qv::bench::median(plainSaves));
    qv::bench::report(QStringLiteral("leaving a box, whole day-file save, slowest of %1").arg(kSteps),
                      *std::max_element(saves.begin(), saves.end()),
                      *std::max_element(plainSaves.begin(), plainSaves.end()));
    if (!loaded || !saved)
        std::printf("   unexpected: day %s, save %s\n", loaded ? "loaded" : "not loaded",
                    saved ? "read back" : "lost");
}

const qv::bench::Benchmark registered("agenda", &runAgenda);

} // namespace
