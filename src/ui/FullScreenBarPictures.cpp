#include "ui/FullScreenBarPictures.h"

#include <QLinearGradient>
#include <QPainter>

namespace zarn {

namespace {

const QColor kGlyph(230, 230, 236);
const QColor kCloseFace(170, 30, 30);

// The button's face: a dark rounded plate, lit from above; held down it is lit from below and
// the glyph sinks by a pixel.
void DrawFace(QPainter& p, bool pressed, const QColor& base)
{
    QLinearGradient light(0, 0, 0, kBarButtonHeight);
    light.setColorAt(0, pressed ? base.darker(160) : base.lighter(150));
    light.setColorAt(1, pressed ? base.lighter(120) : base.darker(130));
    p.setPen(QPen(QColor(110, 110, 120), 1));
    p.setBrush(light);
    p.drawRoundedRect(QRectF(0.5, 0.5, kBarButtonWidth - 1, kBarButtonHeight - 1), 2, 2);
}

void DrawMinimizeGlyph(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawRect(QRectF(5, 9, 8, 2));
}

void DrawRestoreGlyph(QPainter& p)
{
    // Two overlapping windows: the usual sign for "back to a window".
    p.setPen(QPen(kGlyph, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(7.5, 3.5, 6, 5));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(4.5, 6.5, 6, 5));
    p.drawLine(QPointF(4.5, 7.5), QPointF(10.5, 7.5));
}

void DrawCloseGlyph(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kGlyph, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 4), QPointF(12.5, 11));
    p.drawLine(QPointF(12.5, 4), QPointF(5.5, 11));
}

} // namespace

QPixmap BarBackgroundPicture()
{
    QPixmap pixmap(kBarWidth, kBarHeight);
    pixmap.fill(Qt::black);
    QPainter p(&pixmap);
    // A faint frame on the three sides that show against the picture; the top edge meets the
    // screen's edge.
    p.setPen(QColor(70, 70, 80));
    p.drawLine(0, 0, 0, kBarHeight - 1);
    p.drawLine(0, kBarHeight - 1, kBarWidth - 1, kBarHeight - 1);
    p.drawLine(kBarWidth - 1, 0, kBarWidth - 1, kBarHeight - 1);
    return pixmap;
}

QPixmap BarButtonPicture(TBarButtonPicture which, bool pressed)
{
    QPixmap pixmap(kBarButtonWidth, kBarButtonHeight);
    pixmap.fill(Qt::black);
    QPainter p(&pixmap);
    DrawFace(p, pressed, which == TBarButtonPicture::Close ? kCloseFace : QColor(60, 60, 70));
    if (pressed)
        p.translate(0, 1);
    switch (which) {
    case TBarButtonPicture::Minimize:
        DrawMinimizeGlyph(p);
        break;
    case TBarButtonPicture::Restore:
        DrawRestoreGlyph(p);
        break;
    case TBarButtonPicture::Close:
        DrawCloseGlyph(p);
        break;
    }
    return pixmap;
}

} // namespace zarn
