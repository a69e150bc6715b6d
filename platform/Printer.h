#pragma once

#include <QImage>
#include <QRect>
#include <memory>

class QPrintDialog;
class QWidget;
class QPrinter;

namespace qv {

// The print dialog and the printer.
class Printer {
public:
    virtual ~Printer() = default;
    // Shows the print dialog; false when the user cancels it.
    virtual bool ShowPrinter(QWidget* parent) = 0;
    // Prints an image on the chosen printer (one page); raises std::runtime_error on failure.
    virtual void PaintPicture(const QImage& image) = 0;
    // Ends the print document so that the page comes out.
    virtual void EndDoc() = 0;
};

// Prints an image of a screen's window: the dialog, one page, the end of the document.
// Cancelling the dialog or a failing printer prints nothing and says nothing.
void printScreenImage(Printer& printer, QWidget* screen);

// QPrintDialog and QPrinter; the dialog offers printing to a PDF file.
class QtPrinter : public Printer {
public:
    QtPrinter();
    ~QtPrinter() override;
    bool ShowPrinter(QWidget* parent) override;
    void PaintPicture(const QImage& image) override;
    void EndDoc() override;

    // The printer the dialog sets up and the pages go to, made on first use and kept with the
    // user's choices from then on.
    QPrinter& device();

private:
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<class QPainter> painter_;
};

// Sets up the print dialog: printing to a PDF file stays on offer.
void configurePrintDialog(QPrintDialog& dialog);

// Where an image of `image` size goes in `area`: as large as fits, proportions kept,
// centred across and at the top.
QRect imagePlacement(const QSize& image, const QRect& area);

// Paints `image` scaled to fit the printable area of `printer`, keeping its proportions.
void paintImageOnPage(QPrinter& printer, class QPainter& painter, const QImage& image);

} // namespace qv
