#pragma once
// The rectangle decoders of a FramebufferUpdate: Raw, CopyRect, RRE and Hextile, one class
// template over the pixel type (uint32_t for true colour, uint8_t for colour-map indices).
// Each decoder reads exactly its encoding's data from the transport, counts it in the
// session's received-bytes counter, and writes the pixels through the clipping primitives
// of PixelOps, so a rectangle placed outside the framebuffer is still consumed whole and the
// stream stays in step.
//
// Memory stays bounded whatever the wire says: data is read into one reused buffer, and the
// two blocks whose size a server controls without limit (Raw rows: up to 65535 x 65535
// pixels; RRE subrectangles: up to 2^32 - 1 of them) are read in bounded chunks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/Transport.h"
#include "protocol/ChangedRegion.h"
#include "protocol/PixelOps.h"

namespace zarn {

// Encoding types of a rectangle header.
enum : int32_t { kEncodingRaw = 0, kEncodingCopyRect = 1, kEncodingRRE = 2, kEncodingHextile = 5 };

// Hextile subencoding bits.
enum : uint8_t {
    kHextileRaw = 1,
    kHextileBackgroundSpecified = 2,
    kHextileForegroundSpecified = 4,
    kHextileAnySubrects = 8,
    kHextileSubrectsColoured = 16,
};

// Largest block one read may ask for while decoding Raw data (at least one whole row is read
// at a time, which for the widest rectangle is 65535 x 4 bytes).
inline constexpr size_t kMaxRawChunkBytes = 1u << 20;
// RRE subrectangles are read and applied this many at a time.
inline constexpr size_t kRreSubrectsPerChunk = 8192;

template <typename Pixel> class RectangleDecoder {
public:
    static constexpr size_t kBytesPerPixel = sizeof(Pixel);

    // `buffer` is the session's reused read buffer; `bytesReceived` its received-bytes
    // counter; `changed`, when given, receives the areas the decoder writes. All must outlive
    // the decoder.
    RectangleDecoder(ITransport& input, std::vector<uint8_t>& buffer, uint64_t& bytesReceived,
        PixelSurface<Pixel> target, TChangedRegion* changed = nullptr);

    // Each reads the rectangle's data that follows its 12-byte header. A failed read throws
    // TransportError; what was stored before it stays, and is already in the changed region
    // (an area is reported before it is written, subrectangles that reach out of their
    // rectangle included).
    void DecodeRaw(int x, int y, int width, int height);
    void DecodeCopyRect(int x, int y, int width, int height);
    void DecodeRRE(int x, int y, int width, int height);
    void DecodeHextile(int x, int y, int width, int height);

private:
    // Reports the rectangle being decoded (clipped to the framebuffer) as changed.
    void ReportWritten(int x, int y, int width, int height);
    // Exactly n bytes into the reused buffer; counted unless the caller says otherwise.
    const uint8_t* Read(size_t n, bool counted = true);
    bool ReadRawInPlace(int x, int y, int width, int height);
    void PutWholeTileRows(int tileX, int tileY, int tileHeight, const uint8_t* wire);
    void FillTileBackground(Pixel* origin, ptrdiff_t stride, int tileWidth, int tileHeight);
    bool PaintTwoColourTile(Pixel* origin, ptrdiff_t stride, int tileHeight, size_t subrectCount, const uint8_t* subrect);
    static size_t HextileHeaderBytes(uint8_t subencoding);
    static size_t HextileSubrectBytes(uint8_t subencoding);
    static size_t BufferedHextileTileBytes(std::span<const uint8_t> bytes, int tileWidth, int tileHeight);
    void ReadHextileTile(int tileX, int tileY, int tileWidth, int tileHeight);
    void PaintHextileTile(
        int tileX, int tileY, int tileWidth, int tileHeight, uint8_t subencoding, const uint8_t* body);
    void FillSubrect(int areaX, int areaY, int areaWidth, int areaHeight, bool areaInside, int subX, int subY,
        int subWidth, int subHeight, Pixel value);

    ITransport& FInput;
    std::vector<uint8_t>& FBuffer;
    uint64_t& FBytesReceived;
    PixelSurface<Pixel> FTarget;
    TChangedRegion* FChanged;
    // Hextile colours, carried from tile to tile within one rectangle.
    Pixel FBackground = 0;
    Pixel FForeground = 0;
    // A Hextile tile read piece by piece, gathered (at most 1 + 9 + 255 * 6 bytes).
    std::vector<uint8_t> FTileScratch;
};

extern template class RectangleDecoder<uint32_t>;
extern template class RectangleDecoder<uint8_t>;

using RectangleDecoder32 = RectangleDecoder<uint32_t>;
using RectangleDecoder8 = RectangleDecoder<uint8_t>;

} // namespace zarn
