#include "platform/ClickableLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace qv {

namespace {

// What a screen reader sees of the label: a button with the label's text, which it can press.
class AccessibleClickableLabel : public QAccessibleWidget {
public:
    explicit AccessibleClickableLabel(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = label()->text();
        return text;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction())
            label()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    ClickableLabel* label() const { return static_cast<ClickableLabel*>(widget()); }
};

QAccessibleInterface* accessibleClickableLabel(const QString& className, QObject* object) {
    if (className == QLatin1String(ClickableLabel::staticMetaObject.className()) && object != nullptr &&
        object->isWidgetType())
        return new AccessibleClickableLabel(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

ClickableLabel::ClickableLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(&accessibleClickableLabel);
        return true;
    }();
    Q_UNUSED(accessible);

    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 192));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    // Tab reaches it; a click does not take the focus from the box the user is typing in.
    setFocusPolicy(Qt::TabFocus);
}

void ClickableLabel::click() {
    if (isEnabled())
        emit clicked();
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    event->accept();
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    const bool wasPressed = pressed_;
    pressed_ = false;
    // Let go outside the label: no click, as with a button. The command may close the screen,
    // so nothing of the label is touched after it.
    if (wasPressed && rect().contains(event->position().toPoint()))
        click();
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat())
            click();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // The focus mark: a dotted frame in the text's colour around the caption.
    QPainter painter(this);
    const QRect caption =
        style()->itemTextRect(fontMetrics(), contentsRect(), int(alignment()), isEnabled(), text());
    const QRect frame = caption.adjusted(-2, -1, 1, 0).intersected(rect().adjusted(0, 0, -1, -1));
    painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
    painter.drawRect(frame);
}

} // namespace qv
