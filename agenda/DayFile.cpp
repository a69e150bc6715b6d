#include "agenda/DayFile.h"

#include "platform/Files.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <array>
#include <cerrno>
#include <sys/stat.h>

namespace qv::dayfile {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
constexpr char kQuote = '"';

// Code page 1252 between 0x80 and 0x9F; 0 marks the five bytes the code page leaves
// undefined, which read as the control characters of the same number and are written back
// as the same bytes, as the system the files come from does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The byte for `ch` in code page 1252, or -1 when the code page has no such character.
int cp1252Byte(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    if (ch <= 0x9F && kHigh[ch - 0x80] == 0)
        return ch;
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] != 0 && kHigh[i] == ch)
            return int(0x80 + i);
    }
    return -1;
}

QChar cp1252Char(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && kHigh[byte - 0x80] != 0)
        return QChar(kHigh[byte - 0x80]);
    return QChar(char16_t(byte));
}

QString fromCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes)
        text.append(cp1252Char(static_cast<unsigned char>(b)));
    return text;
}

// One line of the file: the text between its enclosing quotes, doubled quotes as one.
// A line without them (written by hand) is taken as it stands.
QString value(QStringView line) {
    if (!line.startsWith(QLatin1Char(kQuote)))
        return line.toString();
    line = line.mid(1);
    if (line.endsWith(QLatin1Char(kQuote)))
        line.chop(1);
    QString text = line.toString();
    text.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return text;
}

// A text as it goes between the enclosing quotes. A slot box never holds a line break, but
// one here would split the value over two lines and shift every box after it, so it is
// written as a blank.
QString quoted(const QString& text) {
    QString inner = text;
    inner.replace(QLatin1Char(kQuote), QStringLiteral("\"\""));
    inner.replace(QLatin1Char('\r'), QLatin1Char(' '));
    inner.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QLatin1Char(kQuote) + inner + QLatin1Char(kQuote);
}

QString saveFailure(const QString& path, const files::Result& error) {
    const QString days = programfolder::dayFolderName();
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("la cartella %1 non esiste e non può essere creata.").arg(days);
    if (file.exists() && !file.isFile())
        return QStringLiteral("nella cartella %1 c'è una cartella con lo stesso nome del file.").arg(days);
    if (!folder.isWritable())
        return QStringLiteral("non è permesso scrivere nella cartella %1.").arg(days);
    if (file.exists() && !file.isWritable())
        return QStringLiteral("il file è protetto dalla scrittura.");
    if (error.diskFull())
        return QStringLiteral("il disco è pieno.");
    return QStringLiteral("il file non può essere scritto.");
}

// The title a file name stands for: UTF-8 in the composed normalisation the program writes, or
// code page 1252 when the bytes are not UTF-8 (a name copied from Windows).
QString titleOf(const QByteArray& name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(name);
    if (utf8.hasError())
        return fromCp1252(name).normalized(QString::NormalizationForm_C);
    return text.normalized(QString::NormalizationForm_C);
}

// Every regular file of `folder` whose name stands for another title than its bytes say, with
// the program's name for it, until `found` returns false.
template <typename Found> void forEachCopiedName(const QString& folder, Found found) {
    QList<QByteArray> names;
    if (!files::folderEntries(folder, names))
        return;
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (const QByteArray& name : names) {
        const QByteArray wanted = QFile::encodeName(titleOf(name));
        if (wanted == name)
            continue;
        struct stat status {};
        if (::lstat((base + name).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            !found(base + name, wanted))
            return;
    }
}

} // namespace

QString folderPath(const QString& programFolder) {
    return programfolder::dayFolder(programFolder);
}

QString filePath(const QString& programFolder, const QString& title) {
    return folderPath(programFolder) + QLatin1Char('/') + title;
}

void ensureFolder(const QString& programFolder) {
    QDir().mkpath(folderPath(programFolder));
}

bool fitsCp1252(const QString& text) {
    for (const QChar ch : text) {
        if (cp1252Byte(ch.unicode()) < 0)
            return false;
    }
    return true;
}

QByteArray encode(const QStringList& texts) {
    QString content;
    qsizetype length = 0;
    for (const QString& text : texts)
        length += text.size() + 4;
    content.reserve(length);
    for (const QString& text : texts) {
        content += quoted(text);
        content += QLatin1String("\r\n");
    }
    if (!fitsCp1252(content))
        return kUtf8Bom + content.toUtf8();
    QByteArray bytes;
    bytes.resize(content.size());
    for (qsizetype i = 0; i < content.size(); ++i)
        bytes[i] = static_cast<char>(cp1252Byte(content[i].unicode()));
    return bytes;
}

QStringList decode(const QByteArray& bytes) {
    const QString content =
        bytes.startsWith(kUtf8Bom) ? QString::fromUtf8(bytes.mid(kUtf8Bom.size())) : fromCp1252(bytes);
    QStringList values;
    // Lines end in CR LF; a lone CR or LF (a file edited elsewhere) ends one too, and so does
    // CR CR LF (a file copied twice in text mode). A last line without its line end still
    // holds a value.
    qsizetype start = 0;
    const qsizetype size = content.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar ch = content[i];
        if (ch != QLatin1Char('\r') && ch != QLatin1Char('\n'))
            continue;
        values << value(QStringView(content).mid(start, i - start));
        if (ch == QLatin1Char('\r') && i + 2 < size && content[i + 1] == QLatin1Char('\r') &&
            content[i + 2] == QLatin1Char('\n'))
            i += 2;
        else if (ch == QLatin1Char('\r') && i + 1 < size && content[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        values << value(QStringView(content).mid(start));
    return values;
}

ReadResult read(const QString& path, int limit) {
    ReadResult result;
    if (!QFileInfo::exists(path) && !adoptCopiedName(path)) {
        result.status = ReadResult::Status::Missing;
        return result;
    }
    QByteArray bytes;
    if (!files::readFile(path, bytes)) {
        result.status = ReadResult::Status::Failed;
        return result;
    }
    result.values = decode(bytes);
    if (result.values.size() > limit)
        result.values.resize(limit);
    result.status = ReadResult::Status::Read;
    return result;
}

SaveResult save(const QString& path, const QStringList& texts) {
    SaveResult result;
    // A file protected from writing is kept as it is, though its folder would let it be replaced.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isWritable()) {
        result.reason = saveFailure(path, files::Result{EACCES});
        return result;
    }
    // Never written in place: a failure keeps the old content whole.
    if (const files::Result saved = files::replaceFile(path, encode(texts)); !saved) {
        result.reason = saveFailure(path, saved);
        return result;
    }
    result.ok = true;
    return result;
}

bool createEmpty(const QString& path) {
    QFile file(path);
    if (file.exists() || adoptCopiedName(path))
        return true;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    return true;
}

bool adoptCopiedName(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const QByteArray wanted = QFile::encodeName(info.fileName().normalized(QString::NormalizationForm_C));
    bool adopted = false;
    forEachCopiedName(folder, [&](const QByteArray& from, const QByteArray& name) {
        if (name != wanted)
            return true;
        adopted = files::renameNew(from, QFile::encodeName(folder) + '/' + wanted).ok();
        return false;
    });
    if (adopted)
        files::syncFolder(folder);
    return adopted || QFileInfo::exists(path);
}

int adoptCopiedNames(const QString& programFolder) {
    const QString folder = folderPath(programFolder);
    int renamed = 0;
    forEachCopiedName(folder, [&](const QByteArray& from, const QByteArray& name) {
        if (files::renameNew(from, QFile::encodeName(folder) + '/' + name))
            ++renamed;
        return true;
    });
    if (renamed > 0)
        files::syncFolder(folder);
    return renamed;
}

} // namespace qv::dayfile
