// The daily backup of a large program folder (a million realistic patients, ten years of day
// files), and the start screen's time while it runs against a start without it.
#include "agenda/DayFile.h"
#include "app/Backup.h"
#include "app/Screens.h"
#include "app/Startup.h"
#include "bench/BenchPlatform.h"
#include "bench/bench.h"
#include "bench/generate.h"
#include "platform/Dates.h"
#include "platform/Platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QDate kToday(2014, 12, 6);

class AnsweringBox : public qv::MessageBox {
public:
    qv::MsgAnswer show(const QString& prompt, qv::MsgButtons, qv::MsgIcon, const QString&, qv::MsgAnswer) override {
        ++shown;
        last = prompt;
        return qv::MsgAnswer::Ok;
    }
    int shown = 0;
    QString last;
};

int writeTenYears(const QString& folder) {
    qv::dayfile::ensureFolder(folder);
    int files = 0;
    for (QDate d = kToday.addYears(-10); d < kToday; d = d.addDays(1)) {
        QStringList texts;
        for (int i = 0; i < qv::dayfile::kBoxes; ++i)
            texts << (i % 3 == 0 ? QStringLiteral("Rossi Mario - controllo %1").arg(d.day()) : QString());
        QFile file(qv::dayfile::filePath(folder, qv::dates::longDate(d)));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(qv::dayfile::encode(texts));
            ++files;
        }
    }
    return files;
}

// From the lock taken to the start screen shown, its load handler (the reminder) done.
qint64 startScreen(qv::Platform& platform, qv::DailyBackup* backup, bool* stillRunning) {
    QElapsedTimer timer;
    timer.start();
    qv::Session session;
    if (!qv::openSession(platform, session)) {
        std::printf("   the session did not open\n");
        return 0;
    }
    qv::Screens screens(platform);
    if (backup != nullptr)
        backup->start();
    qv::startProgram(screens);
    const qint64 elapsed = timer.nsecsElapsed();
    if (backup != nullptr) {
        *stillRunning = backup->outcome() == qv::DailyBackup::Outcome::Running;
        backup->startScreenShown();
        backup->waitForEnd();
    }
    screens.endProgram();
    return elapsed;
}

void runBackup(int patients) {
    QTemporaryDir dir;
    AnsweringBox box;
    qv::bench::FixedClock clock(kToday);
    qv::bench::NoEnd end;
    qv::bench::NoPrinter printer;
    qv::Platform platform{box, clock, end, printer, dir.path()};
    qv::bench::generateArchive(platform.path(QStringLiteral("quorvane.mdb")), patients);
    const int dayFiles = writeTenYears(platform.folder);
    const double megabytes = double(QFileInfo(platform.path(QStringLiteral("quorvane.mdb"))).size()) / 1e6;

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
    std::printf("%-58s %12.3f ms   (%.0f MB archive, %d day files)\n",
                QStringLiteral("backup, %1 patients, ten years of day files").arg(patients).toUtf8().constData(),
                alone / 1e6, megabytes, dayFiles);

    // The start screen without a backup (the first run warms the disk cache), then with one.
    startScreen(platform, nullptr, nullptr);
    const qint64 without = startScreen(platform, nullptr, nullptr);
    QDir(qv::backups::folderPath(platform.folder)).removeRecursively();
    bool running = false;
    qint64 with = 0;
    {
        qv::DailyBackup backup(platform);
        with = startScreen(platform, &backup, &running);
        if (backup.outcome() != qv::DailyBackup::Outcome::Made)
            std::printf("   backup failed: %s\n", backup.failure().toUtf8().constData());
    }
    qv::bench::report(QStringLiteral("start screen with the backup running / without"), with, without);
    std::printf("   the backup was %s when the start screen was shown; %d box(es)\n",
                running ? "still running" : "already done", box.shown);
}

} // namespace

namespace qv::bench {

namespace {
const Benchmark small("backup", [] { runBackup(100000); });
const Benchmark million("backup1m", [] { runBackup(1000000); });
} // namespace

} // namespace qv::bench
