#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::files {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

Result failed(int error) {
    return Result{error};
}

Result lastError() {
    return failed(errno);
}

Status statusOf(const struct stat& st) {
    Status out;
    out.regular = S_ISREG(st.st_mode);
    out.size = qint64(st.st_size);
    out.modified = st.st_mtim;
    return out;
}

// Writes all of `bytes` to `fd`.
Result writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return lastError();
        if (put == 0)
            return failed(ENOSPC);
        done += put;
    }
    return {};
}

// Writes the file open on `fd` whole, with its time, flushed when asked, and closes it.
Result finish(int fd, const QByteArray& bytes, const timespec* modified, Sync sync) {
    Result result = writeAll(fd, bytes);
    if (result && modified != nullptr) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        ::futimens(fd, times);
    }
    // A file system that cannot flush (EINVAL) has nothing to wait for.
    if (result && sync == Sync::Yes && ::fsync(fd) != 0 && errno != EINVAL)
        result = lastError();
    if (::close(fd) != 0 && result)
        result = lastError();
    return result;
}

// The file a chain of symbolic links ends at, as far as it can be followed.
QString linkTarget(const QString& path) {
    QFileInfo info(path);
    int depth = 128;
    while (--depth > 0 && info.isSymLink())
        info.setFile(info.symLinkTarget());
    return depth > 0 ? info.filePath() : path;
}

} // namespace

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool Result::diskFull() const {
    return error == ENOSPC || error == EDQUOT;
}

Result status(const QString& path, Status& out) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return lastError();
    out = statusOf(st);
    return {};
}

Result linkStatus(const QString& path, Status& out) {
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return lastError();
    out = statusOf(st);
    return {};
}

bool isRegularFile(const QString& path) {
    Status st;
    return status(path, st) && st.regular;
}

Result readFile(const QString& path, QByteArray& bytes) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const Result error = lastError();
            ::close(fd);
            return error;
        }
        if (got == 0)
            break;
        bytes.append(buffer, qsizetype(got));
    }
    ::close(fd);
    return {};
}

Result writeFile(const QString& path, const QByteArray& bytes, const timespec* modified, Sync sync) {
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return lastError();
    return finish(fd, bytes, modified, sync);
}

Result replaceFile(const QString& path, const QByteArray& bytes, const timespec* modified) {
    const QString target = linkTarget(path);
    struct stat existing {};
    const bool exists = ::stat(native(target).constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return failed(EISDIR);

    // A name of its own beside the file, never one that is there: another save may be under way.
    QString temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = target + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate() % 1000000, 6, 10,
                                                  QLatin1Char('0'));
        // Until the old file's permissions are given to it, no one else may read the new one.
        fd = ::open(native(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return lastError();
    }
    if (fd < 0)
        return failed(EEXIST);
    if (exists)
        ::fchmod(fd, existing.st_mode & 07777);
    Result result = finish(fd, bytes, modified, Sync::Yes);
    if (result && ::rename(native(temp).constData(), native(target).constData()) != 0)
        result = lastError();
    if (!result) {
        ::unlink(native(temp).constData());
        return result;
    }
    syncFolder(QFileInfo(target).absolutePath());
    return {};
}

Result rename(const QString& from, const QString& to) {
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        return lastError();
    return {};
}

Result renameNew(const QString& from, const QString& to) {
    return renameNew(native(from), native(to));
}

Result renameNew(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return lastError();
    // A file system that cannot rename without replacing: a second name, then the first one goes.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return {};
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return lastError();
    // Nor second names (FAT): only this program writes its folder, so looking first suffices.
    struct stat existing {};
    if (::lstat(to.constData(), &existing) == 0)
        return Result{EEXIST};
    if (::rename(from.constData(), to.constData()) != 0)
        return lastError();
    return {};
}

Result link(const QString& from, const QString& to) {
    if (::linkat(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), AT_SYMLINK_FOLLOW) !=
        0)
        return lastError();
    return {};
}

Result syncFile(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    // A file system that cannot flush (EINVAL) has nothing to wait for.
    Result result;
    if (::fsync(fd) != 0 && errno != EINVAL)
        result = lastError();
    ::close(fd);
    return result;
}

Result remove(const QString& path) {
    if (::unlink(native(path).constData()) != 0)
        return lastError();
    return {};
}

Result makeFolder(const QString& path) {
    if (::mkdir(native(path).constData(), 0755) == 0)
        return {};
    const Result error = lastError();
    struct stat st {};
    if (error.error == EEXIST && ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
    return error;
}

Result syncFolder(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    Result result;
    if (::fsync(fd) != 0)
        result = lastError();
    ::close(fd);
    return result;
}

Result syncDisk(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    Result result;
    if (::syncfs(fd) != 0)
        result = lastError();
    ::close(fd);
    return result;
}

Result folderEntries(const QString& path, QList<QByteArray>& names) {
    DIR* dir = ::opendir(native(path).constData());
    if (!dir)
        return lastError();
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    return {};
}

} // namespace qv::files
