#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QWidget;

namespace qv {

// The busy cursor over the program's windows.
class BusyCursor {
public:
    virtual ~BusyCursor() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};

// The system's wait cursor, put on at once (the program is not back in its event loop to do
// it later).
class QtBusyCursor : public BusyCursor {
public:
    void show() override;
    void hide() override;

private:
    bool shown_ = false;
};

// A window telling how far a long piece of work has come, while the program does nothing
// else: the archive made ready for the search when it is first opened.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void begin(const QString& what) = 0;
    virtual void progress(double done) = 0; // 0 to 1
    virtual void end() = 0;
};

// The real window: it appears only when the work has gone on for more than a moment and is
// not nearly done, and is painted again as the work goes on (nothing but painting: the user's
// input waits for the end of the work). `elapsed` gives the milliseconds since a start of its
// own (a monotonic clock unless a test gives another).
class QtProgressWindow : public ProgressWindow {
public:
    explicit QtProgressWindow(std::function<qint64()> elapsed = {});
    ~QtProgressWindow() override;
    void begin(const QString& what) override;
    void progress(double done) override;
    void end() override;

    // The window while it is shown (tests).
    QWidget* window() const;

private:
    std::function<qint64()> elapsed_;
    QString what_;
    qint64 began_ = 0;
    qint64 painted_ = 0;
    std::unique_ptr<QWidget> window_;
    QProgressBar* bar_ = nullptr;
};

// The program's own ones, made when first asked for.
BusyCursor& qtBusyCursor();
ProgressWindow& qtProgressWindow();

} // namespace qv
