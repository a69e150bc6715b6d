#pragma once

#include <QColor>
#include <QFrame>
#include <QPushButton>

namespace qv {

// The outside button component: a clickable button with a caption, a caption colour, a focus
// colour and a font. Only its click is used.
class CandyHCommand : public QPushButton {
    Q_OBJECT
public:
    explicit CandyHCommand(const QString& caption, QWidget* parent = nullptr);

    void setCaptionColor(const QColor& color);
    QColor captionColor() const { return captionColor_; }
    void setFocusColor(const QColor& color);
    QColor focusColor() const { return focusColor_; }
    // The component's animation (a highlight while the pointer is over the button).
    void setAnimation(bool on);
    bool animation() const { return animation_; }

protected:
    // Space (as any button) and Return or Enter click the button that has the focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void restyle();
    QColor captionColor_{255, 255, 255};
    QColor focusColor_{128, 128, 255};
    bool animation_ = true;
};

// A command button as the program's screens use it: white caption, focus colour RGB 128,
// 128, 255, "MS Sans Serif" 9.75 pt, the animation on; named for code and screen reader.
CandyHCommand* commandButton(QWidget* parent, const QString& objectName, const QString& caption,
                             const QRect& geometry);

// The decorative background panel.
class CandyScreen : public QFrame {
    Q_OBJECT
public:
    explicit CandyScreen(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Twips (1/1440 inch) to pixels at 96 dots per inch: 15 twips to a pixel.
constexpr int twips(int value) {
    return (value + 7) / 15;
}

} // namespace qv
