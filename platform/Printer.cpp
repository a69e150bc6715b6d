#include "platform/Printer.h"

#include <QAbstractPrintDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <stdexcept>

namespace qv {

QtPrinter::QtPrinter() = default;

QtPrinter::~QtPrinter() {
    // A document left open is finished rather than lost.
    if (painter_ && painter_->isActive())
        painter_->end();
}

QPrinter& QtPrinter::device() {
    // Made when first printed on: setting a printer up asks the print system for its printers,
    // which costs the program's start more than anything of its own.
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

bool QtPrinter::ShowPrinter(QWidget* parent) {
    QPrintDialog dialog(&device(), parent);
    configurePrintDialog(dialog);
    return dialog.exec() == QDialog::Accepted;
}

void QtPrinter::PaintPicture(const QImage& image) {
    if (!painter_)
        painter_ = std::make_unique<QPainter>();
    if (!painter_->isActive() && !painter_->begin(&device())) {
        painter_.reset();
        throw std::runtime_error("Impossibile avviare la stampa.");
    }
    paintImageOnPage(device(), *painter_, image);
}

void QtPrinter::EndDoc() {
    if (painter_ && painter_->isActive())
        painter_->end();
    painter_.reset();
}

void configurePrintDialog(QPrintDialog& dialog) {
    // Printing to a file is how a machine without printers gets its page (a PDF).
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
}

QRect imagePlacement(const QSize& image, const QRect& area) {
    if (image.isEmpty() || area.isEmpty())
        return QRect();
    const QSize size = image.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - size.width()) / 2, area.top(), size.width(), size.height());
}

void paintImageOnPage(QPrinter& printer, QPainter& painter, const QImage& image) {
    if (!painter.isActive() || image.isNull())
        return;
    // The painter's origin is the top left corner of the printable area.
    const QRect area(0, 0, printer.width(), printer.height());
    const QRect target = imagePlacement(image.size(), area);
    if (target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

void printScreenImage(Printer& printer, QWidget* screen) {
    try {
        if (!printer.ShowPrinter(screen))
            return;
        printer.PaintPicture(screen->grab().toImage());
        printer.EndDoc();
    } catch (...) {
    }
}

} // namespace qv
