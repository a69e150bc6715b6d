#include "platform/Icon.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <optional>

namespace qv {

namespace {
// Drawn once for the application and shared by all its windows; it goes with the application.
std::optional<QIcon> drawnIcon;

void forgetDrawnIcon() {
    drawnIcon.reset();
}
} // namespace

QPixmap programPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(96, 112, 224));
    tile.setColorAt(1, QColor(48, 64, 176));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    QPainterPath tooth;
    tooth.moveTo(18, 14);
    tooth.cubicTo(10, 14, 8, 22, 10, 30);
    tooth.cubicTo(12, 38, 14, 50, 19, 50);
    tooth.cubicTo(23, 50, 24, 40, 26, 36);
    tooth.cubicTo(28, 33, 36, 33, 38, 36);
    tooth.cubicTo(40, 40, 41, 50, 45, 50);
    tooth.cubicTo(50, 50, 52, 38, 54, 30);
    tooth.cubicTo(56, 22, 54, 14, 46, 14);
    tooth.cubicTo(40, 14, 38, 17, 32, 17);
    tooth.cubicTo(26, 17, 24, 14, 18, 14);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(32, 32, 96), 2));
    painter.drawPath(tooth);
    return pixmap;
}

QIcon programIcon() {
    if (!drawnIcon) {
        QIcon icon;
        for (int size : {16, 32, 48, 64, 256})
            icon.addPixmap(programPixmap(size));
        drawnIcon = icon;
        qAddPostRoutine(forgetDrawnIcon);
    }
    return *drawnIcon;
}

} // namespace qv
