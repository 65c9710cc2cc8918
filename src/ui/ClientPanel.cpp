#include "ui/ClientPanel.h"

#include <cmath>

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

QRegion TClientPanel::PanelAreaOf(
    const TChangedRegion& changed, int framebufferWidth, int framebufferHeight) const
{
    QRegion area;
    const bool oneToOne = width() == framebufferWidth && height() == framebufferHeight;
    const double scaleX = double(width()) / framebufferWidth;
    const double scaleY = double(height()) / framebufferHeight;
    for (const TChangedRect& r : changed.Rects()) {
        if (oneToOne) {
            area += QRect(r.x, r.y, r.width, r.height);
            continue;
        }
        // A stretched pixel's edges fall between panel pixels: round outwards and take one
        // more pixel on each side, so no panel pixel sampled from the change is left stale.
        const int left = int(std::floor(r.x * scaleX)) - 1;
        const int top = int(std::floor(r.y * scaleY)) - 1;
        const int right = int(std::ceil((r.x + r.width) * scaleX)) + 1;
        const int bottom = int(std::ceil((r.y + r.height) * scaleY)) + 1;
        area += QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & rect();
    }
    return area;
}

void TClientPanel::RepaintChanged(const TChangedRegion& changed)
{
    if (changed.Empty() || !FSource)
        return;
    const ImageView view = FSource();
    if (view.empty())
        return;
    const QRegion area = PanelAreaOf(changed, view.width, view.height);
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
    if (image.size() == size()) {
        for (const QRect& area : event->region())
            painter.drawImage(area.topLeft(), image, area);
        return;
    }
    // Stretched: every area is drawn through the same whole-panel mapping, clipped to it, so
    // neighbouring areas meet without seams and the scaler works only inside the clip.
    const QRect target(QPoint(0, 0), size());
    for (const QRect& area : event->region()) {
        painter.setClipRect(area);
        painter.drawImage(target, image);
    }
}

} // namespace zarn
