#pragma once
// Tight rectangles. A compression-control byte resets any of the session's four zlib streams
// (bits 0..3) and names the form: a fill of one colour, a JPEG (true colour only), or basic
// compression through one of the streams with the copy, palette (2 colours: 1 bit a pixel,
// rows padded to a byte; up to 256: a byte a pixel) or gradient filter. Data under 12 bytes is
// sent as it is; longer data follows a 1 to 3 byte compact length. Pixels are TPIXELs: red,
// green, blue in true colour, the index byte in 256 colours.
//
// A server's values are checked before they are used: a compact length past
// limits::kMaxTightDataBytes throws LimitExceeded; a JPEG in 256 colours, an unknown form or
// filter, a palette index past the palette, the gradient filter on a rectangle wider than
// limits::kMaxTightGradientWidth, a broken JPEG and data that inflates to less or more than
// the rectangle throw ProtocolViolation. Writes are clipped to the framebuffer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Transport.h"
#include "protocol/ChangedRegion.h"
#include "protocol/EncodingList.h"
#include "protocol/CompactPixels.h"

namespace zarn {

// The compression-control byte's forms (its high nibble) and the filters.
enum : uint8_t { kTightFill = 8, kTightJpeg = 9, kTightReadFilter = 4 };
enum : uint8_t { kTightCopyFilter = 0, kTightPaletteFilter = 1, kTightGradientFilter = 2 };
// Shorter data is sent uncompressed.
inline constexpr size_t kTightMinToCompress = 12;

template <typename Pixel> class TightDecoder {
public:
    TightDecoder(ITransport& input, std::vector<uint8_t>& buffer, uint64_t& bytesReceived,
        TCompressionState& state, PixelSurface<Pixel> target, TChangedRegion* changed)
        : FInput(input)
        , FBuffer(buffer)
        , FBytesReceived(bytesReceived)
        , FState(state)
        , FTarget(target)
        , FChanged(changed)
    {
    }

    // Reads the rectangle's data that follows its header.
    void Decode(int x, int y, int width, int height);

private:
    const uint8_t* Read(size_t n);
    uint32_t ReadCompactLength();
    void DecodeJpeg(int x, int y, int width, int height);
    void DecodeBasic(int x, int y, int width, int height, uint8_t control);
    template <typename RowSource> void Unfilter(int x, int y, int width, int height, uint8_t filter, RowSource next);

    ITransport& FInput;
    std::vector<uint8_t>& FBuffer;
    uint64_t& FBytesReceived;
    TCompressionState& FState;
    PixelSurface<Pixel> FTarget;
    TChangedRegion* FChanged;
    Pixel FPalette[256] {};
    size_t FPaletteSize = 0;
};

extern template class TightDecoder<uint32_t>;
extern template class TightDecoder<uint8_t>;

} // namespace zarn
