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
    // Every paint covers the whole panel, either with the picture or with the background.
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
        painter.fillRect(event->rect(), BackgroundColour());
        return;
    }
    painter.drawImage(QRect(QPoint(0, 0), size()), Wrap(view));
}

} // namespace zarn
