#include "ui/ClientPanel.h"

#include <QPaintEvent>
#include <QPainter>

namespace zarn {

namespace {

bool SameLayout(const ImageView& a, const ImageView& b)
{
    return a.bits == b.bits && a.width == b.width && a.height == b.height && a.stride == b.stride
        && a.indexed == b.indexed;
}

} // namespace

TClientPanel::TClientPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlClient"));
    setAutoFillBackground(false);
    // Every paint covers what it was asked for, either with the picture or with the background.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    FLastRatio = devicePixelRatioF();
}

void TClientPanel::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(*event);
}

void TClientPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(*event);
}

void TClientPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(*event);
}

void TClientPanel::ShowPicture(TPictureSource source)
{
    FSource = std::move(source);
    update();
}

void TClientPanel::ShowBackground()
{
    FSource = nullptr;
    FImage = QImage();
    FWrapped = ImageView();
    update();
}

void TClientPanel::SetScaleToWindow(bool on)
{
    const TPictureFit fit = on ? TPictureFit::Aspect : TPictureFit::Stretch;
    if (fit == FFit)
        return;
    FFit = fit;
    update();
}

TPictureGeometry TClientPanel::GeometryFor(QSize framebuffer) const
{
    return TPictureGeometry(framebuffer, size(), devicePixelRatioF(), FFit);
}

const TPictureGeometry& TClientPanel::CachedGeometry(QSize framebuffer)
{
    const double ratio = devicePixelRatioF();
    if (framebuffer != FGeometry.FramebufferSize() || size() != FGeometry.PanelSize()
        || ratio != FGeometry.DevicePixelRatio() || FFit != FGeometry.Fit())
        FGeometry = TPictureGeometry(framebuffer, size(), ratio, FFit);
    return FGeometry;
}

bool TClientPanel::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // Qt tells every widget of a window that moved to another screen; only a new ratio matters.
    if (event->type() == QEvent::ScreenChangeInternal) {
        const double ratio = devicePixelRatioF();
        if (ratio != FLastRatio) {
            FLastRatio = ratio;
            if (OnDevicePixelRatioChange)
                OnDevicePixelRatioChange();
        }
    }
    return handled;
}

QRegion TClientPanel::PanelAreaOf(const TChangedRegion& changed, const TPictureGeometry& geometry) const
{
    QRegion area;
    for (const TChangedRect& r : changed.Rects())
        area += geometry.PanelAreaOf(QRect(r.x, r.y, r.width, r.height));
    return area;
}

void TClientPanel::RepaintChanged(const TChangedRegion& changed)
{
    if (changed.Empty() || !FSource)
        return;
    const ImageView view = FSource();
    if (view.empty())
        return;
    const QRegion area = PanelAreaOf(changed, CachedGeometry(QSize(view.width, view.height)));
    if (!area.isEmpty())
        repaint(area);
}

void TClientPanel::UpdateColourTable(const ImageView& view)
{
    // Only a changed colour map builds a new table; the common frame allocates nothing.
    bool changed = FImage.colorCount() != 256;
    if (FColourTable.size() != 256) {
        FColourTable.resize(256);
        changed = true;
    }
    for (int i = 0; i < 256; ++i) {
        const TRGBQuad& entry = view.colorTable[i];
        const QRgb colour = qRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
        if (FColourTable.at(i) != colour) {
            FColourTable[i] = colour;
            changed = true;
        }
    }
    if (changed)
        FImage.setColorTable(FColourTable);
}

const QImage& TClientPanel::Wrap(const ImageView& view)
{
    if (!SameLayout(view, FWrapped) || FImage.isNull()) {
        // The non-const constructor matters: Qt deep-copies a read-only buffer as soon as the
        // colour table is set. The image is only ever read.
        FImage = QImage(const_cast<uchar*>(view.bits), view.width, view.height, qsizetype(view.stride),
            view.indexed ? QImage::Format_Indexed8 : QImage::Format_RGB32);
        FWrapped = view;
        FColourTable.clear();
    }
    if (view.indexed)
        UpdateColourTable(view);
    return FImage;
}

void TClientPanel::FillOutsidePicture(QPainter& painter, const QRect& area, const QRect& picture) const
{
    // Up to four bands around the picture, as plain rectangles: no region is built per paint.
    const QRect inside = area & picture;
    if (inside == area)
        return;
    if (inside.isEmpty()) {
        painter.fillRect(area, BackgroundColour());
        return;
    }
    const QRect bands[] = {
        QRect(QPoint(area.left(), area.top()), QPoint(area.right(), inside.top() - 1)),
        QRect(QPoint(area.left(), inside.bottom() + 1), QPoint(area.right(), area.bottom())),
        QRect(QPoint(area.left(), inside.top()), QPoint(inside.left() - 1, inside.bottom())),
        QRect(QPoint(inside.right() + 1, inside.top()), QPoint(area.right(), inside.bottom())),
    };
    for (const QRect& band : bands)
        if (band.isValid())
            painter.fillRect(band, BackgroundColour());
}

void TClientPanel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const ImageView view = FSource ? FSource() : ImageView();
    if (view.empty() || (view.indexed && view.colorTable == nullptr)) {
        for (const QRect& area : event->region())
            painter.fillRect(area, BackgroundColour());
        return;
    }
    const QImage& image = Wrap(view);
    const TPictureGeometry& geometry = CachedGeometry(image.size());
    const QRect& target = geometry.Target();
    // From here on the painter counts device pixels: a one-to-one picture is then a plain copy,
    // never resampled across a fractional logical grid.
    const double ratio = geometry.DevicePixelRatio();
    if (ratio != 1)
        painter.scale(1 / ratio, 1 / ratio);
    if (geometry.Smooth())
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const QRect& logical : event->region()) {
        const QRect area = geometry.ToDevice(logical);
        FillOutsidePicture(painter, area, target);
        const QRect inside = area & target;
        if (inside.isEmpty())
            continue;
        if (geometry.OneToOne()) {
            painter.drawImage(inside.topLeft(), image, inside.translated(-target.topLeft()));
            continue;
        }
        // Scaled: every area is drawn through the same whole-picture mapping, clipped to it, so
        // neighbouring areas meet without seams and the scaler works only inside the clip.
        painter.setClipRect(inside);
        painter.drawImage(target, image);
    }
}

} // namespace zarn
