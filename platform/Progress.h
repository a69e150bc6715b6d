#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

class QLabel;
class QProgressBar;
class QWidget;

namespace qv {

// A window that shows how far a long piece of work has come (bringing the old archive across,
// an older archive made ready for the search), with no button: the work cannot be stopped
// halfway.
class Progress {
public:
    virtual ~Progress() = default;
    // Opens the window with its title and first text.
    virtual void begin(const QString& title, const QString& text) = 0;
    // `done` of `total` steps are done; `text` says so.
    virtual void step(const QString& text, qint64 done, qint64 total) = 0;
    // Closes the window.
    virtual void end() = 0;
};

// The real window, painted again as the work runs: nothing but painting, at most every 50 ms.
// The user's input waits for the end of the work, so that nothing (not even Esc) closes the
// window or reaches the screens meanwhile.
class QtProgress : public Progress {
public:
    QtProgress();
    ~QtProgress() override;
    void begin(const QString& title, const QString& text) override;
    void step(const QString& text, qint64 done, qint64 total) override;
    void end() override;

    // The window while it is open (tests).
    QWidget* window() const { return window_.get(); }

private:
    void paint(bool always);

    std::unique_ptr<QWidget> window_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QElapsedTimer painted_;
};

} // namespace qv
