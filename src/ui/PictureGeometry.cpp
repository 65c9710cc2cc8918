#include "ui/PictureGeometry.h"

#include <algorithm>
#include <cmath>

namespace zarn {

namespace {

int Floor(double value)
{
    return int(std::floor(value));
}

int Ceil(double value)
{
    return int(std::ceil(value));
}

// From whole-pixel edges, so that a rectangle rounded outwards keeps every pixel it touched.
QRect FromEdges(int left, int top, int right, int bottom)
{
    if (right <= left || bottom <= top)
        return QRect();
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

QSize TPictureGeometry::OneToOnePanelSize(QSize framebuffer, double devicePixelRatio)
{
    if (devicePixelRatio <= 0 || devicePixelRatio == 1)
        return framebuffer;
    // 1e-9 keeps a ratio such as 1.1 from rounding 1100 / 1.1 = 1000.0000000000002 up to 1001.
    return QSize(Ceil(framebuffer.width() / devicePixelRatio - 1e-9),
        Ceil(framebuffer.height() / devicePixelRatio - 1e-9));
}

TPictureGeometry::TPictureGeometry(QSize framebuffer, QSize panel, double devicePixelRatio, TPictureFit fit)
    : FFramebuffer(framebuffer)
    , FPanel(panel)
    , FRatio(devicePixelRatio > 0 ? devicePixelRatio : 1)
    , FFit(fit)
{
    if (framebuffer.isEmpty() || panel.isEmpty())
        return;
    const QSize device(int(std::lround(panel.width() * FRatio)), int(std::lround(panel.height() * FRatio)));
    if (fit == TPictureFit::Stretch) {
        // A panel sized for one-to-one shows exactly that, also where the ratio does not divide
        // the framebuffer: stretching by a fraction of a pixel would blur the whole picture.
        FTarget = panel == OneToOnePanelSize(framebuffer, FRatio) ? QRect(QPoint(0, 0), framebuffer)
                                                                  : QRect(QPoint(0, 0), device);
    } else {
        const double scale = std::min(
            double(device.width()) / framebuffer.width(), double(device.height()) / framebuffer.height());
        const int width = std::clamp(int(std::lround(framebuffer.width() * scale)), 1, device.width());
        const int height = std::clamp(int(std::lround(framebuffer.height() * scale)), 1, device.height());
        FTarget = QRect((device.width() - width) / 2, (device.height() - height) / 2, width, height);
    }
    FOneToOne = FTarget.size() == framebuffer;
    FScaleX = double(FTarget.width()) / framebuffer.width();
    FScaleY = double(FTarget.height()) / framebuffer.height();
}

QRect TPictureGeometry::ToDevice(const QRect& logical) const
{
    if (FRatio == 1)
        return logical;
    return FromEdges(Floor(logical.x() * FRatio), Floor(logical.y() * FRatio),
        Ceil((logical.x() + logical.width()) * FRatio), Ceil((logical.y() + logical.height()) * FRatio));
}

QRect TPictureGeometry::ToLogical(const QRect& device) const
{
    if (FRatio == 1)
        return device;
    return FromEdges(Floor(device.x() / FRatio), Floor(device.y() / FRatio),
        Ceil((device.x() + device.width()) / FRatio), Ceil((device.y() + device.height()) / FRatio));
}

QRect TPictureGeometry::PanelAreaOf(const QRect& changed) const
{
    if (Empty())
        return QRect();
    const QRect r = changed & QRect(QPoint(0, 0), FFramebuffer);
    if (r.isEmpty())
        return QRect();
    QRect device;
    if (FOneToOne) {
        device = r.translated(FTarget.topLeft());
    } else {
        // A scaled pixel's edges fall between device pixels: round outwards. Nearest-neighbour
        // takes one more pixel each side for the scaler's own rounding; the bilinear filter
        // reads half a server pixel beyond each edge, which is at most one device pixel when
        // shrinking and half a scaled pixel (plus its rounding) when enlarging.
        const int marginX = Smooth() ? Ceil(FScaleX / 2 + 0.5) : 1;
        const int marginY = Smooth() ? Ceil(FScaleY / 2 + 0.5) : 1;
        device = FromEdges(Floor(FTarget.x() + r.x() * FScaleX) - marginX,
                     Floor(FTarget.y() + r.y() * FScaleY) - marginY,
                     Ceil(FTarget.x() + (r.x() + r.width()) * FScaleX) + marginX,
                     Ceil(FTarget.y() + (r.y() + r.height()) * FScaleY) + marginY)
            & FTarget;
    }
    return ToLogical(device) & QRect(QPoint(0, 0), FPanel);
}

QPoint TPictureGeometry::FramebufferPixelAt(QPointF position) const
{
    if (Empty())
        return QPoint(0, 0);
    const double x = position.x() * FRatio - FTarget.x();
    const double y = position.y() * FRatio - FTarget.y();
    // Clamped as doubles first: a position far outside must not overflow the int.
    const double column = std::clamp(std::floor(x / FScaleX), 0.0, double(FFramebuffer.width() - 1));
    const double row = std::clamp(std::floor(y / FScaleY), 0.0, double(FFramebuffer.height() - 1));
    return QPoint(int(column), int(row));
}

} // namespace zarn
