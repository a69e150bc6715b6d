#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qv::dayfile {

// A day file holds the texts of the agenda's 124 slot boxes for one date, one per line in
// box-index order: a double quote, the text, a double quote, CR LF. A double quote inside a
// text is written doubled. The file is in code page 1252 when every character of its texts
// exists there, otherwise in UTF-8 behind a byte-order mark. An empty file is a valid day
// file: a date that was loaded but never written.

constexpr int kBoxes = 124;

// <program folder>/Agd
QString folderPath(const QString& programFolder);
// <program folder>/Agd/<title>; the title is the long date, so each date has its own file.
QString filePath(const QString& programFolder, const QString& title);

// Makes sure the folder exists; never fails loudly (an existing folder is fine, and one that
// cannot be made shows up when a file in it is written).
void ensureFolder(const QString& programFolder);

// The bytes of a day file holding `texts` in this order.
QByteArray encode(const QStringList& texts);
// Every value of a day file, in order (any number of them).
QStringList decode(const QByteArray& bytes);

// Whether `text` can be written in code page 1252 unchanged.
bool fitsCp1252(const QString& text);

struct ReadResult {
    enum class Status { Read, Missing, Failed };
    Status status = Status::Failed;
    QStringList values; // at most `limit` of them
};
// Reads the day file at `path`; values past the `limit`-th are not returned.
ReadResult read(const QString& path, int limit = kBoxes);

struct SaveResult {
    bool ok = false;
    QString reason; // why it failed, in Italian, for the user
};
// Replaces the whole content of the day file at `path`. The new content is written to a
// temporary file beside it, flushed to disk and renamed over the old file, so a failure
// never leaves a half-written day file behind.
SaveResult save(const QString& path, const QStringList& texts);

// Creates an empty day file at `path` when there is none; an existing file is left alone.
bool createEmpty(const QString& path);

// Day files copied from Windows keep their names in code page 1252 ("luned\xec 6 dicembre  2004"
// as bytes), and files from elsewhere may name the same title in another Unicode normalisation.
// When no file has the name at `path`, the file of its folder whose name reads as the same title
// is given that name, its content unchanged. A file that already has the name is never replaced.
// True when a file has the name afterwards. read() and createEmpty() look this way first.
bool adoptCopiedName(const QString& path);
// The same for every file of the day-file folder: each one whose name is in code page 1252 or in
// another normalisation is given the program's name, unless a file has that name already.
// Returns how many were renamed.
int adoptCopiedNames(const QString& programFolder);

} // namespace qv::dayfile
