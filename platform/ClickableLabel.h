#pragma once

#include <QLabel>

namespace qv {

// A command drawn as a label: blue underlined text under a pointing hand. It is reached with
// Tab and marked while it has the focus; a left click, Space, Return or Enter runs it, and a
// screen reader speaks and presses it as a button. A mouse click leaves the keyboard focus
// where it was, as clicking a command does on a desktop.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& caption, QWidget* parent = nullptr);

    // Runs the command, as a click does.
    void click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace qv
