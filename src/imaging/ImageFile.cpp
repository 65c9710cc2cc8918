#include "imaging/ImageFile.h"

#include "imaging/Bmp.h"
#include "imaging/GifWriter.h"
#include "imaging/ImagingError.h"
#include "imaging/JpegWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace zarn {
namespace {

std::string LowerCaseExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

bool SaveImage(const std::string& path, const ImageView& image, std::string* error)
{
    const std::string extension = LowerCaseExtension(path);
    if (extension == ".bmp")
        return WriteBmp(path, image, error);
    if (extension == ".jpg" || extension == ".jpeg")
        return WriteJpeg(path, image, kDefaultJpegQuality, error);
    if (extension == ".gif")
        return WriteGif(path, image, error);
    if (extension.empty())
        return Fail(
            error, "cannot save " + path + ": the name has no extension (use .bmp, .jpg, .jpeg or .gif)");
    return Fail(error,
        "cannot save " + path + ": unsupported file type \""
            + std::filesystem::path(path).extension().string() + "\" (use .bmp, .jpg, .jpeg or .gif)");
}

} // namespace zarn
