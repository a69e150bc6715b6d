#include "app/ProgramLock.h"

#include "platform/Files.h"
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qv {

namespace {
// First line of the file: who wrote it. Then the process, the computer and the time.
const QByteArray kMagic = QByteArrayLiteral("quorvane-lock");

QString describe(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("il disco è pieno");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("non si hanno i permessi per scrivere nella cartella");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("la cartella non esiste");
    default:
        return QStringLiteral("il file di blocco %1 non si può usare (errore di sistema %2)")
            .arg(programfolder::lockName(), QString::number(error));
    }
}
} // namespace

ProgramLock::ProgramLock(const QString& path) : path_(path) {}

ProgramLock::~ProgramLock() {
    release();
}

QString ProgramLock::thisComputer() {
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("localhost") : name;
}

ProgramLock::Outcome ProgramLock::tryTake() {
    const QByteArray name = QFile::encodeName(path_);
    // A folder of that name is no lock: an empty one goes, anything else is moved aside.
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
        if (::rmdir(name.constData()) != 0) {
            const QString aside = path_ + QStringLiteral(".%1").arg(QDateTime::currentDateTime().toString(
                                              QStringLiteral("yyyyMMddhhmmss")));
            if (const files::Result moved = files::renameNew(path_, aside); !moved) {
                failure_ = describe(moved.error);
                return Outcome::Failed;
            }
        }
    }
    leftBehind_ = QFileInfo(path_).isFile();
    // The file another copy is about to remove may be the one opened here: try again on the
    // file that is then in its place.
    for (int attempt = 0; attempt < 10; ++attempt) {
        fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ < 0) {
            const int error = errno;
            if (error == ELOOP) { // a symbolic link: not ours to follow
                files::remove(path_);
                continue;
            }
            diskFull_ = error == ENOSPC || error == EDQUOT;
            failure_ = describe(error);
            return Outcome::Failed;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            readHolder();
            ::close(fd_);
            fd_ = -1;
            if (error == EWOULDBLOCK)
                return Outcome::InUse;
            failure_ = describe(error);
            return Outcome::Failed;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd_, &opened) == 0 && ::stat(name.constData(), &named) == 0 &&
            opened.st_ino == named.st_ino && opened.st_dev == named.st_dev)
            break;
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        failure_ = describe(EAGAIN);
        return Outcome::Failed;
    }
    readHolder();
    if (!holderHost_.isEmpty() && holderHost_.compare(thisComputer(), Qt::CaseInsensitive) != 0)
        return Outcome::OtherComputer; // the user decides; the lock is held meanwhile
    return writeOwnInfo() ? Outcome::Taken : Outcome::Failed;
}

bool ProgramLock::takeOver() {
    return fd_ >= 0 && writeOwnInfo();
}

void ProgramLock::readHolder() {
    holderHost_.clear();
    holderSince_ = QDateTime();
    QByteArray content(4096, '\0');
    const ssize_t got = ::pread(fd_, content.data(), size_t(content.size()), 0);
    if (got <= 0)
        return;
    content.truncate(got);
    const Holder holder = holderOf(content);
    holderHost_ = holder.host;
    holderSince_ = holder.since;
}

ProgramLock::Holder ProgramLock::holderOf(const QByteArray& content) {
    const QList<QByteArray> lines = content.split('\n');
    // Only a file in the program's own form names a computer; anything else is left-over noise.
    if (lines.size() < 4 || lines[0] != kMagic)
        return {};
    return {QString::fromUtf8(lines[2]).trimmed(),
            QDateTime::fromString(QString::fromLatin1(lines[3]).trimmed(), Qt::ISODate)};
}

bool ProgramLock::writeOwnInfo() {
    waitForSync();
    const QByteArray info = kMagic + '\n' + QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                            thisComputer().toUtf8() + '\n' +
                            QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n';
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, info.constData(), size_t(info.size()), 0) != info.size()) {
        const int error = errno;
        diskFull_ = error == ENOSPC || error == EDQUOT;
        failure_ = describe(error);
        return false;
    }
    syncToDisk();
    taken_ = true;
    return true;
}

void ProgramLock::syncToDisk() {
    waitForSync();
    const int fd = fd_;
    try {
        sync_ = std::thread([fd] { ::fsync(fd); });
    } catch (const std::system_error&) {
        ::fsync(fd); // no thread to be had: here, then
    }
}

void ProgramLock::waitForSync() {
    if (sync_.joinable())
        sync_.join();
}

void ProgramLock::release() {
    waitForSync();
    if (fd_ < 0)
        return;
    // Removed while still held, so that no other copy can take a file that is going away.
    if (taken_)
        files::remove(path_);
    ::close(fd_);
    fd_ = -1;
    taken_ = false;
}

} // namespace qv
