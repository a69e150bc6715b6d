#include "platform/MessageBox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>
#include <QtGlobal>

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

} // namespace

void configureMessageBox(QMessageBox& box, const QString& prompt, MsgButtons buttons, MsgIcon icon,
                         const QString& title, MsgAnswer defaultAnswer) {
    box.setText(prompt);
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
    QMessageBox box(QApplication::activeWindow());
    configureMessageBox(box, prompt, buttons, icon, title, defaultAnswer);
    box.exec();
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
