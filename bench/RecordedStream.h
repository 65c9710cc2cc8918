#pragma once
// Streams recorded from a real server, for the end-to-end benchmark: what Xvnc sent after
// ServerInit, in its own 32-bit pixel format, saved with the screen size. Raw and CopyRect are
// replayed on a model of the screen, so a client's final picture can be checked against it;
// ZRLE and Tight recordings are only walked (the final picture is then this engine's own
// decoding, which libvncclient's picture is compared with).
//
// File: "ZRFBREC1", width and height (u16, big-endian), then the server's bytes.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "BenchStreams.h"

namespace zarn::bench {

inline constexpr char kRecordingMagic[] = "ZRFBREC1";

// Throws std::runtime_error naming the file and what is wrong with it.
BenchStream LoadRecordedStream(const std::string& path);

// The update messages at the start of `bytes` (after ServerInit): how many there are, the
// framebuffer bytes they write or move, and the picture they leave on a black screen. Throws
// on anything but Raw, CopyRect, Bell and ServerCutText, or a rectangle outside the screen.
void ReplayOnModel(BenchStream& stream);

// Reads past the data of one ZRLE or Tight rectangle of a 32-bit depth-24 stream (Tight's
// pixels are then 3 bytes); `take(n)` returns the next n bytes. Throws on another encoding.
template <typename Take> void SkipCompressedRectangle(Take&& take, int32_t encoding, size_t width, size_t height)
{
    auto u32 = [&] {
        const uint8_t* b = take(4);
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    };
    auto compactLength = [&] {
        size_t length = 0;
        for (int shift = 0; shift <= 14; shift += 7) {
            const uint8_t b = *take(1);
            length |= size_t(shift == 14 ? b : (b & 0x7f)) << shift;
            if (shift == 14 || !(b & 0x80))
                break;
        }
        return length;
    };
    if (encoding == 16) { // ZRLE
        take(u32());
        return;
    }
    if (encoding != 7)
        throw std::runtime_error("encoding " + std::to_string(encoding) + " cannot be walked");
    constexpr size_t kTPixel = 3;
    const uint8_t control = *take(1);
    const uint8_t kind = control >> 4;
    if (kind == 8) { // fill
        take(kTPixel);
        return;
    }
    if (kind == 9) { // JPEG
        take(compactLength());
        return;
    }
    if (kind > 9)
        throw std::runtime_error("Tight control byte " + std::to_string(control));
    size_t rowBytes = width * kTPixel;
    if (control & 0x40) {
        const uint8_t filter = *take(1);
        if (filter == 1) { // palette
            const size_t colours = size_t(*take(1)) + 1;
            take(colours * kTPixel);
            rowBytes = colours == 2 ? (width + 7) / 8 : width;
        } else if (filter > 2) {
            throw std::runtime_error("Tight filter " + std::to_string(filter));
        }
    }
    const size_t size = rowBytes * height;
    take(size < 12 ? size : compactLength());
}

} // namespace zarn::bench
