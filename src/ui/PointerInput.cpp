#include "ui/PointerInput.h"

#include <algorithm>

namespace zarn {

namespace {

uint16_t Scale(double position, int panelExtent, int framebufferExtent)
{
    if (panelExtent <= 0 || framebufferExtent <= 0)
        return 0;
    const double scaled = position / panelExtent * framebufferExtent;
    return uint16_t(std::clamp(scaled, 0.0, double(std::min(framebufferExtent, 65536) - 1)));
}

} // namespace

uint8_t ButtonMaskOf(Qt::MouseButtons buttons)
{
    uint8_t mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= 1;
    if (buttons & Qt::MiddleButton)
        mask |= 2;
    if (buttons & Qt::RightButton)
        mask |= 4;
    return mask;
}

TFramebufferPoint FramebufferPoint(QPointF position, QSize panel, QSize framebuffer)
{
    return { Scale(position.x(), panel.width(), framebuffer.width()),
        Scale(position.y(), panel.height(), framebuffer.height()) };
}

TFramebufferPoint FramebufferPoint(QPointF position, const TPictureGeometry& geometry)
{
    // The framebuffer is at most 16384 pixels wide: a clipped pixel always fits the wire.
    const QPoint pixel = geometry.FramebufferPixelAt(position);
    return { uint16_t(pixel.x()), uint16_t(pixel.y()) };
}

} // namespace zarn
