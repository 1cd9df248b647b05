#include "listview/ui/ListIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace bexora {

namespace {
constexpr int kSize = 16;

// Drawn at 1x, 2x and 3x in the same 16-unit coordinates: on a scaled
// screen the icon is drawn for it, not blown up from 16 pixels.
QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A small auction tag: a rounded card with a hole and two text lines.
void DrawTag(QPainter& p, const QColor& fill) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tag;
    tag.addRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
    p.setPen(QPen(QColor(60, 70, 90), 1));
    p.setBrush(fill);
    p.drawPath(tag);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3, 6.5, 3, 3));
    p.setPen(QPen(QColor(60, 70, 90), 1.2));
    p.drawLine(QPointF(7.5, 6.5), QPointF(12.5, 6.5));
    p.drawLine(QPointF(7.5, 9.5), QPointF(11, 9.5));
}
}  // namespace

QIcon ItemIcon() {
    return Drawn([](QPainter& p) { DrawTag(p, QColor(120, 170, 230)); });
}

QIcon UpdatingIcon() {
    return Drawn([](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        // Two arrows chasing each other round: a refresh in flight.
        QPen pen(QColor(30, 140, 60), 2);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QRectF ring(3, 3, 10, 10);
        p.drawArc(ring, 30 * 16, 140 * 16);
        p.drawArc(ring, 210 * 16, 140 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 140, 60));
        QPolygonF head1{QPointF(11.5, 0.8), QPointF(15.2, 4.5), QPointF(10.4, 5.8)};
        QPolygonF head2{QPointF(4.5, 15.2), QPointF(0.8, 11.5), QPointF(5.6, 10.2)};
        p.drawPolygon(head1);
        p.drawPolygon(head2);
    });
}

QIcon NoteIcon() {
    return Drawn([](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        // A yellow sheet with a folded corner and lines of writing.
        QPainterPath sheet;
        sheet.moveTo(2.5, 1.5);
        sheet.lineTo(10.5, 1.5);
        sheet.lineTo(13.5, 4.5);
        sheet.lineTo(13.5, 14.5);
        sheet.lineTo(2.5, 14.5);
        sheet.closeSubpath();
        p.setPen(QPen(QColor(150, 120, 20), 1));
        p.setBrush(QColor(255, 225, 90));
        p.drawPath(sheet);
        p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
        p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
        p.setPen(QPen(QColor(120, 90, 20), 1));
        for (double y : {6.5, 9.0, 11.5}) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
    });
}

QList<QIcon> ItemListImages() {
    QIcon note = NoteIcon();
    return {ItemIcon(), UpdatingIcon(), note, note, note};
}

}  // namespace bexora
