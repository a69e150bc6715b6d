// Bringing the old program's archive across: the 20,000 patients of archivio-grande.mdb
// converted into a new archive (read, written, checked value by value against a second reading,
// flushed), against reading the same file with mdbtools' library alone, every column bound.
#include "bench/bench.h"
#include "store/ArchiveImport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

// mdbtools.h includes these inside its extern "C" block; included first, they stay out of it.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

namespace {

using qv::bench::Benchmark;

QString archive() {
    const QByteArray folder = qgetenv("QUORVANE_ACCESS_ARCHIVES");
    return (folder.isEmpty() ? QStringLiteral("/work/shared/access-archives")
                             : QString::fromLocal8Bit(folder)) +
           QStringLiteral("/archivio-grande.mdb");
}

// Every row of one table fetched with its columns bound, as libmdb's own tools read it.
qint64 readTable(MdbHandle* mdb, const char* name) {
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, name);
    MdbTableDef* table = entry ? mdb_read_table(entry) : nullptr;
    if (!table)
        return 0;
    mdb_read_columns(table);
    mdb_rewind_table(table);
    std::vector<std::vector<char>> values(table->num_cols, std::vector<char>(MDB_BIND_SIZE));
    std::vector<int> lengths(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i)
        mdb_bind_column(table, int(i + 1), values[i].data(), &lengths[i]);
    qint64 rows = 0;
    while (mdb_fetch_row(table))
        ++rows;
    mdb_free_tabledef(table);
    return rows;
}

qint64 plainRead(const QString& path, qint64* rows) {
    QElapsedTimer timer;
    timer.start();
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE)) {
        std::printf("   libmdb cannot read %s\n", path.toUtf8().constData());
        return 0;
    }
    *rows = readTable(mdb, "Pazienti");
    readTable(mdb, "Agenda");
    mdb_close(mdb);
    return timer.nsecsElapsed();
}

void runImport() {
    const QString source = archive();
    if (!QFileInfo::exists(source)) {
        std::printf("   %s not found (QUORVANE_ACCESS_ARCHIVES names its folder)\n",
                    source.toUtf8().constData());
        return;
    }
    // A warm cache for both, as at a second try; the best of five runs of each.
    std::vector<qint64> program;
    std::vector<qint64> plain;
    qint64 rows = 0;
    qint64 converted = 0;
    for (int run = 0; run < 5; ++run) {
        plain.push_back(plainRead(source, &rows));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("quorvane.mdb"));
        QElapsedTimer timer;
        timer.start();
        converted = qv::importJetArchive(source, target).patients;
        program.push_back(timer.nsecsElapsed());
    }
    const qint64 best = *std::min_element(program.begin(), program.end());
    qv::bench::report(QStringLiteral("convert %1 patients (baseline: libmdb read)").arg(converted), best,
                      *std::min_element(plain.begin(), plain.end()));
    std::printf("   libmdb read %lld rows; conversion %.3f s (limit 2 s)\n", static_cast<long long>(rows),
                best / 1e9);
}

const Benchmark registered("import", &runImport);

} // namespace
