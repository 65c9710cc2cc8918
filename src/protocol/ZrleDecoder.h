#pragma once
// ZRLE rectangles: a U32 length, then that many bytes of the session's one zlib stream, which
// inflate to 64 x 64 tiles (narrower and shorter at the right and bottom edges), left to right,
// top to bottom. Each tile is raw, one colour, packed palette indices (2 to 16 colours), plain
// runs or palette runs. Pixels are CPIXELs: three bytes in true colour, one in 256 colours.
//
// Every tile is checked against its own size: a palette index past the palette, a run past the
// tile and an unused subencoding throw ProtocolViolation, and so does data that inflates to
// less or more than the rectangle's tiles (see TZlibStream). Writes are clipped to the
// framebuffer.

#include <cstddef>
#include <cstdint>

#include "platform/Transport.h"
#include "protocol/ChangedRegion.h"
#include "protocol/EncodingList.h"
#include "protocol/PixelOps.h"
#include "protocol/ZlibStream.h"

namespace zarn {

template <typename Pixel> class ZrleDecoder {
public:
    static constexpr int kTileSide = 64;

    ZrleDecoder(ITransport& input, uint64_t& bytesReceived, TZlibStream& stream, PixelSurface<Pixel> target,
        TChangedRegion* changed)
        : FInput(input)
        , FBytesReceived(bytesReceived)
        , FStream(stream)
        , FTarget(target)
        , FChanged(changed)
    {
    }

    // Reads the rectangle's data that follows its header.
    void Decode(int x, int y, int width, int height);

private:
    void DecodeTile(int tileX, int tileY, int tileWidth, int tileHeight);
    size_t RunLength(size_t left);
    void ReadPalette(size_t count);

    ITransport& FInput;
    uint64_t& FBytesReceived;
    TZlibStream& FStream;
    PixelSurface<Pixel> FTarget;
    TChangedRegion* FChanged;
    Pixel FPalette[128] {};
    // A tile that is not wholly inside the framebuffer is decoded here, then stored clipped.
    Pixel FTile[kTileSide * kTileSide];
};

extern template class ZrleDecoder<uint32_t>;
extern template class ZrleDecoder<uint8_t>;

} // namespace zarn
