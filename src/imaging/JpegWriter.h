#pragma once
// JPEG screenshots: baseline JPEG from 24-bit colour through libjpeg.

#include "imaging/ImageView.h"

#include <string>

namespace zarn {

constexpr int kDefaultJpegQuality = 85;

// quality is on libjpeg's 1..100 scale and clamped to it. The target is replaced only by a
// complete file; on failure false and a message.
bool WriteJpeg(const std::string& path, const ImageView& image, int quality = kDefaultJpegQuality,
    std::string* error = nullptr);

} // namespace zarn
