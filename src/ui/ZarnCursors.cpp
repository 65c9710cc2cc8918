#include "ui/ZarnCursors.h"

#include <bit>
#include <cstdlib>

#include <QBitmap>
#include <QImage>

namespace zarn {

bool TCursorPicture::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= kSize || y >= kSize)
        return false;
    return (rows[size_t(y)] >> x) & 1u;
}

void TCursorPicture::Set(int x, int y)
{
    if (x < 0 || y < 0 || x >= kSize || y >= kSize)
        return;
    rows[size_t(y)] |= 1u << x;
}

int TCursorPicture::Count() const
{
    int count = 0;
    for (const uint32_t row : rows)
        count += std::popcount(row);
    return count;
}

namespace {

// A 3 x 3 square whose centre pixel is left open, so the remote pixel under the hot spot
// stays visible.
TCursorPicture DotPicture()
{
    TCursorPicture picture;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            if (x != 1 || y != 1)
                picture.Set(x, y);
    picture.hotX = 1;
    picture.hotY = 1;
    return picture;
}

// An 11 x 11 cross: four arms of 4 pixels, a one-pixel gap, and the centre pixel.
TCursorPicture CrosshairPicture()
{
    TCursorPicture picture;
    constexpr int centre = 5;
    for (int i = 0; i <= 10; ++i) {
        if (std::abs(i - centre) < 2)
            continue;
        picture.Set(i, centre);
        picture.Set(centre, i);
    }
    picture.Set(centre, centre);
    picture.hotX = centre;
    picture.hotY = centre;
    return picture;
}

void CirclePoints(TCursorPicture& picture, int cx, int cy, int x, int y)
{
    picture.Set(cx + x, cy + y);
    picture.Set(cx - x, cy + y);
    picture.Set(cx + x, cy - y);
    picture.Set(cx - x, cy - y);
    picture.Set(cx + y, cy + x);
    picture.Set(cx - y, cy + x);
    picture.Set(cx + y, cy - x);
    picture.Set(cx - y, cy - x);
}

// A 31 x 31 sight: a circle of radius 12, a cross through the centre across the whole
// picture, and short diagonal strokes between the centre and the circle.
TCursorPicture FuglyPicture()
{
    TCursorPicture picture;
    constexpr int centre = 15;
    constexpr int radius = 12;
    // Midpoint circle: one pixel wide, no gaps.
    int x = radius;
    int y = 0;
    int error = 1 - radius;
    while (x >= y) {
        CirclePoints(picture, centre, centre, x, y);
        ++y;
        if (error < 0) {
            error += 2 * y + 1;
        } else {
            --x;
            error += 2 * (y - x) + 1;
        }
    }
    for (int i = 0; i <= 30; ++i) {
        picture.Set(i, centre);
        picture.Set(centre, i);
    }
    for (int d = 4; d <= 7; ++d) {
        picture.Set(centre + d, centre + d);
        picture.Set(centre - d, centre + d);
        picture.Set(centre + d, centre - d);
        picture.Set(centre - d, centre - d);
    }
    picture.hotX = centre;
    picture.hotY = centre;
    return picture;
}

QBitmap ToBitmap(const TCursorPicture& picture)
{
    QImage image(TCursorPicture::kSize, TCursorPicture::kSize, QImage::Format_Mono);
    image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    image.fill(0);
    for (int y = 0; y < TCursorPicture::kSize; ++y)
        for (int x = 0; x < TCursorPicture::kSize; ++x)
            if (picture.Pixel(x, y))
                image.setPixel(x, y, 1);
    return QBitmap::fromImage(image);
}

} // namespace

TCursorPicture CursorPicture(TCursorShape shape)
{
    switch (shape) {
    case TCursorShape::Dot:
        return DotPicture();
    case TCursorShape::Crosshair:
        return CrosshairPicture();
    case TCursorShape::Fugly:
        return FuglyPicture();
    }
    return {};
}

QCursor MakeCursor(TCursorShape shape)
{
    const TCursorPicture picture = CursorPicture(shape);
    // Black on transparent: the same bits serve as picture and as mask.
    const QBitmap bits = ToBitmap(picture);
    return QCursor(bits, bits, picture.hotX, picture.hotY);
}

TCursorTable::TCursorTable()
    : FDot(MakeCursor(TCursorShape::Dot))
    , FCrosshair(MakeCursor(TCursorShape::Crosshair))
    , FFugly(MakeCursor(TCursorShape::Fugly))
{
}

QCursor TCursorTable::ForSetting(int cursorSetting) const
{
    switch (cursorSetting) {
    case 1:
        return FDot;
    case 2:
        return FCrosshair;
    case 3:
        return QCursor(Qt::BlankCursor);
    case 4:
        return FFugly;
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

} // namespace zarn
