#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <ctime>

// The program's file work: whole files read and written, replaced without ever being half
// written, and made to reach the disk.
//
// Every function that can fail answers with a Result holding the system's error number (0 when
// all went well). Not an exception: each caller turns a failure into a message of its own, or
// goes on without the file (a day file that could not be put back is counted and the rest go
// on), so none of them wants to unwind. Not a bare yes or no either: the messages depend on the
// cause, a full disk above all.
namespace qv::files {

// A path as the system shows it to the user.
QString shown(const QString& path);

struct Result {
    int error = 0; // errno, 0 when all went well

    bool ok() const { return error == 0; }
    explicit operator bool() const { return ok(); }
    // The disk (or the user's share of it) is full.
    bool diskFull() const;
};

// What the system knows of a file.
struct Status {
    bool regular = false; // a regular file (not a folder, a device, a pipe)
    qint64 size = 0;
    timespec modified{};
};
// The status of the file at `path`, a symbolic link followed.
Result status(const QString& path, Status& out);
// The status of `path` itself, a symbolic link not followed.
Result linkStatus(const QString& path, Status& out);
// Whether `path` names a regular file (a symbolic link followed). Reading a pipe or a device
// as a file would wait for ever.
bool isRegularFile(const QString& path);

// Reads the whole file; ENOENT when it is not there.
Result readFile(const QString& path, QByteArray& bytes);

enum class Sync { No, Yes };
// Writes the whole file at `path` (made or emptied first). With `modified`, the file says it
// was last changed then (a copy says when its original was). Sync::Yes flushes it to the disk
// before it is closed.
Result writeFile(const QString& path, const QByteArray& bytes, const timespec* modified = nullptr,
                 Sync sync = Sync::No);

// Replaces the whole content of the file at `path` (made when there is none): written to a
// temporary file beside it, flushed to the disk, renamed over the old file, the folder flushed
// too. A failure leaves the old content as it was and no temporary file. An existing file
// that is a folder is not replaced (EISDIR); a symbolic link is followed and the file it names
// replaced, its permissions kept. With `modified`, as writeFile.
Result replaceFile(const QString& path, const QByteArray& bytes, const timespec* modified = nullptr);

// Renames `from` to `to`, replacing what is there.
Result rename(const QString& from, const QString& to);
// Renames `from` to `to` only when nothing is there (EEXIST otherwise).
Result renameNew(const QString& from, const QString& to);
// The same for names given as the system's bytes: a name that is not UTF-8 (a file copied from
// Windows) has no QString that gives its bytes back.
Result renameNew(const QByteArray& from, const QByteArray& to);
// Gives the file at `from` the second name `to` (a hard link; EEXIST when something is there,
// EPERM or ENOTSUP on a file system without second names). A symbolic link is followed.
Result link(const QString& from, const QString& to);
// Removes the file (not a folder) at `path`.
Result remove(const QString& path);
// Makes the folder `path` (its parent must exist); an existing folder is fine.
Result makeFolder(const QString& path);

// Flushes the content of the file at `path` to the disk.
Result syncFile(const QString& path);
// Flushes a folder's entries (names made, renamed or removed) to the disk.
Result syncFolder(const QString& path);

// The names of the entries of the folder `path` (not "." and ".."), as the system's bytes.
Result folderEntries(const QString& path, QList<QByteArray>& names);
// Flushes everything written on the disk that holds `path`.
Result syncDisk(const QString& path);

} // namespace qv::files
