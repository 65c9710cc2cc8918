#pragma once
// Where the remote picture lies on pnlClient, and how the panel's positions and the
// framebuffer's pixels map onto each other.
//
// Every figure is worked out in the panel's device pixels, the pixels the screen really has:
// with a device pixel ratio above 1 (a HiDPI screen, QT_SCALE_FACTOR) a logical panel pixel
// covers several of them, and a picture drawn through logical pixels would be blurred. The
// picture's rectangle therefore starts and ends on whole device pixels, and a picture that is
// not scaled is copied one server pixel to one device pixel.
//
// Two fits:
//   Stretch  the picture covers the whole panel. A panel of OneToOnePanelSize shows it one
//            server pixel to one device pixel instead (its last row and column of device pixels
//            may lie past the picture at fractional ratios: they show the background).
//   Aspect   the picture is scaled to the largest size that fits the panel with its own aspect
//            ratio, centred; the bands beside it show the background. It is drawn smoothly
//            (bilinear), so a changed pixel also changes the panel pixels its filter reaches.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

namespace zarn {

enum class TPictureFit { Stretch, Aspect };

class TPictureGeometry {
public:
    TPictureGeometry() = default;
    // `panel` is the panel's logical size; a ratio below or at 0 counts as 1.
    TPictureGeometry(QSize framebuffer, QSize panel, double devicePixelRatio, TPictureFit fit);

    // The logical panel size that shows `framebuffer` one server pixel to one device pixel:
    // the framebuffer divided by the ratio, rounded up so no server pixel is cut off.
    static QSize OneToOnePanelSize(QSize framebuffer, double devicePixelRatio);

    bool Empty() const { return FTarget.isEmpty(); }
    QSize FramebufferSize() const { return FFramebuffer; }
    QSize PanelSize() const { return FPanel; }
    TPictureFit Fit() const { return FFit; }
    double DevicePixelRatio() const { return FRatio; }
    // The picture's rectangle in the panel's device pixels.
    const QRect& Target() const { return FTarget; }
    // A server pixel covers exactly one device pixel: the picture is copied, not scaled.
    bool OneToOne() const { return FOneToOne; }
    // Whether the scaled picture is filtered smoothly rather than taken nearest-neighbour.
    bool Smooth() const { return !FOneToOne && FFit == TPictureFit::Aspect; }

    // A logical rectangle of the panel in its device pixels, and back, both rounded outwards.
    QRect ToDevice(const QRect& logical) const;
    QRect ToLogical(const QRect& device) const;

    // The logical panel area that shows framebuffer rectangle `changed`: rounded outwards and,
    // when scaled, widened by the reach of the scaler (a pixel when shrinking), within the
    // picture. Empty when the rectangle does not meet the picture.
    QRect PanelAreaOf(const QRect& changed) const;

    // The framebuffer pixel under logical panel position `position`, clipped to the
    // framebuffer: positions over the bands beside an Aspect picture, and outside the panel
    // while a button is held, give the nearest edge pixel.
    QPoint FramebufferPixelAt(QPointF position) const;

private:
    QSize FFramebuffer;
    QSize FPanel;
    double FRatio = 1;
    TPictureFit FFit = TPictureFit::Stretch;
    QRect FTarget;
    bool FOneToOne = false;
    double FScaleX = 1; // device pixels per server pixel
    double FScaleY = 1;
};

} // namespace zarn
