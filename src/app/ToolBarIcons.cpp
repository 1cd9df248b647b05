#include "app/ToolBarIcons.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <functional>
#include <map>

#include "app/AboutDlg.h"

namespace bexora {

namespace {

// ---- palette: one hue family per kind of command ----
const QColor kInk(52, 61, 77);       // outlines and strokes
const QColor kPaper(250, 251, 253);  // documents
const QColor kBlue(47, 111, 214);    // navigation, help
const QColor kGreen(46, 160, 90);    // adding, refreshing
const QColor kRed(214, 64, 58);      // stop, delete, cancel
const QColor kAmber(240, 170, 40);   // folders, bids
const QColor kWood(168, 100, 52);    // the gavel
const QColor kSteel(120, 132, 150);  // machines, tools

using Glyph = std::function<void(QPainter&)>;

QPen Stroke(const QColor& c, qreal width = 1.5) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner, in the left part of the button.
void Page(QPainter& p, const QRectF& r) {
    const qreal fold = 5;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(Stroke(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(214, 220, 230));
    p.drawPath(corner);
}

// A round badge in the lower right corner with a plus, minus or cross.
enum class Mark { Plus, Cross };
void Badge(QPainter& p, const QColor& c, Mark mark, QPointF centre = {17.5, 17.5}, qreal r = 5.5) {
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(c);
    p.drawEllipse(centre, r, r);
    p.setPen(Stroke(Qt::white, 2.0));
    const qreal a = r * 0.5;
    if (mark == Mark::Plus) {
        p.drawLine(QPointF(centre.x() - a, centre.y()), QPointF(centre.x() + a, centre.y()));
        p.drawLine(QPointF(centre.x(), centre.y() - a), QPointF(centre.x(), centre.y() + a));
    } else {
        p.drawLine(centre + QPointF(-a, -a), centre + QPointF(a, a));
        p.drawLine(centre + QPointF(-a, a), centre + QPointF(a, -a));
    }
}

// Lines of text on a list; the selected row (every row for -1, none for
// -2) drawn as the list draws a selection.
void ListLines(QPainter& p, int selected) {
    p.setPen(Stroke(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(2.5, 3.5, 15, 15), 1.5, 1.5);
    for (int i = 0; i < 3; ++i) {
        const qreal y = 7.5 + i * 4;
        const bool on = i == selected || selected == -1;
        if (on) {
            p.setPen(Qt::NoPen);
            p.setBrush(kBlue);
            p.drawRect(QRectF(3.6, y - 1.7, 12.8, 3.4));
        }
        p.setPen(Stroke(on ? Qt::white : kInk, 1.2));
        p.drawLine(QPointF(5.5, y), QPointF(14.5, y));
    }
}

// A circular arrow around centre, clockwise from three o'clock round to
// the upper right, the head pointing into the gap.
void CircleArrow(QPainter& p, QPointF c, qreal r, const QColor& colour, qreal width) {
    constexpr qreal kStart = 0, kSweep = -300;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), int(kStart * 16), int(kSweep * 16));
    const qreal end = qDegreesToRadians(kStart + kSweep);
    const QPointF at(c.x() + r * qCos(end), c.y() - r * qSin(end));
    const QPointF along(qSin(end), qCos(end));  // the way a clockwise arc goes on
    const QPointF across(-along.y(), along.x());
    const qreal h = width * 1.25;
    QPolygonF head;
    head << at + along * (h * 1.6) << at + across * h << at - across * h;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

// A gavel, head at the upper left, struck towards the lower left.
void Gavel(QPainter& p) {
    p.save();
    p.translate(12, 11);
    p.rotate(-40);
    p.setPen(Stroke(kInk, 1.1));
    p.setBrush(kWood.darker(115));
    p.drawRoundedRect(QRectF(-1.3, 0, 2.6, 11.5), 1, 1);  // handle
    p.setBrush(kWood);
    p.drawRoundedRect(QRectF(-6.5, -5.5, 13, 6), 1.5, 1.5);  // head
    p.setBrush(kAmber);
    p.drawRect(QRectF(-6.5, -4.3, 1.8, 3.6));
    p.drawRect(QRectF(4.7, -4.3, 1.8, 3.6));
    p.restore();
    // the block it strikes
    p.setPen(Stroke(kInk, 1.1));
    p.setBrush(kSteel);
    p.drawRoundedRect(QRectF(2, 18.5, 10, 3.5), 1, 1);
}

void Arrow(QPainter& p, bool left) {
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    p.setPen(Stroke(Qt::white, 2.6));
    const qreal d = left ? -1 : 1;
    p.drawLine(QPointF(12 - 5 * d, 12), QPointF(12 + 5 * d, 12));
    p.drawLine(QPointF(12 + 5 * d, 12), QPointF(12 + 0.5 * d, 7.5));
    p.drawLine(QPointF(12 + 5 * d, 12), QPointF(12 + 0.5 * d, 16.5));
}

void Clock(QPainter& p, QPointF c, qreal r) {
    p.setPen(Stroke(kInk, 1.4));
    p.setBrush(kPaper);
    p.drawEllipse(c, r, r);
    p.setPen(Stroke(kInk, 1.0));
    for (int i = 0; i < 12; i += 3) {
        const qreal a = qDegreesToRadians(i * 30.0);
        p.drawLine(c + QPointF(qSin(a), -qCos(a)) * (r - 1.2),
                   c + QPointF(qSin(a), -qCos(a)) * (r - 2.8));
    }
    p.setPen(Stroke(kInk, 1.6));
    p.drawLine(c, c + QPointF(0, -r * 0.62));  // minutes at twelve
    p.drawLine(c, c + QPointF(r * 0.45, r * 0.2));
    p.setPen(Stroke(kRed, 1.0));
    p.drawLine(c, c + QPointF(-r * 0.45, r * 0.55));  // the seconds that matter
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(c, 1.2, 1.2);
}

const std::map<int, Glyph>& Glyphs() {
    static const std::map<int, Glyph> glyphs = {
        {cmd::kFileNew,
         [](QPainter& p) {
             Page(p, QRectF(4.5, 2.5, 13, 18));
             // a spark for "new"
             p.setPen(Stroke(kAmber, 1.8));
             const QPointF c(18, 17);
             for (int i = 0; i < 4; ++i) {
                 const qreal a = qDegreesToRadians(45.0 * i);
                 const QPointF d(qCos(a) * 3.6, qSin(a) * 3.6);
                 p.drawLine(c - d, c + d);
             }
         }},
        {cmd::kFileOpen,
         [](QPainter& p) {
             p.setPen(Stroke(kInk, 1.2));
             p.setBrush(kAmber.darker(120));
             QPainterPath back;
             back.moveTo(2.5, 19.5);
             back.lineTo(2.5, 5.5);
             back.lineTo(8.5, 5.5);
             back.lineTo(10.5, 7.5);
             back.lineTo(18.5, 7.5);
             back.lineTo(18.5, 10.5);
             p.drawPath(back);
             QPainterPath front;
             front.moveTo(2.5, 19.5);
             front.lineTo(6, 10.5);
             front.lineTo(22, 10.5);
             front.lineTo(18.5, 19.5);
             front.closeSubpath();
             p.setBrush(kAmber);
             p.drawPath(front);
         }},
        {cmd::kFileSave,
         [](QPainter& p) {
             p.setPen(Stroke(kInk, 1.2));
             p.setBrush(kBlue);
             QPainterPath disk;
             disk.moveTo(3.5, 3.5);
             disk.lineTo(17.5, 3.5);
             disk.lineTo(20.5, 6.5);
             disk.lineTo(20.5, 20.5);
             disk.lineTo(3.5, 20.5);
             disk.closeSubpath();
             p.drawPath(disk);
             p.setBrush(kPaper);
             p.drawRect(QRectF(6.5, 12.5, 11, 8));  // label
             p.setBrush(QColor(210, 220, 235));
             p.drawRect(QRectF(7.5, 3.5, 8, 5));  // shutter
             p.setPen(Qt::NoPen);
             p.setBrush(kInk);
             p.drawRect(QRectF(12.5, 4.5, 2, 3));
             p.setPen(Stroke(QColor(170, 180, 195), 1.0));
             p.drawLine(QPointF(8.5, 15.5), QPointF(15.5, 15.5));
             p.drawLine(QPointF(8.5, 18), QPointF(15.5, 18));
         }},
        {cmd::kFilePrint,
         [](QPainter& p) {
             p.setPen(Stroke(kInk, 1.2));
             p.setBrush(kPaper);
             p.drawRect(QRectF(6.5, 2.5, 11, 7));  // paper going in
             p.setBrush(kSteel);
             p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);
             p.setBrush(kPaper);
             p.drawRect(QRectF(6.5, 14.5, 11, 7));  // printed sheet
             p.setPen(Stroke(QColor(150, 160, 175), 1.0));
             p.drawLine(QPointF(8.5, 17.5), QPointF(15.5, 17.5));
             p.drawLine(QPointF(8.5, 19.5), QPointF(13.5, 19.5));
             p.setPen(Qt::NoPen);
             p.setBrush(kGreen);
             p.drawEllipse(QPointF(18.3, 11.3), 1.2, 1.2);
         }},
        {cmd::kGoBack, [](QPainter& p) { Arrow(p, true); }},
        {cmd::kGoForward, [](QPainter& p) { Arrow(p, false); }},
        {cmd::kStop,
         [](QPainter& p) {
             QPolygonF octagon;
             for (int i = 0; i < 8; ++i) {
                 const qreal a = qDegreesToRadians(22.5 + 45.0 * i);
                 octagon << QPointF(12 + 10 * qCos(a), 12 + 10 * qSin(a));
             }
             p.setPen(QPen(kRed.darker(130), 1.0));
             p.setBrush(kRed);
             p.drawPolygon(octagon);
             p.setPen(Stroke(Qt::white, 2.6));
             p.drawLine(QPointF(8, 8), QPointF(16, 16));
             p.drawLine(QPointF(8, 16), QPointF(16, 8));
         }},
        {cmd::kRefresh,
         [](QPainter& p) {
             CircleArrow(p, {12, 12.5}, 7.5, kGreen, 2.8);
         }},
        {cmd::kGoHome,
         [](QPainter& p) {
             p.setPen(Stroke(kInk, 1.2));
             p.setBrush(kPaper);
             p.drawRect(QRectF(5.5, 11, 13, 10));
             p.setBrush(kBlue);
             p.drawRect(QRectF(10, 14.5, 4, 6.5));  // door
             QPolygonF roof;
             roof << QPointF(2.5, 12) << QPointF(12, 3) << QPointF(21.5, 12);
             p.setBrush(kRed);
             p.drawPolygon(roof);
         }},
        {cmd::kAddFromPage,
         [](QPainter& p) {
             ListLines(p, -2);
             Badge(p, kGreen, Mark::Plus);
         }},
        {cmd::kDeleteItem,
         [](QPainter& p) {
             ListLines(p, 1);
             Badge(p, kRed, Mark::Cross);
         }},
        {cmd::kBidOnItem, [](QPainter& p) { Gavel(p); }},
        {cmd::kCancelPendingBid,
         [](QPainter& p) {
             Gavel(p);
             // the "no" sign over it
             p.setPen(QPen(kRed, 2.2));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(16.5, 16.5), 5.5, 5.5);
             p.drawLine(QPointF(12.6, 20.4), QPointF(20.4, 12.6));
         }},
        {cmd::kUpdateSelected,
         [](QPainter& p) {
             ListLines(p, 1);
             p.setPen(QPen(Qt::white, 3.2));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(17.5, 17.5), 4.3, 4.3);
             CircleArrow(p, {17.5, 17.5}, 4.3, kGreen, 2.0);
         }},
        {cmd::kUpdateAll,
         [](QPainter& p) {
             ListLines(p, -1);
             p.setPen(QPen(Qt::white, 3.2));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(17.5, 17.5), 4.3, 4.3);
             CircleArrow(p, {17.5, 17.5}, 4.3, kGreen, 2.0);
         }},
        {cmd::kSiteTime,
         [](QPainter& p) {
             Clock(p, {12, 12}, 9.5);
         }},
        {cmd::kOptions,
         [](QPainter& p) {
             QPainterPath gear;
             const QPointF c(12, 12);
             const int teeth = 8;
             for (int i = 0; i < teeth * 2; ++i) {
                 const qreal r = (i % 2 == 0) ? 10.0 : 7.6;
                 for (int k = 0; k < 2; ++k) {
                     const qreal a = qDegreesToRadians((i + k) * 180.0 / teeth - 90 / teeth);
                     QPointF pt = c + QPointF(qCos(a), qSin(a)) * r;
                     if (i == 0 && k == 0)
                         gear.moveTo(pt);
                     else
                         gear.lineTo(pt);
                 }
             }
             gear.closeSubpath();
             gear.addEllipse(c, 3.2, 3.2);
             gear.setFillRule(Qt::OddEvenFill);
             p.setPen(QPen(kInk, 1.0));
             p.setBrush(kSteel);
             p.drawPath(gear);
         }},
        {cmd::kHelpFinder,
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(kBlue);
             p.drawEllipse(QPointF(12, 12), 10, 10);
             QFont f("DejaVu Sans");
             f.setBold(true);
             f.setPixelSize(15);
             p.setFont(f);
             p.setPen(Qt::white);
             p.drawText(QRectF(2, 2.5, 20, 20), Qt::AlignCenter, "?");
         }},
    };
    return glyphs;
}

QImage Render(const Glyph& glyph, int px, qreal units) {
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(px / units, px / units);
    glyph(p);
    return image;
}

// Hot: the same picture a little brighter and more saturated.
QImage Hot(const QImage& normal) {
    QImage out = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            QColor c = QColor::fromRgba(line[x]);
            if (c.alpha() == 0) continue;
            float h, s, v, a;
            c.getHsvF(&h, &s, &v, &a);
            c.setHsvF(h, std::min(1.0f, s * 1.15f), std::min(1.0f, v * 1.12f + 0.04f), a);
            line[x] = c.rgba();
        }
    }
    return out;
}

// Disabled: grey and faded, so the shape stays readable.
QImage Disabled(const QImage& normal) {
    QImage out = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            const int grey = 110 + qGray(c) * 120 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(c) * 45 / 100);
        }
    }
    return out;
}

// ---- icon 128: a crosshair over a gavel on a blue tile ----

void PaintAppIcon(QPainter& p, qreal size) {
    p.save();
    p.scale(size / 256.0, size / 256.0);
    QLinearGradient ground(0, 16, 0, 240);
    ground.setColorAt(0, QColor(59, 111, 216));
    ground.setColorAt(1, QColor(29, 63, 143));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 48, 48);

    // the gavel, tilted as it strikes
    p.save();
    p.translate(128, 128);
    p.rotate(-45);
    p.translate(0, -16);  // centres head and handle inside the ring
    p.setBrush(QColor(245, 184, 46));
    p.drawRoundedRect(QRectF(-12, 10, 24, 58), 10, 10);   // handle
    p.drawRoundedRect(QRectF(-44, -34, 88, 44), 12, 12);  // head
    p.restore();

    // the sniper's crosshair
    QPen ring(Qt::white, 14, Qt::SolidLine, Qt::RoundCap);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(128, 128), 78, 78);
    p.drawLine(QPointF(128, 36), QPointF(128, 72));
    p.drawLine(QPointF(128, 184), QPointF(128, 220));
    p.drawLine(QPointF(36, 128), QPointF(72, 128));
    p.drawLine(QPointF(184, 128), QPointF(220, 128));
    p.restore();
}

}  // namespace

QIcon ToolBarIcon(int commandId) {
    auto it = Glyphs().find(commandId);
    if (it == Glyphs().end()) return QIcon();
    QIcon icon;
    for (int px : {24, 48}) {
        const QImage normal = Render(it->second, px, 24);
        icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(Hot(normal)), QIcon::Active);
        icon.addPixmap(QPixmap::fromImage(Disabled(normal)), QIcon::Disabled);
    }
    return icon;
}

const std::vector<int>& ToolBarButtons() {
    using namespace cmd;
    static const std::vector<int> buttons = {
        kFileNew,   kFileOpen, kFileSave, kFilePrint,        0,
        kGoBack,    kGoForward, kStop,    kRefresh,          kGoHome,
        0,          kAddFromPage, kDeleteItem, 0,            kBidOnItem,
        kCancelPendingBid, 0,  kUpdateSelected, kUpdateAll,  0,
        kSiteTime,  kOptions,  kHelpFinder};
    return buttons;
}

QIcon AppIcon() {
    QIcon icon;
    for (int px : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        PaintAppIcon(p, px);
        p.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QPixmap SplashPicture(const QSize& size, qreal pixelRatio) {
    QImage image(size * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);  // the painter draws in size's units, finer
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient ground(0, 0, size.width(), size.height());
    ground.setColorAt(0, QColor(29, 63, 143));
    ground.setColorAt(1, QColor(16, 34, 82));
    p.fillRect(QRect(QPoint(0, 0), size), ground);

    const qreal h = size.height();
    const qreal iconSize = std::min(h * 0.55, size.width() * 0.3);
    const qreal margin = h * 0.12;
    p.save();
    p.translate(margin, (h - iconSize) / 2);
    PaintAppIcon(p, iconSize);
    p.restore();

    const QRectF textArea(margin * 2 + iconSize, 0, size.width() - margin * 3 - iconSize, h);
    QFont title("DejaVu Sans");
    title.setBold(true);
    title.setPixelSize(std::max(8, int(h * 0.22)));
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(textArea.adjusted(0, 0, 0, -h * 0.12), Qt::AlignLeft | Qt::AlignVCenter, "Bexora");
    QFont line("DejaVu Sans");
    const QString tagline = "The last-second bid, on time";
    // As large as fits beside the icon.
    for (int px = std::max(6, int(h * 0.075)); px > 6; --px) {
        line.setPixelSize(px);
        if (QFontMetricsF(line).horizontalAdvance(tagline) <= textArea.width()) break;
    }
    p.setFont(line);
    p.setPen(QColor(245, 184, 46));
    p.drawText(textArea.adjusted(0, h * 0.2, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, tagline);
    p.setPen(QColor(190, 205, 235));
    p.drawText(QRectF(0, 0, size.width() - margin * 0.6, h - margin * 0.4),
               Qt::AlignRight | Qt::AlignBottom, kVersionText);
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace bexora
