// The daily backup of a large program folder (a million realistic patients, ten years of day
// files), and the start screen's time while it runs against a start without it.
#include "agenda/DayFile.h"
#include "app/Backup.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "bench/bench.h"
#include "bench/generate.h"
#include "platform/Platform.h"
#include "tests/support/Doubles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QDate kToday(2014, 12, 6);

// A day of a busy practice: every third box booked.
QStringList busyDay(const QDate& date) {
    QStringList texts;
    for (int i = 0; i < qv::dayfile::kBoxes; ++i)
        texts << (i % 3 == 0 ? QStringLiteral("Rossi Mario - controllo %1").arg(date.day()) : QString());
    return texts;
}

enum class During { Nothing, AfterStart, WholeStart };

// From the lock taken to the start screen shown, its load handler (the reminder) done. The
// program starts the backup once the start screen is shown (AfterStart); WholeStart starts it
// first, so that the start screen's work runs beside the copy.
qint64 startScreen(qv::Platform& platform, During during, bool* stillRunning = nullptr) {
    QElapsedTimer timer;
    timer.start();
    qv::Session session;
    if (!qv::openSession(platform, session)) {
        std::printf("   the session did not open\n");
        return 0;
    }
    qv::Screens screens(platform);
    qv::DailyBackup backup(platform);
    if (during == During::WholeStart)
        backup.start();
    qv::startProgram(screens);
    if (during == During::AfterStart)
        backup.start();
    const qint64 elapsed = timer.nsecsElapsed();
    if (during != During::Nothing) {
        if (stillRunning != nullptr)
            *stillRunning = backup.outcome() == qv::DailyBackup::Outcome::Running;
        backup.startScreenShown();
        backup.waitForEnd();
        if (backup.outcome() != qv::DailyBackup::Outcome::Made)
            std::printf("   backup failed: %s\n", backup.failure().toUtf8().constData());
        QDir(qv::backups::folderPath(platform.folder)).removeRecursively();
    }
    screens.endProgram();
    return elapsed;
}

void runBackup(int patients) {
    QTemporaryDir dir;
    qv::test::QuietPlatform quiet(dir.path(), QDateTime(kToday, QTime(8, 0)));
    qv::Platform& platform = quiet.platform;
    qv::bench::generateArchive(platform.archivePath(), patients);
    const int dayFiles = qv::bench::writeDayFiles(platform.folder, kToday.addYears(-10), kToday, busyDay);
    const double megabytes = double(QFileInfo(platform.archivePath()).size()) / 1e6;

    // The backup alone.
    QElapsedTimer timer;
    timer.start();
    {
        qv::DailyBackup backup(platform);
        backup.start();
        backup.waitForEnd();
        if (backup.outcome() != qv::DailyBackup::Outcome::Made)
            std::printf("   backup failed: %s\n", backup.failure().toUtf8().constData());
    }
    const qint64 alone = timer.nsecsElapsed();
    std::printf(
        "%-58s %12.3f ms   (%.0f MB archive, %d day files)\n",
        QStringLiteral("backup, %1 patients, ten years of day files").arg(patients).toUtf8().constData(),
        alone / 1e6, megabytes, dayFiles);
    std::fflush(stdout);

    // The start screen without a backup (the first run warms the disk cache), then with one.
    QDir(qv::backups::folderPath(platform.folder)).removeRecursively();
    startScreen(platform, During::Nothing);
    const qint64 without = startScreen(platform, During::Nothing);
    const qint64 after = startScreen(platform, During::AfterStart);
    bool running = false;
    const qint64 beside = startScreen(platform, During::WholeStart, &running);
    std::fflush(stdout);
    qv::bench::report(QStringLiteral("start screen, backup started as the program does / none"), after,
                      without);
    qv::bench::report(QStringLiteral("start screen's work beside a running backup / none"), beside, without);
    std::printf("   the backup was %s when that start screen was shown; %d box(es)\n",
                running ? "still running" : "already done", int(quiet.msg.prompts.size()));
}

} // namespace

namespace qv::bench {

namespace {
const Benchmark small("backup", [] { runBackup(100000); });
const Benchmark million("backup1m", [] { runBackup(1000000); });
} // namespace

} // namespace qv::bench
