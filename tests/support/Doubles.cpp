#include "tests/support/Doubles.h"

#include <QPainter>
#include <QPrinter>
#include <cstdio>

namespace qv::test {

bool FakePrinter::ShowPrinter(QWidget*) {
    ++dialogs_;
    if (cancel_)
        return false;
    return true;
}

void FakePrinter::PaintPicture(const QImage& image) {
    images_.push_back(image);
    if (!pdfPath_.isEmpty()) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath_);
        QPainter painter(&printer);
        paintImageOnPage(printer, painter, image);
    }
}

void FakePrinter::EndDoc() {
    ++ended_;
}

MsgAnswer QuietMessageBox::show(const QString& prompt, MsgButtons, MsgIcon, const QString&, MsgAnswer) {
    prompts << prompt;
    if (echo) {
        std::printf("   (box: %s)\n", prompt.toUtf8().constData());
        std::fflush(stdout);
    }
    return MsgAnswer::Ok;
}

QuietPlatform::QuietPlatform(const QString& folder, const QDateTime& now)
    : platform{msg, clock, end, printer, progress, busy, folder}, work(platform) {
    clock.set(now.date(), now.time());
    printer.cancelNext(true);
}

} // namespace qv::test
