#include "protocol/EncodingList.h"

#include "protocol/Decoders.h"

namespace zarn {

namespace {

bool IsLevel(int value)
{
    return value >= 0 && value <= 9;
}

} // namespace

std::vector<int32_t> EncodingList(const TEncodingChoice& choice)
{
    std::vector<int32_t> list;
    if (choice.Tight)
        list.push_back(kEncodingTight);
    if (choice.ZRLE)
        list.push_back(kEncodingZRLE);
    if (choice.Hextile)
        list.push_back(kEncodingHextile);
    if (choice.RRE)
        list.push_back(kEncodingRRE);
    if (choice.CopyRect)
        list.push_back(kEncodingCopyRect);
    list.push_back(kEncodingRaw);
    // The levels tune Tight alone; a server that is not sending Tight has no use for them.
    if (choice.Tight && IsLevel(choice.JpegQuality))
        list.push_back(kPseudoJpegQualityLevel0 + choice.JpegQuality);
    if (choice.Tight && IsLevel(choice.CompressLevel))
        list.push_back(kPseudoCompressLevel0 + choice.CompressLevel);
    if (choice.DesktopResize) {
        list.push_back(kPseudoDesktopSize);
        list.push_back(kPseudoExtendedDesktopSize);
        list.push_back(kPseudoLastRect);
    }
    return list;
}

} // namespace zarn
