#include "imaging/RgbImage.h"

#include "imaging/ImagingError.h"

namespace zarn {
namespace {

size_t BytesPerPixel(const ImageView& view)
{
    return view.indexed ? 1 : 4;
}

// Order lists where red, green and blue go within each output triple.
template <int RedAt, int GreenAt, int BlueAt> void ConvertRow(const ImageView& view, int y, uint8_t* out)
{
    const uint8_t* source = view.bits + static_cast<size_t>(y) * view.stride;
    if (view.indexed) {
        for (int x = 0; x < view.width; ++x, out += 3) {
            const TRGBQuad& colour = view.colorTable[source[x]];
            out[RedAt] = colour.rgbRed;
            out[GreenAt] = colour.rgbGreen;
            out[BlueAt] = colour.rgbBlue;
        }
        return;
    }
    for (int x = 0; x < view.width; ++x, source += 4, out += 3) {
        out[RedAt] = source[2];
        out[GreenAt] = source[1];
        out[BlueAt] = source[0];
    }
}

} // namespace

bool CheckImageView(const ImageView& view, std::string* error)
{
    if (view.empty())
        return Fail(error, "the picture is empty");
    if (view.stride / BytesPerPixel(view) < static_cast<size_t>(view.width))
        return Fail(error, "the picture's rows are shorter than its width");
    if (view.indexed && view.colorTable == nullptr)
        return Fail(error, "the picture has colour indices but no colour table");
    return true;
}

void ViewRowToRgb(const ImageView& view, int y, uint8_t* out)
{
    ConvertRow<0, 1, 2>(view, y, out);
}

void ViewRowToBgr(const ImageView& view, int y, uint8_t* out)
{
    ConvertRow<2, 1, 0>(view, y, out);
}

RgbImage ToRgb(const ImageView& view)
{
    RgbImage image;
    if (!CheckImageView(view))
        return image;
    image.width = view.width;
    image.height = view.height;
    image.pixels.resize(static_cast<size_t>(view.width) * static_cast<size_t>(view.height) * 3);
    for (int y = 0; y < view.height; ++y)
        ViewRowToRgb(view, y, image.Row(y));
    return image;
}

} // namespace zarn
