#include "ui/ToolbarPictures.h"

#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPainterPath>

namespace zarn {

namespace {

const QColor kOutline(40, 40, 48);
const QColor kScreenGlass(70, 130, 200);
const QColor kGood(40, 160, 60);
const QColor kBad(200, 40, 40);

// A small monitor: the shape shared by Connect and Disconnect.
void DrawMonitor(QPainter& p)
{
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(QColor(220, 220, 226));
    p.drawRoundedRect(QRectF(3.5, 4.5, 25, 18), 2, 2);
    p.setBrush(kScreenGlass);
    p.drawRect(QRectF(6.5, 7.5, 19, 12));
    p.setBrush(QColor(160, 160, 170));
    p.drawRect(QRectF(13.5, 22.5, 5, 3));
    p.drawRoundedRect(QRectF(8.5, 25.5, 15, 3), 1, 1);
}

void DrawConnect(QPainter& p)
{
    DrawMonitor(p);
    // A green arrow pointing into the screen.
    QPainterPath arrow;
    arrow.moveTo(9, 13.5);
    arrow.lineTo(17, 13.5);
    arrow.lineTo(17, 10);
    arrow.lineTo(23, 13.5);
    arrow.lineTo(17, 17);
    arrow.lineTo(17, 13.5);
    p.setPen(QPen(kGood.darker(140), 1));
    p.setBrush(kGood);
    p.drawPath(arrow);
    p.setPen(QPen(kGood, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 13.5), QPointF(17, 13.5));
}

void DrawDisconnect(QPainter& p)
{
    DrawMonitor(p);
    p.setPen(QPen(kBad, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 9.5), QPointF(21, 17.5));
    p.drawLine(QPointF(21, 9.5), QPointF(11, 17.5));
}

void DrawSettings(QPainter& p)
{
    // A gear: eight teeth around a ring.
    const QPointF centre(16, 16);
    QPainterPath gear;
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double angle = std::numbers::pi * i / teeth;
        const double r = (i % 2 == 0) ? 14.0 : 10.5;
        const double half = std::numbers::pi / (teeth * 2) * 0.8;
        const QPointF a = centre + QPointF(r * std::cos(angle - half), r * std::sin(angle - half));
        const QPointF b = centre + QPointF(r * std::cos(angle + half), r * std::sin(angle + half));
        if (i == 0)
            gear.moveTo(a);
        else
            gear.lineTo(a);
        gear.lineTo(b);
    }
    gear.closeSubpath();
    gear.addEllipse(centre, 4.5, 4.5);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(150, 155, 170));
    p.drawPath(gear);
}

void DrawFullScreen(QPainter& p)
{
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(QColor(220, 220, 226));
    p.drawRect(QRectF(6.5, 8.5, 19, 15));
    p.setPen(QPen(kScreenGlass.darker(130), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // Four corner arrows pointing outwards.
    const QPointF corners[4] = { { 2, 2 }, { 30, 2 }, { 2, 30 }, { 30, 30 } };
    for (const QPointF& corner : corners) {
        const double dx = corner.x() < 16 ? 1 : -1;
        const double dy = corner.y() < 16 ? 1 : -1;
        p.drawLine(corner, corner + QPointF(7 * dx, 7 * dy));
        p.drawLine(corner, corner + QPointF(5 * dx, 0));
        p.drawLine(corner, corner + QPointF(0, 5 * dy));
    }
}

void DrawScreenshot(QPainter& p)
{
    // A camera.
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(QRectF(2.5, 9.5, 27, 18), 3, 3);
    p.drawRect(QRectF(10.5, 5.5, 10, 4));
    p.setBrush(QColor(230, 230, 235));
    p.drawEllipse(QPointF(16, 18.5), 6.5, 6.5);
    p.setBrush(kScreenGlass);
    p.drawEllipse(QPointF(16, 18.5), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 60));
    p.drawRect(QRectF(24, 12, 3, 2));
}

void DrawAbout(QPainter& p)
{
    p.setPen(QPen(kScreenGlass.darker(150), 1.5));
    p.setBrush(kScreenGlass);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
    p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.5, 1.5);
}

} // namespace

QPixmap ToolbarPicture(TToolbarPicture which)
{
    QPixmap pixmap(kToolbarPictureSize, kToolbarPictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case TToolbarPicture::Connect:
        DrawConnect(painter);
        break;
    case TToolbarPicture::Disconnect:
        DrawDisconnect(painter);
        break;
    case TToolbarPicture::Settings:
        DrawSettings(painter);
        break;
    case TToolbarPicture::FullScreen:
        DrawFullScreen(painter);
        break;
    case TToolbarPicture::Screenshot:
        DrawScreenshot(painter);
        break;
    case TToolbarPicture::About:
        DrawAbout(painter);
        break;
    }
    return pixmap;
}

} // namespace zarn
