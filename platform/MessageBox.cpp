#include "platform/MessageBox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QTranslator>
#include <QtGlobal>
#include <algorithm>

namespace qv {

namespace {

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A box that shows user data keeps a size that fits the screen. The box wraps a line at its
// blanks, so only a word too long to wrap is cut, a line only when it would wrap onto more
// lines than the screen has, a prompt after this many lines; each cut marked with an ellipsis.
constexpr qsizetype kLongestWord = 100;
constexpr qsizetype kLongestLine = 600;
constexpr qsizetype kMostLines = 30;

QString cutAtCharacter(const QString& line, qsizetype length) {
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, line);
    boundaries.setPosition(length);
    const qsizetype cut = boundaries.isAtBoundary() ? length : boundaries.toPreviousBoundary();
    return line.left(std::max<qsizetype>(cut, 0)) + QChar(0x2026);
}

} // namespace

QString shownPrompt(const QString& prompt) {
    QStringList lines = prompt.split(u'\n');
    bool cut = false;
    if (lines.size() > kMostLines) {
        lines.resize(kMostLines);
        lines.back() = QString(QChar(0x2026));
        cut = true;
    }
    for (QString& line : lines) {
        const bool cr = line.endsWith(u'\r');
        QString body = line.left(line.size() - (cr ? 1 : 0));
        bool cutHere = false;
        if (body.size() > kLongestLine) {
            body = cutAtCharacter(body, kLongestLine);
            cutHere = true;
        }
        QStringList words = body.split(u' ');
        for (qsizetype i = 0; i < words.size(); ++i) {
            if (words[i].size() > kLongestWord) {
                // What follows a cut word goes with it: the line reads as cut off there.
                words[i] = cutAtCharacter(words[i], kLongestWord - 1);
                words.resize(i + 1);
                cutHere = true;
                break;
            }
        }
        if (cutHere) {
            line = words.join(u' ') + (cr ? QStringLiteral("\r") : QString());
            cut = true;
        }
    }
    return cut ? lines.join(u'\n') : prompt;
}

void configureMessageBox(QMessageBox& box, const QString& prompt, MsgButtons buttons, MsgIcon icon,
                         const QString& title, MsgAnswer defaultAnswer) {
    box.setText(shownPrompt(prompt));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(qtIcon(icon));
    box.setWindowTitle(title.isEmpty() ? kProgramTitle : title);
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultAnswer == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
}

MsgAnswer answerOf(const QMessageBox& box, MsgButtons buttons) {
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    const QAbstractButton* yes = box.button(QMessageBox::Yes);
    return yes != nullptr && box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
}

MsgAnswer QtMessageBox::show(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                             MsgAnswer defaultAnswer) {
    const QPointer<QWidget> over = QApplication::activeWindow();
    QMessageBox box(over);
    configureMessageBox(box, prompt, buttons, icon, title, defaultAnswer);
    box.exec();
    // The window the box came over takes the keyboard again, with its focus where the box
    // found it or where the handler puts it next. A window manager usually does this, but
    // not every one does, and without one nothing would be active at all (or, until the
    // system tells, the closed box would still count as the active window).
    if (over != nullptr && over->isVisible() &&
        (QApplication::activeWindow() == nullptr || QApplication::activeWindow() == &box))
        over->activateWindow();
    return answerOf(box, buttons);
}

void installItalianTranslations() {
    // Qt's own widgets (calendars, dialogs) speak Italian too, whatever the machine's locale.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    // The translator lives as a child of the application, so it goes with it.
    static QPointer<QTranslator> installed;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || installed)
        return;
    auto* translator = new QTranslator(app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_it"), folder)) {
        qWarning("Italian translations of Qt not found in %s", qPrintable(folder));
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
}

} // namespace qv
