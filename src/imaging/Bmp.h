#pragma once
// Windows bitmap files: the screenshot format that needs no codec, and the form in which the
// engine hands its picture to the screenshot command.

#include "imaging/ImageView.h"
#include "imaging/RgbImage.h"

#include <optional>
#include <string>

namespace zarn {

// Writes an upright 24-bit BMP (file header, 40-byte info header, bottom-up rows padded to four
// bytes). The target is replaced only by a complete file; on failure false and a message.
bool WriteBmp(const std::string& path, const ImageView& image, std::string* error = nullptr);

// Reads an uncompressed 8-bit palettised, 24-bit or 32-bit BMP, bottom-up or top-down. Every
// header field is checked against the file's real size, so a damaged or hostile file gives an
// error, never a read past its end or an allocation its contents cannot back.
std::optional<RgbImage> ReadBmp(const std::string& path, std::string* error = nullptr);

} // namespace zarn
