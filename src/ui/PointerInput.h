#pragma once
// What a mouse event over the remote picture becomes in a PointerEvent: the buttons held after
// the event and the position in framebuffer pixels.

#include <cstdint>

#include <QPointF>
#include <QSize>

#include "ui/PictureGeometry.h"

namespace zarn {

// RFB button mask: 1 left, 2 middle, 4 right.
uint8_t ButtonMaskOf(Qt::MouseButtons buttons);

struct TFramebufferPoint {
    uint16_t x = 0;
    uint16_t y = 0;
};

// `position` on a panel of `panel` pixels, scaled to a framebuffer of `framebuffer` pixels
// (truncated toward zero) and clipped to it: while a button is held the panel also reports
// positions outside itself, and the wire's unsigned fields would turn -1 into the far edge.
TFramebufferPoint FramebufferPoint(QPointF position, QSize panel, QSize framebuffer);
// `position` in logical panel pixels over the picture laid out by `geometry` (its device pixels,
// its scaling and its bands), clipped to the framebuffer the same way.
TFramebufferPoint FramebufferPoint(QPointF position, const TPictureGeometry& geometry);

} // namespace zarn
