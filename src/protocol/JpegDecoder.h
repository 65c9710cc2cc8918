#pragma once
// TJpegDecoder: Tight's JPEG rectangles, decoded by libjpeg-turbo straight into the 32-bit
// framebuffer's layout (blue, green, red, unused bytes). One per session: the decompressor is
// made once and reused.
//
// A server's JPEG is untrusted: libjpeg reports a broken image through its error exit (a
// warning, such as data that ends early, counts as one), which here jumps back out of the
// library instead of ending the process, and the decoder then throws ProtocolViolation. An image whose size is not the rectangle's is refused the same way.
// libjpeg's own memory is bounded by kMaxWorkingMemory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/PixelOps.h"

namespace zarn {

class TJpegDecoder {
public:
    static constexpr long kMaxWorkingMemory = 64L << 20;

    TJpegDecoder();
    ~TJpegDecoder();
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;

    // Decodes the JPEG in [data, data + size), which must be width x height, to (x, y) of `fb`,
    // clipped to it. Throws ProtocolViolation when it is not such a JPEG; rows decoded before
    // the fault stay written.
    void Decode(const uint8_t* data, size_t size, const PixelSurface<uint32_t>& fb, int x, int y, int width,
        int height);

private:
    struct State;
    std::unique_ptr<State> FState;
    std::vector<uint8_t> FRow; // a clipped row, decoded before its visible part is copied
};

} // namespace zarn
