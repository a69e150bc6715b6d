#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace qv {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Exclamation, Information, Critical };
enum class MsgAnswer { Ok, Yes, No };

// The program's title, shown by every box that has no title of its own.
inline const QString kProgramTitle = QStringLiteral("Quorvane");

// Modal message boxes. Every box of the program goes through here.
class MessageBox {
public:
    virtual ~MessageBox() = default;

    // Shows the box and returns the button chosen. An empty title shows kProgramTitle.
    // defaultAnswer is the default button of a Yes/No box.
    virtual MsgAnswer show(const QString& prompt, MsgButtons buttons = MsgButtons::Ok,
                           MsgIcon icon = MsgIcon::None, const QString& title = QString(),
                           MsgAnswer defaultAnswer = MsgAnswer::Yes) = 0;
};

// The real box (QMessageBox), with Italian buttons once installItalianTranslations ran.
class QtMessageBox : public MessageBox {
public:
    MsgAnswer show(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                   MsgAnswer defaultAnswer) override;
};

// Sets up a box as QtMessageBox::show shows it: prompt, buttons, default and escape buttons,
// icon and title. Closing a Yes/No box (Esc, the window's close button) answers No.
void configureMessageBox(QMessageBox& box, const QString& prompt, MsgButtons buttons, MsgIcon icon,
                         const QString& title, MsgAnswer defaultAnswer);
// The prompt as the box shows it: a prompt with very long lines (a value stored by another
// program) or very many lines is cut, so that the box fits the screen and appears at once.
QString shownPrompt(const QString& prompt);
// The answer a box set up by configureMessageBox gives once the user has closed it.
MsgAnswer answerOf(const QMessageBox& box, MsgButtons buttons);

// Loads Qt's own Italian translations (buttons "Sì", "No", "Annulla", the print dialog).
// Safe to call more than once; the translations stay installed while the application lives.
void installItalianTranslations();

} // namespace qv
