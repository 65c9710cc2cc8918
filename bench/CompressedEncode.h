#pragma once
// Server-side ZRLE and Tight encoders for the benchmarks and the decoder tests. Each keeps its
// zlib streams across rectangles the way a server keeps them across a session, and lets the
// caller force one form for every tile or rectangle so each sub-encoding can be exercised
// alone. Pixels are in the framebuffer's own layout (0x00RRGGBB, or colour indices).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <zlib.h>

namespace zarn::bench {

using Bytes = std::vector<uint8_t>;

// One block of pixels: `stride` elements between rows.
template <typename Pixel> struct PixelBlock {
    const Pixel* pixels;
    ptrdiff_t stride;
    int width;
    int height;
    Pixel at(int x, int y) const { return pixels[ptrdiff_t(y) * stride + x]; }
};

// A server's zlib stream: each Block continues it and ends with a sync flush (or, with
// Z_FINISH, ends the stream), as servers send a rectangle's data.
class ZlibServerStream {
public:
    explicit ZlibServerStream(int level = 6) { deflateInit(&FStream, level); }
    ~ZlibServerStream() { deflateEnd(&FStream); }
    ZlibServerStream(const ZlibServerStream&) = delete;
    ZlibServerStream& operator=(const ZlibServerStream&) = delete;

    Bytes Block(const Bytes& plain, int flush = Z_SYNC_FLUSH);
    void Reset() { deflateReset(&FStream); }

private:
    z_stream FStream {};
};

enum class ZrleForm { Raw, Solid, Packed, PlainRle, PaletteRle, Best };

class ZrleEncoder {
public:
    explicit ZrleEncoder(int level = 6);

    // The rectangle's data (the U32 length and the zlib bytes), every tile in `form` (a tile
    // whose colours do not fit the form is sent raw). Best picks the shortest per tile.
    template <typename Pixel> Bytes Encode(const PixelBlock<Pixel>& block, ZrleForm form);

private:
    ZlibServerStream FStream;
};

enum class TightForm { Fill, Copy, Palette, Gradient, Jpeg };

class TightEncoder {
public:
    explicit TightEncoder(int level = 6);

    // The rectangle's data from its compression-control byte on. `stream` picks the zlib
    // stream of basic compression; `reset` (bits 0..3) resets streams first. Palette uses the
    // rectangle's colours (at most 256). Jpeg is for 32-bit pixels only.
    template <typename Pixel>
    Bytes Encode(const PixelBlock<Pixel>& block, TightForm form, int stream = 0, uint8_t reset = 0,
        int jpegQuality = 90);

private:
    void Compress(Bytes& out, int stream, const Bytes& data);
    std::array<ZlibServerStream, 4> FStreams;
};

// Tight's 1 to 3 byte length.
void AppendCompactLength(Bytes& out, uint32_t length);

} // namespace zarn::bench
