// The end-to-end walk's helper, so that the walk needs nothing but the shell, Xvfb and xdotool:
//   e2e_tool prepare FOLDER   a program folder's archive with a few patients
//   e2e_tool dump FILE        every stored value of the archive, one per line
//   e2e_tool grab PNG         a picture of the whole X screen
//   e2e_tool same-box WINDOW ICON THEME TEXT
//                             whether the message box in X window WINDOW shows TEXT ("\n" for a
//                             line break) with ICON (none, exclamation), in the icon theme the
//                             program names once its card is loaded (THEME "card") or in Qt's
//                             own ("qt"): the box is drawn again here, as the program draws it,
//                             and the two pictures compared
#include "platform/MessageBox.h"
#include "store/Database.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <cstdio>
#include <sqlite3.h>

namespace {

int prepare(const QString& folder) {
    const QString path = folder + QStringLiteral("/quorvane.mdb");
    qv::Database::create(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    // Bianchi's recall date is long past: the reminder names her. Rossi is the patient the walk
    // edits; Grossi matches the same search and must stay as she is.
    const char* sql =
        "INSERT INTO Pazienti (ID, Cognome, Nome, \"Attività\", \"Società\", Indirizzo, \"Telefono Casa\", "
        "\"Data richiamo\", Note) VALUES "
        "(1, 'Bianchi', 'Anna', 'Insegnante', 'Scuola Media Pascoli', 'Via Irnerio 3, Bologna', '051 "
        "223344', "
        "'01/03/2001', NULL),"
        "(2, 'Rossi', 'Mario', 'Geometra', 'Studio Rossi', 'Via Emilia 10, Modena', '059 112233', "
        "'31/12/2099', "
        "NULL),"
        "(3, 'Verdi', 'Luca', NULL, NULL, 'Piazza Maggiore 1, Bologna', NULL, NULL, NULL),"
        "(4, 'Grossi', 'Paola', 'Avvocato', NULL, 'Via Saragozza 20, Bologna', NULL, '31/12/2099', NULL);";
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "prepare: %s\n", message);
        return 1;
    }
    sqlite3_close(db);
    return 0;
}

QString oneLine(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return text;
}

int dump(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 1;
    for (const char* table : {"Pazienti", "Agenda"}) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = QByteArray("SELECT rowid, * FROM \"") + table + "\" ORDER BY rowid";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return 1;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const QString row =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            for (int c = 1; c < sqlite3_column_count(stmt); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                const QString value = text ? oneLine(QString::fromUtf8(text)) : QStringLiteral("<null>");
                std::printf("%s|%s|%s|%s\n", table, row.toUtf8().constData(), sqlite3_column_name(stmt, c),
                            value.toUtf8().constData());
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return 0;
}

QImage grab(WId window) {
    return QGuiApplication::primaryScreen()->grabWindow(window).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// The text part of the box: the button row below it looks different in an active window.
QImage textPart(const QImage& box) {
    return box.copy(0, 0, box.width(), std::max(0, box.height() - 50));
}

int sameBox(WId window, const QString& icon, const QString& theme, QString text) {
    qv::installItalianTranslations();
    // Once the program's card is loaded, the desktop's icon theme is named (as the card does).
    if (theme == QLatin1String("card") &&
        (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    text.replace(QStringLiteral("\\n"), QStringLiteral("\r\n"));
    QMessageBox box;
    qv::configureMessageBox(box, text, qv::MsgButtons::Ok,
                            icon == QLatin1String("exclamation") ? qv::MsgIcon::Exclamation
                                                                 : qv::MsgIcon::None,
                            QString(), qv::MsgAnswer::Ok);
    // The shown box is taken first: a window drawn over it would be taken instead.
    const QImage theirs = grab(window);
    box.setAttribute(Qt::WA_ShowWithoutActivating);
    box.move(0, 0);
    box.show();
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QImage ours = grab(box.winId());
    if (qEnvironmentVariableIsSet("QV_E2E_KEEP")) {
        theirs.save(qEnvironmentVariable("QV_E2E_KEEP") + QStringLiteral("-shown.png"));
        ours.save(qEnvironmentVariable("QV_E2E_KEEP") + QStringLiteral("-expected.png"));
    }
    if (theirs.size() != ours.size()) {
        std::fprintf(stderr, "the box is %dx%d, the expected one %dx%d\n", theirs.width(), theirs.height(),
                     ours.width(), ours.height());
        return 1;
    }
    if (textPart(theirs) != textPart(ours)) {
        std::fprintf(stderr, "the box shows another text\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (command == QLatin1String("prepare") && argc == 3) {
        QCoreApplication app(argc, argv);
        return prepare(argument);
    }
    if (command == QLatin1String("dump") && argc == 3) {
        QCoreApplication app(argc, argv);
        return dump(argument);
    }
    if (command == QLatin1String("grab") && argc == 3) {
        QGuiApplication app(argc, argv);
        return QGuiApplication::primaryScreen()->grabWindow(0).save(argument, "PNG") ? 0 : 1;
    }
    if (command == QLatin1String("same-box") && argc == 6) {
        QApplication app(argc, argv);
        return sameBox(WId(QString::fromLocal8Bit(argv[2]).toULongLong()), QString::fromLocal8Bit(argv[3]),
                       QString::fromLocal8Bit(argv[4]), QString::fromUtf8(argv[5]));
    }
    std::fprintf(stderr,
                 "usage: %s prepare FOLDER | dump FILE | grab PNG | same-box WINDOW ICON THEME TEXT\n",
                 argv[0]);
    return 2;
}
