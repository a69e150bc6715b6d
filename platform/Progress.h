#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

class QProgressDialog;

namespace qv {

// A window that shows how far a long piece of work has come (bringing the old archive across),
// with no button: the work cannot be stopped halfway.
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

// The real window (QProgressDialog), painted again as the work runs: nothing but painting, at
// most every 50 ms (the user's input waits for the end of the work).
class QtProgress : public Progress {
public:
    QtProgress();
    ~QtProgress() override;
    void begin(const QString& title, const QString& text) override;
    void step(const QString& text, qint64 done, qint64 total) override;
    void end() override;

private:
    void paint(bool always);

    std::unique_ptr<QProgressDialog> dialog_;
    QElapsedTimer painted_;
};

} // namespace qv
