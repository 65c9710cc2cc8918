#pragma once
// The byte streams the benchmarks decode: everything a server sends after ServerInit, built by
// a model of the server's screen so that the picture a correct client ends with is known.

#include <cstdint>
#include <string>
#include <vector>

#include "RfbEncode.h"

namespace zarn::bench {

struct BenchStream {
    std::string name;
    bool trueColour = true;
    int width = 0;
    int height = 0;
    Bytes bytes; // the server's messages, in order
    size_t colourMapBytes = 0; // length of a leading SetColourMapEntries (8-bit streams)
    uint64_t updates = 0; // FramebufferUpdate messages
    uint64_t pixelBytes = 0; // framebuffer bytes those updates write or move
    std::vector<uint8_t> finalPicture; // the framebuffer a correct client ends with, row-major
    bool compressed = false; // recorded ZRLE or Tight: finalPicture is this engine's decoding
};

// Full-screen updates of the desktop picture (four variants in turn) in one encoding; CopyRect
// scrolls the screen by a text line per update after one Raw picture to start from.
BenchStream MakeEncodingStream(Encoding encoding, bool trueColour, int width, int height, size_t targetBytes);

// A session as it usually goes: the text window scrolls (CopyRect) and its new lines arrive
// (Hextile), a button lights up (RRE), a thumbnail plays (Raw), a photo changes and a menu
// opens now and then (Hextile).
BenchStream MakeMixedStream(bool trueColour, int width, int height, size_t targetBytes);

// One FramebufferUpdate (without its type byte) covering the whole of `picture`.
template <typename Pixel> Bytes MakeFullUpdateBody(Encoding encoding, const Picture<Pixel>& picture);

} // namespace zarn::bench
