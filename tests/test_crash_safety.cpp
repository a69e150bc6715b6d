// Crash safety: a child process writes through the store (card edits, new patients, notes,
// weekday times) and saves day files, and is killed with SIGKILL, at random moments and at each
// writing system call of one save. After every kill the archive passes its integrity check, every
// write the child reported as done is there, nothing else changed, and each day file holds either
// its old or its new content whole. The random moments follow a seed the test prints; set
// QUORVANE_CRASH_SEED to that number to replay them.
#include "agenda/DayFile.h"
#include "app/Startup.h"
#include "store/ArchiveImport.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "tests/support/BoundBox.h"
#include "tests/support/Doubles.h"
#include "tests/support/Files.h"
#include "tests/support/Sql.h"
#include "tests/support/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const kWeekdays[] = {"lunedì",  "martedì", "mercoledì", "giovedì",
                                 "venerdì", "sabato",  "domenica"};
const char* const kDays[] = {"lunedì 6 dicembre  2004", "martedì 7 dicembre  2004", "sabato 1 gennaio  2005"};
constexpr int kNotedPatients = 6; // notes go to the first few patients, so the file stays small

using qv::test::BoundBox;
using qv::test::queryRows;
using qv::test::u;

// ---- what the archive and the day files hold ----

using Row = QStringList; // every column as text, "<null>" for null
struct State {
    std::map<qint64, Row> patients;
    std::vector<Row> agenda;
    std::map<QString, QByteArray> days; // by title; absent when the file is missing

    bool operator==(const State&) const = default;
    std::vector<qint64> ids() const {
        std::vector<qint64> out;
        for (const auto& [id, row] : patients)
            out.push_back(id);
        return out;
    }
};

QString dbPath(const QString& folder) {
    return folder + QStringLiteral("/quorvane.mdb");
}

// Reads the folder as the next start would: the engine rolls back what a killed writer left
// half done. `integrity` gets the result of the engine's integrity check.
State readState(const QString& folder, QString* integrity) {
    State state;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath(folder).toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        *integrity = QStringLiteral("cannot open: ") + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return state;
    }
    const std::vector<Row> check = queryRows(db, "PRAGMA integrity_check");
    *integrity =
        check.size() == 1 ? check[0].join(QString()) : QStringLiteral("%1 problems").arg(check.size());
    for (Row& row : queryRows(db, "SELECT * FROM Pazienti ORDER BY ID"))
        state.patients[row[0].toLongLong()] = row;
    state.agenda = queryRows(db, "SELECT * FROM Agenda ORDER BY rowid");
    sqlite3_close(db);
    for (const char* day : kDays) {
        QFile file(qv::dayfile::filePath(folder, u(day)));
        if (file.open(QIODevice::ReadOnly))
            state.days[u(day)] = file.readAll();
    }
    return state;
}

// ---- the writes ----

enum class Kind { CardEdit, NewPatient, Notes, WeekdayTimes, DayFile };

// One write, the same in the child that makes it and in the parent that checks it: everything
// follows from its sequence number and the patients there were before it.
struct Op {
    Kind kind;
    qint64 seq;
    qint64 patient = 0; // the card edited or noted
    int index = 0;      // weekday or day file
};

Op opFor(qint64 seq, const std::vector<qint64>& ids) {
    std::mt19937 rng(static_cast<unsigned>(seq * 2654435761u));
    Op op{static_cast<Kind>(rng() % 5), seq};
    if (ids.empty() && (op.kind == Kind::CardEdit || op.kind == Kind::Notes))
        op.kind = Kind::NewPatient;
    if (op.kind == Kind::CardEdit)
        op.patient = ids[rng() % ids.size()];
    if (op.kind == Kind::Notes)
        op.patient = ids[rng() % std::min<size_t>(ids.size(), kNotedPatients)];
    op.index = int(rng() % (op.kind == Kind::WeekdayTimes ? 7 : 3));
    return op;
}

QString address(qint64 seq) {
    return QStringLiteral("Via Roma %1, Bologna").arg(seq);
}
QString phone(qint64 seq) {
    return QStringLiteral("051 %1").arg(seq, 6, 10, QLatin1Char('0'));
}
// Notes of a few pages, a different length each time, so that a torn write shows.
QString notes(qint64 seq) {
    QString text = QStringLiteral("{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}}\\f0 Nota %1: ").arg(seq);
    const int paragraphs = 20 + int(seq % 37) * 4;
    for (int p = 0; p < paragraphs; ++p)
        text += QStringLiteral("controllo %1.%2, otturazione e pulizia eseguite\\par ").arg(seq).arg(p);
    return text + QStringLiteral("}");
}
QString slotTime(qint64 seq, int slot) {
    const int minutes = int((seq * 7 + slot * 15) % (24 * 60));
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
QStringList dayTexts(qint64 seq) {
    QStringList texts;
    for (int i = 0; i < qv::dayfile::kBoxes; ++i)
        texts << (i % 3 == 0 ? QStringLiteral("Visita %1/%2 \"Rossi\"").arg(seq).arg(i) : QString());
    return texts;
}

int patientColumn(const char* field) {
    return int(qv::test::patientColumns().indexOf(u(field)));
}

// The state after `op` (with `newId` for a new patient).
State applied(State state, const Op& op, qint64 newId) {
    switch (op.kind) {
    case Kind::CardEdit: {
        Row& row = state.patients[op.patient];
        row[patientColumn("Indirizzo")] = address(op.seq);
        row[patientColumn("Telefono Casa")] = phone(op.seq);
        break;
    }
    case Kind::NewPatient: {
        Row row;
        for (qsizetype c = 0; c < qv::test::patientColumns().size(); ++c)
            row << QStringLiteral("<null>");
        row[0] = QString::number(newId);
        row[patientColumn("Cognome")] = QStringLiteral("Paziente%1").arg(op.seq);
        row[patientColumn("Nome")] = QStringLiteral("Nome%1").arg(op.seq);
        state.patients[newId] = row;
        break;
    }
    case Kind::Notes:
        state.patients[op.patient][patientColumn("Note")] = notes(op.seq);
        break;
    case Kind::WeekdayTimes:
        for (Row& row : state.agenda) {
            if (row[0] == u(kWeekdays[op.index]))
                for (int s = 1; s <= 40; ++s)
                    row[s] = slotTime(op.seq, s);
        }
        break;
    case Kind::DayFile:
        state.days[u(kDays[op.index])] = qv::dayfile::encode(dayTexts(op.seq));
        break;
    }
    return state;
}

// The store's side of the writes, as the screens make them.
class Writer {
public:
    explicit Writer(const QString& folder) : folder_(folder) {
        for (const char* field : {"ID", "Cognome", "Nome", "Indirizzo", "Telefono Casa", "Note"})
            card_[u(field)] = static_cast<BoundBox*>(cardData_.bind(std::make_unique<BoundBox>(u(field))));
        cardData_.setDatabaseName(dbPath(folder));
        cardData_.setRecordSource(QStringLiteral("Pazienti"));
        cardData_.Recordset().setIndex(QStringLiteral("PrimaryKey"));
        for (int s = 1; s <= 40; ++s)
            slots_.push_back(
                static_cast<BoundBox*>(agendaData_.bind(std::make_unique<BoundBox>(QString::number(s)))));
        agendaData_.setDatabaseName(dbPath(folder));
        agendaData_.setRecordSource(QStringLiteral("Agenda"));
        agendaData_.Recordset();
        qv::dayfile::ensureFolder(folder);
    }

    // Makes `op`; returns the new patient's ID for a new patient.
    qint64 run(const Op& op) {
        qv::RecordSet& cards = cardData_.Recordset();
        switch (op.kind) {
        case Kind::CardEdit:
            // The card on the patient, two boxes changed, then on to the next record: written.
            cards.Seek(QStringLiteral("="), op.patient);
            card_[QStringLiteral("Indirizzo")]->type(address(op.seq));
            card_[QStringLiteral("Telefono Casa")]->type(phone(op.seq));
            cards.MoveNext();
            return 0;
        case Kind::NewPatient: {
            cards.AddNew();
            const qint64 id = card_[QStringLiteral("ID")]->text.toLongLong();
            card_[QStringLiteral("Cognome")]->type(QStringLiteral("Paziente%1").arg(op.seq));
            card_[QStringLiteral("Nome")]->type(QStringLiteral("Nome%1").arg(op.seq));
            cards.MoveFirst();
            return id;
        }
        case Kind::Notes:
            // The notes screen: its rich text written without leaving the record.
            cards.Seek(QStringLiteral("="), op.patient);
            card_[QStringLiteral("Note")]->type(notes(op.seq));
            cardData_.UpdateRecord();
            return 0;
        case Kind::WeekdayTimes: {
            // The agenda's "Impostazione orario": the sheet's times become the weekday's.
            qv::RecordSet& days = agendaData_.Recordset();
            days.FindFirst(QStringLiteral("giorno = '") + u(kWeekdays[op.index]) + QStringLiteral("'"));
            for (int s = 1; s <= 40; ++s)
                slots_[size_t(s - 1)]->type(slotTime(op.seq, s));
            days.Edit();
            days.Update();
            return 0;
        }
        case Kind::DayFile:
            if (!qv::dayfile::save(qv::dayfile::filePath(folder_, u(kDays[op.index])), dayTexts(op.seq)).ok)
                throw std::runtime_error("day file not saved");
            return 0;
        }
        return 0;
    }

private:
    QString folder_;
    qv::DataControl cardData_;
    qv::DataControl agendaData_;
    std::map<QString, BoundBox*> card_;
    std::vector<BoundBox*> slots_;
};

struct Report {
    qint64 seq;
    qint64 id;
};

// ---- the child ----

// Runs in the forked child only: never returns.
[[noreturn]] void writeForever(const QString& folder, std::vector<qint64> ids, qint64 firstSeq,
                               int reportFd) {
    try {
        Writer writer(folder);
        const Report ready{0, 0};
        if (write(reportFd, &ready, sizeof ready) != sizeof ready)
            _exit(3);
        for (qint64 seq = firstSeq; seq < firstSeq + 100000; ++seq) {
            const Op op = opFor(seq, ids);
            const qint64 id = writer.run(op);
            if (op.kind == Kind::NewPatient)
                ids.push_back(id);
            const Report done{seq, id};
            if (write(reportFd, &done, sizeof done) != sizeof done)
                _exit(3);
        }
        _exit(0);
    } catch (const std::exception& e) {
        const Report failed{-1, 0};
        (void)!write(reportFd, &failed, sizeof failed);
        (void)!write(STDERR_FILENO, e.what(), strlen(e.what()));
        _exit(2);
    }
}

std::vector<Report> readReports(int fd) {
    std::vector<Report> out;
    Report r{};
    while (read(fd, &r, sizeof r) == sizeof r)
        if (r.seq != 0) // the child's "ready"
            out.push_back(r);
    return out;
}

QString describe(const State& expected, const State& found) {
    QString out;
    for (const auto& [id, row] : found.patients) {
        const auto it = expected.patients.find(id);
        if (it == expected.patients.end())
            out += QStringLiteral("unexpected patient %1; ").arg(id);
        else if (it->second != row)
            out += QStringLiteral("patient %1 differs; ").arg(id);
    }
    for (const auto& [id, row] : expected.patients)
        if (!found.patients.count(id))
            out += QStringLiteral("patient %1 missing; ").arg(id);
    if (expected.agenda != found.agenda)
        out += QStringLiteral("weekday times differ; ");
    for (const char* day : kDays)
        if (expected.days.count(u(day)) != found.days.count(u(day)) ||
            (found.days.count(u(day)) && expected.days.at(u(day)) != found.days.at(u(day))))
            out += QStringLiteral("day file %1 holds %2 bytes; ")
                       .arg(u(day))
                       .arg(found.days.count(u(day)) ? found.days.at(u(day)).size() : -1);
    return out;
}

// Whether `found` is `before` with the in-flight `op` either not made or made whole.
bool oldOrNew(const State& before, const State& found, const Op& op) {
    if (found == before)
        return true;
    qint64 newId = 0;
    if (op.kind == Kind::NewPatient) {
        for (const auto& [id, row] : found.patients)
            if (!before.patients.count(id))
                newId = id;
        if (newId == 0 || (!before.patients.empty() && newId <= before.patients.rbegin()->first))
            return false;
    }
    return found == applied(before, op, newId);
}

// A folder in memory when the system has one: a kill leaves the same files there as on a disk,
// and the writes, whose flushes cost nothing there, come many to a kill.
QString scratchTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/quorvane-crash-XXXXXX");
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path();
        // A few patients to begin with, as the program's own archive holds them.
        qv::Database::create(dbPath(folder));
        qv::dayfile::ensureFolder(folder);
        Writer writer(folder);
        for (qint64 seq = 1; seq <= 8; ++seq)
            writer.run(Op{Kind::NewPatient, seq});
        writer.run(Op{Kind::DayFile, 9, 0, 0});
    }

    QTemporaryDir dir{scratchTemplate()};
    QString folder;
};

// The seed of the kills' random moments: QUORVANE_CRASH_SEED when it is set, a new one each run
// otherwise. It is printed, and named in every failure, so that a failing run can be replayed
// with the same moments (the machine's own timing still varies from run to run).
unsigned crashSeed() {
    bool given = false;
    const unsigned seed = qEnvironmentVariable("QUORVANE_CRASH_SEED").toUInt(&given);
    return given ? seed : std::random_device{}();
}

TEST_F(CrashSafety, KilledAtRandomMomentsNothingReportedIsLostAndNothingIsTorn) {
    const unsigned seed = crashSeed();
    std::cout << "random seed " << seed << " (QUORVANE_CRASH_SEED=" << seed << " replays it)\n";
    RecordProperty("QUORVANE_CRASH_SEED", std::to_string(seed));
    SCOPED_TRACE(testing::Message() << "QUORVANE_CRASH_SEED=" << seed);
    std::mt19937 rng(seed);
    QString integrity;
    State state = readState(folder, &integrity);
    ASSERT_EQ(QStringLiteral("ok"), integrity);
    qint64 nextSeq = 100;
    qint64 highestId = state.patients.rbegin()->first;
    int madeWhole = 0;
    int leftUndone = 0;
    int reported = 0;
    long long openMicros = 20000;
    constexpr int kKills = 120;
    for (int kill = 0; kill < kKills; ++kill) {
        int fds[2];
        ASSERT_EQ(0, pipe(fds));
        const std::vector<qint64> ids = state.ids();
        const qint64 firstSeq = nextSeq;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            writeForever(folder, ids, firstSeq, fds[1]);
        }
        close(fds[1]);
        // One kill in four while the child opens the archive (as long as that took it before), the
        // others once it is writing, however long the machine takes to get there.
        const auto forked = std::chrono::steady_clock::now();
        if (kill % 4 == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % openMicros));
        } else {
            Report ready{};
            if (read(fds[0], &ready, sizeof ready) == sizeof ready && ready.seq == 0)
                openMicros = std::max<long long>(1000, std::chrono::duration_cast<std::chrono::microseconds>(
                                                           std::chrono::steady_clock::now() - forked)
                                                           .count());
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40000));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::vector<Report> reports = readReports(fds[0]);
        close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the child ended by itself: " << status;

        // Every write reported as done, in order.
        std::vector<qint64> known = ids;
        State expected = state;
        qint64 seq = firstSeq;
        for (const Report& r : reports) {
            ASSERT_EQ(seq, r.seq) << "the child failed at write " << seq;
            const Op op = opFor(seq, known);
            if (op.kind == Kind::NewPatient) {
                ASSERT_GT(r.id, highestId) << "a new patient's ID was given before";
                highestId = r.id;
                known.push_back(r.id);
            }
            expected = applied(expected, op, r.id);
            ++seq;
        }
        reported += int(reports.size());

        const State found = readState(folder, &integrity);
        ASSERT_EQ(QStringLiteral("ok"), integrity) << "after kill " << kill;
        const Op inFlight = opFor(seq, known);
        ASSERT_TRUE(oldOrNew(expected, found, inFlight))
            << "after kill " << kill << " with " << reports.size() << " writes done, write " << seq
            << " of kind " << int(inFlight.kind) << " in flight: " << describe(expected, found).toStdString();
        if (found == expected)
            ++leftUndone;
        else
            ++madeWhole;
        state = found;
        if (!state.patients.empty())
            highestId = std::max(highestId, state.patients.rbegin()->first);
        nextSeq = seq + 1; // the in-flight write's values are never used again
    }
    // The kills did land among the writes, not only before the first.
    EXPECT_GT(reported, kKills);
    // The program opens what the kills left.
    EXPECT_NO_THROW(qv::Database::open(dbPath(folder)));
    std::cout << "kills: " << kKills << ", writes reported done: " << reported
              << ", in-flight writes found made whole: " << madeWhole << ", left undone: " << leftUndone
              << "\n";
}

// ---- one save, killed at each of its writing system calls ----

// A system call that can change what is on disk.
bool writes(const __ptrace_syscall_info& info) {
    const auto nr = long(info.entry.nr);
    const auto changesFiles = [](quint64 flags) {
        return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
    };
    switch (nr) {
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
    case SYS_pwritev2:
    case SYS_fsync:
    case SYS_fdatasync:
    case SYS_sync_file_range:
    case SYS_renameat:
    case SYS_renameat2:
    case SYS_unlinkat:
    case SYS_linkat:
    case SYS_ftruncate:
    case SYS_truncate:
    case SYS_fallocate:
    case SYS_fchmod:
    case SYS_fchown:
    case SYS_mkdirat:
#ifdef SYS_rename
    case SYS_rename:
#endif
#ifdef SYS_unlink
    case SYS_unlink:
#endif
#ifdef SYS_link
    case SYS_link:
#endif
#ifdef SYS_mkdir
    case SYS_mkdir:
#endif
        return true;
    case SYS_openat:
        return changesFiles(info.entry.args[2]);
#ifdef SYS_open
    case SYS_open:
        return changesFiles(info.entry.args[1]);
#endif
    default:
        return false;
    }
}

// Runs `work` in a traced child, stopped at the entry of its `killAt`-th writing system call and
// killed there (-1: run to the end); `prepare` runs first, before the count starts. Returns the
// number of writing system calls the child entered, or -1 when tracing is not allowed here.
// `calls`, when given, receives the number of each writing system call.
int traceWrites(const std::function<void()>& prepare, const std::function<void()>& work, int killAt,
                std::vector<long>* calls = nullptr) {
    const pid_t child = fork();
    if (child == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(4);
        try {
            prepare();
            raise(SIGSTOP);
            work();
        } catch (const std::exception&) {
            _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
        return WEXITSTATUS(status) == 4 ? -1 : -2;
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    int entered = 0;
    int signal = 0;
    for (;;) {
        ptrace(PTRACE_SYSCALL, child, nullptr, signal);
        signal = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status))
            return WEXITSTATUS(status) == 0 ? entered : -2;
        if (WIFSIGNALED(status))
            return -2;
        if (!WIFSTOPPED(status))
            continue;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal = WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
            continue;
        }
        __ptrace_syscall_info info{};
        if (ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info) <= 0 ||
            info.op != PTRACE_SYSCALL_INFO_ENTRY)
            continue;
        if (!writes(info))
            continue;
        if (entered == killAt) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return entered;
        }
        if (calls)
            calls->push_back(long(info.entry.nr));
        ++entered;
    }
}

// Runs `op` on `folder` as traceWrites does, the archive opened and the writer ready first.
int traceOne(const QString& folder, const Op& op, int killAt) {
    std::unique_ptr<Writer> writer;
    return traceWrites([&] { writer = std::make_unique<Writer>(folder); }, [&] { writer->run(op); }, killAt);
}

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to + QStringLiteral("/Agd"));
    bool ok = QFile::copy(dbPath(from), dbPath(to));
    for (const QString& name : QDir(from + QStringLiteral("/Agd")).entryList(QDir::Files))
        ok = ok && QFile::copy(from + QStringLiteral("/Agd/") + name, to + QStringLiteral("/Agd/") + name);
    return ok;
}

TEST_F(CrashSafety, KilledAtEachWritingSystemCallOfOneSave) {
    QString integrity;
    const State before = readState(folder, &integrity);
    const std::vector<qint64> ids = before.ids();
    const Op saves[] = {
        {Kind::DayFile, 500, 0, 0},       // replaces a day file
        {Kind::DayFile, 501, 0, 1},       // writes a new one
        {Kind::CardEdit, 502, ids[2], 0}, // one transaction
        {Kind::Notes, 503, ids[1], 0},    // a long value over several pages
        {Kind::NewPatient, 504, 0, 0},    // its key, then its row
        {Kind::WeekdayTimes, 505, 0, 3},  // forty slots of one row
    };
    for (const Op& op : saves) {
        SCOPED_TRACE(testing::Message() << "save of kind " << int(op.kind));
        QTemporaryDir run(scratchTemplate());
        ASSERT_TRUE(copyFolder(folder, run.path()));
        const int calls = traceOne(run.path(), op, -1);
        if (calls == -1)
            GTEST_SKIP() << "this system does not let a process trace its child";
        ASSERT_GT(calls, 0);
        std::cout << "save of kind " << int(op.kind) << ": " << calls << " writing system calls\n";
        const State after = readState(run.path(), &integrity);
        ASSERT_EQ(QStringLiteral("ok"), integrity);
        ASSERT_NE(before, after);
        ASSERT_TRUE(oldOrNew(before, after, op)) << describe(applied(before, op, 0), after).toStdString();

        for (int at = 0; at < calls; ++at) {
            QTemporaryDir killed(scratchTemplate());
            ASSERT_TRUE(copyFolder(folder, killed.path()));
            ASSERT_EQ(at, traceOne(killed.path(), op, at)) << "the save took another path";
            const State found = readState(killed.path(), &integrity);
            ASSERT_EQ(QStringLiteral("ok"), integrity) << "killed at writing call " << at << " of " << calls;
            EXPECT_TRUE(oldOrNew(before, found, op)) << "killed at writing call " << at << " of " << calls
                                                     << ": " << describe(before, found).toStdString();
        }
    }
}

// ---- the old program's archive brought across, killed at each step ----

// The program's start on a folder holding the old program's archive and a day file copied from
// Windows, the user answering Yes: the archive is brought across and the session opened.
bool startAnsweringYes(const QString& folder) {
    struct AnswerYes : qv::MessageBox {
        qv::MsgAnswer show(const QString&, qv::MsgButtons, qv::MsgIcon, const QString&,
                           qv::MsgAnswer) override {
            return qv::MsgAnswer::Yes;
        }
    } msg;
    qv::test::FakeClock clock;
    qv::test::FakeProgramEnd end;
    qv::test::FakePrinter printer;
    qv::test::FakeProgress progress;
    qv::test::FakeBusyCursor busy;
    qv::Platform platform{msg, clock, end, printer, progress, busy, folder};
    qv::Session session;
    return qv::openSession(platform, session);
}

TEST(ArchiveConversionCrash, KilledAtEachStepLeavesTheOldFileOrTheWholeNewArchiveAndFinishesOnRestart) {
    const QByteArray jet =
        qv::test::readFile(qv::test::testData(QStringLiteral("access-archives/archivio-piccolo.mdb")));
    const auto fresh = [&](const QString& folder) {
        if (!qv::test::writeFile(dbPath(folder), jet) || !QDir().mkpath(folder + QStringLiteral("/Agd")))
            return false;
        // Named by its bytes in code page 1252, as copied from Windows.
        const QByteArray name = QFile::encodeName(folder) + "/Agd/luned\xec 6 dicembre  2004";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        const bool written = fd >= 0 && ::write(fd, "\"09:00\"\r\n", 9) == 9;
        ::close(fd);
        return written;
    };
    const auto start = [](const QString& folder) {
        if (!startAnsweringYes(folder))
            throw std::runtime_error("the start failed");
    };
    std::vector<long> kinds;
    int calls = 0;
    {
        QTemporaryDir whole(scratchTemplate());
        ASSERT_TRUE(fresh(whole.path()));
        calls = traceWrites([] {}, [&] { start(whole.path()); }, -1, &kinds);
        if (calls == -1)
            GTEST_SKIP() << "this system does not let a process trace its child";
        ASSERT_GT(calls, 0);
    }
    // Every step on names and every flush, and writes of the new archive spread over the rest.
    std::vector<int> points;
    for (int at = 0; at < calls; ++at)
        if (kinds[size_t(at)] != SYS_pwrite64 && kinds[size_t(at)] != SYS_write)
            points.push_back(at);
    for (int at = 0; at < calls; at += std::max(1, calls / 12))
        points.push_back(at);
    std::cout << "conversion at start-up: " << calls << " writing system calls, killed at " << points.size()
              << "\n";

    for (const int at : points) {
        SCOPED_TRACE(testing::Message() << "killed at writing call " << at << " of " << calls);
        QTemporaryDir killed(scratchTemplate());
        const QString folder = killed.path();
        ASSERT_TRUE(fresh(folder));
        // The lock's own thread writes when it gets to it: the start may be done before the
        // point is reached, and what it left is checked all the same.
        ASSERT_GE(traceWrites([] {}, [&] { start(folder); }, at), 0);
        const QString kept = qv::keptOriginalName(dbPath(folder));
        // Either the untouched Jet file, or the finished archive with the Jet file kept beside it.
        if (qv::test::readFile(dbPath(folder)) != jet) {
            EXPECT_EQ(40, qv::test::patientCount(dbPath(folder)));
            EXPECT_EQ(jet, qv::test::readFile(kept));
        }
        // The next start finishes the work; the day file is found under the program's name.
        ASSERT_TRUE(startAnsweringYes(folder));
        EXPECT_EQ(40, qv::test::patientCount(dbPath(folder)));
        EXPECT_EQ(jet, qv::test::readFile(kept));
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                  QStringList({QFileInfo(kept).fileName(), QStringLiteral("quorvane.mdb")}));
        const auto monday = qv::dayfile::read(qv::dayfile::filePath(folder, u("lunedì 6 dicembre  2004")));
        EXPECT_EQ(QStringList{u("09:00")}, monday.values);
    }
}

} // namespace
