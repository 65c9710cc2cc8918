#pragma once
// Server-side encoders for the benchmark streams: Raw, CopyRect, RRE and Hextile, over either
// pixel mode, producing the bytes a server would put on the wire. RRE and Hextile choose their
// subrectangles the way common servers do (greedy runs grown downwards; per tile: solid, two
// colours, many colours, or raw when that is shorter), so the data has the shape clients meet.

#include <cstdint>
#include <vector>

#include "BenchImages.h"

namespace zarn::bench {

enum class Encoding : int32_t { Raw = 0, CopyRect = 1, RRE = 2, Hextile = 5 };
const char* EncodingName(Encoding encoding);

using Bytes = std::vector<uint8_t>;

// type 0, padding, rectangle count
void AppendUpdateHeader(Bytes& out, uint16_t rectangles);
void AppendRectHeader(Bytes& out, int x, int y, int width, int height, Encoding encoding);
void AppendCopyRect(Bytes& out, int x, int y, int width, int height, int sourceX, int sourceY);
// SetColourMapEntries for `colours` (0x00RRGGBB) from entry `first`.
void AppendColourMap(Bytes& out, uint16_t first, const std::vector<uint32_t>& colours);

// A rectangle header and the data of `encoding` for the region of `picture` (not CopyRect).
template <typename Pixel>
void AppendRectangle(
    Bytes& out, Encoding encoding, const Picture<Pixel>& picture, int x, int y, int width, int height);

// The data alone (after the rectangle header).
template <typename Pixel>
void AppendRaw(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height);
template <typename Pixel>
void AppendRRE(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height);
template <typename Pixel>
void AppendHextile(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height);

} // namespace zarn::bench
