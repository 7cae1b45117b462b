// The log window's 16 x 16 images, drawn in code so they scale with nothing but a painter.

#include "logwin/window_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace logwin {

namespace {

template <typename Draw>
QIcon draw_image(Draw&& draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QIcon acknowledge_image()
{
    // A green tick over a red bell: the alert has been seen.
    return draw_image([](QPainter& painter) {
        painter.setPen(QPen(QColor(128, 0, 0), 1));
        painter.setBrush(QColor(220, 40, 40));
        QPainterPath bell;
        bell.moveTo(3, 12);
        bell.cubicTo(4, 10, 4, 3, 8, 3);
        bell.cubicTo(12, 3, 12, 10, 13, 12);
        bell.closeSubpath();
        painter.drawPath(bell);
        painter.drawEllipse(QRectF(7, 12, 2, 2));
        painter.setPen(QPen(QColor(0, 150, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(6, 9), QPointF(9, 13), QPointF(15, 4)}));
    });
}

QIcon view_tab_image()
{
    // A sheet with lines of text.
    return draw_image([](QPainter& painter) {
        painter.setPen(QColor(64, 64, 64));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(2.5, 1.5, 11, 13));
        painter.setPen(QColor(0, 0, 160));
        for (int y = 4; y <= 12; y += 2)
            painter.drawLine(QPointF(4.5, y + 0.5), QPointF(y % 4 == 0 ? 11.5 : 9.5, y + 0.5));
    });
}

QIcon alert_tab_image()
{
    // A warning triangle.
    return draw_image([](QPainter& painter) {
        painter.setPen(QPen(QColor(120, 80, 0), 1));
        painter.setBrush(QColor(250, 200, 30));
        painter.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(15, 14.5), QPointF(1, 14.5)}));
        painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(8, 6), QPointF(8, 10));
        painter.drawPoint(QPointF(8, 12.5));
    });
}

}  // namespace logwin
