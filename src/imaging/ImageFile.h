#pragma once
// Saves a picture in the format its file name asks for: .bmp, .jpg or .jpeg, .gif (in any
// letter case). The screenshot command and the headless client go through here.

#include "imaging/ImageView.h"

#include <string>

namespace zarn {

bool SaveImage(const std::string& path, const ImageView& image, std::string* error = nullptr);

} // namespace zarn
