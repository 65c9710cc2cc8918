#pragma once
// What SetEncodings announces, in the order the server should prefer it. With every extension
// switched off (the defaults) the list is exactly the classic one: Hextile, RRE, CopyRect as
// chosen, then Raw.

#include <cstdint>
#include <vector>

namespace zarn {

// Rectangle encodings and pseudo-encodings a client may announce.
enum : int32_t {
    kEncodingTight = 7,
    kEncodingZRLE = 16,
    kPseudoJpegQualityLevel0 = -32,      // -32 + level, level 0..9
    kPseudoCompressLevel0 = -256,        // -256 + level, level 0..9
    kPseudoDesktopSize = -223,
    kPseudoLastRect = -224,
    kPseudoExtendedDesktopSize = -308,
};

struct TEncodingChoice {
    bool CopyRect = false;
    bool RRE = false;
    bool Hextile = false;
    bool ZRLE = false;
    bool Tight = false;
    // 0..9 announces that JPEG quality level (Tight only); anything else announces none.
    int JpegQuality = -1;
    // 0..9 announces that compression level (Tight only); anything else announces none.
    int CompressLevel = -1;
    bool DesktopResize = false;
};

std::vector<int32_t> EncodingList(const TEncodingChoice& choice);

} // namespace zarn
