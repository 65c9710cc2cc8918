#pragma once
// TClientPanel (pnlClient): the surface of the remote picture. While a picture source is set it
// draws the engine's current framebuffer, stretched to the panel, straight from the engine's
// arrays (the QImage only borrows them); otherwise it shows its plain background colour.
// Each paint draws only the region it is asked for: the update cycle repaints what the engine
// changed, and Qt asks for what exposure, scrolling and resizing uncover.
//
// The picture is laid out in device pixels (see TPictureGeometry): a panel of
// TPictureGeometry::OneToOnePanelSize shows one server pixel per device pixel, sharp on a HiDPI
// screen too. Scaled to the window, it keeps its aspect ratio, centred, smoothly filtered.

#include <functional>

#include <QImage>
#include <QList>
#include <QMouseEvent>
#include <QWidget>

#include "imaging/ImageView.h"
#include "protocol/ChangedRegion.h"
#include "ui/PictureGeometry.h"

class QPainter;

namespace zarn {

class TClientPanel : public QWidget {
    Q_OBJECT
public:
    explicit TClientPanel(QWidget* parent = nullptr);

    static QColor BackgroundColour() { return QColor(0, 0, 32); }

    // The picture to draw; it is called on the GUI thread at each paint and must return a view
    // that stays valid until the paint has finished.
    using TPictureSource = std::function<ImageView()>;
    void ShowPicture(TPictureSource source);
    // Back to the plain background (after a disconnect).
    void ShowBackground();
    bool ShowingPicture() const { return static_cast<bool>(FSource); }
    // Repaints at once the panel area that shows the changed framebuffer rectangles; nothing
    // when the region is empty or no picture is shown.
    void RepaintChanged(const TChangedRegion& changed);

    // Scaled to the panel keeping the aspect ratio (on), or stretched to it (off, the panel
    // then normally has the picture's one-to-one size). Repaints when it changes.
    void SetScaleToWindow(bool on);
    bool ScaleToWindow() const { return FFit == TPictureFit::Aspect; }
    // The layout of a framebuffer of that size on the panel as it is now.
    TPictureGeometry GeometryFor(QSize framebuffer) const;
    // Called when the panel's device pixel ratio changes (moved to another screen), after
    // the change: the one-to-one size of the picture changes with it. Empty hooks are skipped.
    std::function<void()> OnDevicePixelRatioChange;

    // The QImage the last paint drew, for tests: it must share the engine's memory.
    const QImage& WrappedImage() const { return FImage; }

    // Mouse press, move and release over the panel (moves also with no button down; while a
    // button is held, also outside the panel). Empty hooks are skipped.
    using TMouseHook = std::function<void(QMouseEvent& event)>;
    TMouseHook OnMouseDown, OnMouseMove, OnMouseUp;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QImage& Wrap(const ImageView& view);
    void UpdateColourTable(const ImageView& view);
    QRegion PanelAreaOf(const TChangedRegion& changed, const TPictureGeometry& geometry) const;
    // GeometryFor the framebuffer, kept while the sizes, the ratio and the fit stay the same.
    const TPictureGeometry& CachedGeometry(QSize framebuffer);
    void FillOutsidePicture(QPainter& painter, const QRect& area, const QRect& picture) const;

    TPictureSource FSource;
    QImage FImage; // borrows the engine's pixels; rebuilt only when they move
    ImageView FWrapped;
    QList<QRgb> FColourTable;
    TPictureFit FFit = TPictureFit::Stretch;
    TPictureGeometry FGeometry;
    double FLastRatio = 0;
};

} // namespace zarn
