#include "protocol/TightDecoder.h"

#include <algorithm>
#include <string>

#include "protocol/EngineErrors.h"
#include "protocol/Limits.h"

namespace zarn {

template <typename Pixel> const uint8_t* TightDecoder<Pixel>::Read(size_t n)
{
    if (n == 0)
        return FBuffer.data();
    // Already received: used where it lies, no copy.
    if (const uint8_t* buffered = FInput.PeekBuffered(n)) {
        FInput.Consume(n);
        FBytesReceived += n;
        return buffered;
    }
    if (FBuffer.size() < n)
        FBuffer.resize(n);
    FInput.ReadExact(FBuffer.data(), n);
    FBytesReceived += n;
    return FBuffer.data();
}

template <typename Pixel> uint32_t TightDecoder<Pixel>::ReadCompactLength()
{
    uint8_t part = *Read(1);
    uint32_t length = part & 0x7Fu;
    if (part & 0x80) {
        part = *Read(1);
        length |= uint32_t(part & 0x7Fu) << 7;
        if (part & 0x80)
            length |= uint32_t(*Read(1)) << 14;
    }
    if (length > limits::kMaxTightDataBytes)
        throw LimitExceeded("Tight data of " + std::to_string(length) + " bytes exceeds the limit of "
            + std::to_string(limits::kMaxTightDataBytes));
    return length;
}

template <typename Pixel> void TightDecoder<Pixel>::Decode(int x, int y, int width, int height)
{
    const uint8_t control = *Read(1);
    for (size_t i = 0; i < FState.Tight.size(); ++i)
        if (control & (1u << i))
            FState.Tight[i].Reset();
    const uint8_t form = control >> 4;
    if (form == kTightFill) {
        const Pixel value = LoadTPixel<Pixel>(Read(kCompactPixelBytes<Pixel>));
        if (FChanged)
            FChanged->Add(x, y, width, height, FTarget.width, FTarget.height);
        FillPixels(FTarget, x, y, width, height, value);
    } else if (form == kTightJpeg) {
        DecodeJpeg(x, y, width, height);
    } else if (form > kTightJpeg) {
        throw ProtocolViolation("unknown Tight compression form " + std::to_string(form));
    } else {
        DecodeBasic(x, y, width, height, form);
    }
}

template <typename Pixel> void TightDecoder<Pixel>::DecodeJpeg(int x, int y, int width, int height)
{
    if constexpr (sizeof(Pixel) == 1) {
        throw ProtocolViolation("a Tight JPEG rectangle in 256 colours");
    } else {
        const uint32_t length = ReadCompactLength();
        const uint8_t* data = Read(length);
        if (FChanged)
            FChanged->Add(x, y, width, height, FTarget.width, FTarget.height);
        FState.Jpeg.Decode(data, length, FTarget, x, y, width, height);
    }
}

template <typename Pixel>
void TightDecoder<Pixel>::DecodeBasic(int x, int y, int width, int height, uint8_t control)
{
    constexpr size_t bpp = kCompactPixelBytes<Pixel>;
    TZlibStream& stream = FState.Tight[control & 3];
    const uint8_t filter = (control & kTightReadFilter) ? *Read(1) : uint8_t(kTightCopyFilter);
    size_t rowBytes = size_t(width) * bpp;
    if (filter == kTightPaletteFilter) {
        FPaletteSize = size_t(*Read(1)) + 1;
        const uint8_t* wire = Read(FPaletteSize * bpp);
        for (size_t i = 0; i < FPaletteSize; ++i)
            FPalette[i] = LoadTPixel<Pixel>(wire + i * bpp);
        rowBytes = FPaletteSize == 2 ? (size_t(width) + 7) / 8 : size_t(width);
    } else if (filter == kTightGradientFilter) {
        if (width > limits::kMaxTightGradientWidth)
            throw ProtocolViolation("the Tight gradient filter on a rectangle " + std::to_string(width)
                + " pixels wide (at most " + std::to_string(limits::kMaxTightGradientWidth) + ")");
    } else if (filter != kTightCopyFilter) {
        throw ProtocolViolation("unknown Tight filter " + std::to_string(filter));
    }
    if (FChanged)
        FChanged->Add(x, y, width, height, FTarget.width, FTarget.height);
    const uint64_t dataBytes = uint64_t(rowBytes) * uint64_t(height);
    if (dataBytes < kTightMinToCompress) {
        // At most 11 bytes: copied out, since the receive buffer is not ours to keep.
        uint8_t plain[kTightMinToCompress];
        std::copy_n(Read(size_t(dataBytes)), size_t(dataBytes), plain);
        const uint8_t* at = plain;
        Unfilter(x, y, width, height, filter, [&] {
            const uint8_t* row = at;
            at += rowBytes;
            return row;
        });
        return;
    }
    stream.Begin(FInput, FBytesReceived, ReadCompactLength());
    Unfilter(x, y, width, height, filter, [&] { return stream.Take(rowBytes); });
    stream.End();
}

// Row by row: each row is decoded straight into the framebuffer when it lies wholly in it, else
// into the session's row buffer and stored clipped.
template <typename Pixel>
template <typename RowSource>
void TightDecoder<Pixel>::Unfilter(int x, int y, int width, int height, uint8_t filter, RowSource next)
{
    constexpr size_t bpp = kCompactPixelBytes<Pixel>;
    if (width <= 0 || height <= 0)
        return;
    const bool columnsInside = x >= 0 && x + width <= FTarget.width;
    if (FState.Row.size() < size_t(width) * sizeof(Pixel))
        FState.Row.resize(size_t(width) * sizeof(Pixel));
    Pixel* const scratch = reinterpret_cast<Pixel*>(FState.Row.data());
    // Gradient prediction works on the colour components of the row above.
    uint8_t above[limits::kMaxTightGradientWidth * 3];
    uint8_t current[limits::kMaxTightGradientWidth * 3];
    if (filter == kTightGradientFilter)
        std::fill_n(above, size_t(width) * bpp, uint8_t(0)); // the row above the first is black

    for (int i = 0; i < height; ++i) {
        const int fbRow = y + i;
        const bool direct = columnsInside && fbRow >= 0 && fbRow < FTarget.height;
        Pixel* const row = direct ? FTarget.pixels + ptrdiff_t(fbRow) * FTarget.width + x : scratch;
        const uint8_t* wire = next();
        if (filter == kTightCopyFilter) {
            LoadTPixelRow(row, wire, width);
        } else if (filter == kTightPaletteFilter && FPaletteSize == 2) {
            UnpackPaletteRow<1>(row, wire, width, FPalette);
        } else if (filter == kTightPaletteFilter) {
            // The 256 entries cover every index byte: a bad one is found after the row.
            uint8_t highest = 0;
            for (int j = 0; j < width; ++j) {
                highest = std::max(highest, wire[j]);
                row[j] = FPalette[wire[j]];
            }
            if (highest >= FPaletteSize)
                throw ProtocolViolation("Tight palette index " + std::to_string(highest) + " past a palette of "
                    + std::to_string(FPaletteSize) + " colours");
        } else {
            // Each component is predicted from the left, upper and upper-left neighbours.
            for (size_t c = 0; c < bpp; ++c) {
                current[c] = uint8_t(above[c] + wire[c]);
                for (size_t j = 1; j < size_t(width); ++j) {
                    const int predicted = std::clamp(
                        int(current[(j - 1) * bpp + c]) + int(above[j * bpp + c]) - int(above[(j - 1) * bpp + c]),
                        0, 255);
                    current[j * bpp + c] = uint8_t(predicted + wire[j * bpp + c]);
                }
            }
            for (int j = 0; j < width; ++j)
                row[j] = LoadTPixel<Pixel>(current + size_t(j) * bpp);
            std::copy_n(current, size_t(width) * bpp, above);
        }
        if (!direct)
            PutDecodedPixels(FTarget, x, fbRow, width, 1, scratch, width);
    }
}

template class TightDecoder<uint32_t>;
template class TightDecoder<uint8_t>;

} // namespace zarn
