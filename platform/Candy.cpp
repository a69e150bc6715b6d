#include "platform/Candy.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>

namespace qv {

namespace {

QString rgb(const QColor& color) {
    return color.name(QColor::HexRgb);
}

QString gradient(const QColor& top, const QColor& bottom) {
    return QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
        .arg(rgb(top), rgb(bottom));
}

} // namespace

CandyHCommand::CandyHCommand(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    restyle();
}

void CandyHCommand::setCaptionColor(const QColor& color) {
    captionColor_ = color;
    restyle();
}

void CandyHCommand::setFocusColor(const QColor& color) {
    focusColor_ = color;
    restyle();
}

void CandyHCommand::setAnimation(bool on) {
    animation_ = on;
    restyle();
}

void CandyHCommand::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat() &&
        isEnabled()) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// The look: a blue gradient face with the caption colour; the focus colour lights the face
// and frames it while the button has the focus; the pointer over the button brightens it
// when the animation is on. The font is left to setFont.
void CandyHCommand::restyle() {
    const QColor faceTop(88, 140, 214);
    const QColor faceBottom(26, 72, 150);
    const QColor edge(20, 52, 110);
    QString sheet = QStringLiteral("QPushButton { color: %1; background: %2; border: 2px solid %3;"
                                   " border-radius: 6px; padding: 2px 8px; }\n")
                        .arg(rgb(captionColor_), gradient(faceTop, faceBottom), rgb(edge));
    sheet += QStringLiteral("QPushButton:focus { background: %1; border: 2px solid %2; }\n")
                 .arg(gradient(focusColor_.lighter(115), focusColor_.darker(170)), rgb(focusColor_));
    if (animation_) {
        sheet += QStringLiteral("QPushButton:hover { background: %1; }\n")
                     .arg(gradient(faceTop.lighter(125), faceBottom.lighter(140)));
        sheet += QStringLiteral("QPushButton:focus:hover { background: %1; }\n")
                     .arg(gradient(focusColor_.lighter(130), focusColor_.darker(130)));
    }
    sheet += QStringLiteral("QPushButton:pressed { background: %1; }\n").arg(gradient(faceBottom, faceTop));
    sheet += QStringLiteral("QPushButton:disabled { color: #a0a0a0; background: %1; }\n")
                 .arg(gradient(QColor(150, 160, 180), QColor(110, 120, 140)));
    setStyleSheet(sheet);
}

CandyScreen::CandyScreen(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}

void CandyScreen::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        QLinearGradient fill(rect().topLeft(), rect().bottomRight());
        fill.setColorAt(0.0, QColor(214, 228, 250));
        fill.setColorAt(0.55, QColor(150, 182, 232));
        fill.setColorAt(1.0, QColor(70, 110, 190));
        painter.fillRect(rect(), fill);
    }
    QFrame::paintEvent(event);
}

CandyHCommand* commandButton(QWidget* parent, const QString& objectName, const QString& caption,
                             const QRect& geometry) {
    auto* button = new CandyHCommand(caption, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    button->setCaptionColor(QColor(255, 255, 255));
    button->setFocusColor(QColor(128, 128, 255));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    button->setFont(font);
    button->setAnimation(true);
    button->setGeometry(geometry);
    return button;
}

} // namespace qv
