#pragma once
// GIF screenshots through giflib: one image of at most 256 colours.

#include "imaging/ImageView.h"

#include <string>

namespace zarn {

// A picture of 256 distinct colours or fewer is written losslessly with exactly those colours;
// a richer one is reduced to 256 by median cut. The target is replaced only by a complete file;
// on failure false and a message.
bool WriteGif(const std::string& path, const ImageView& image, std::string* error = nullptr);

} // namespace zarn
