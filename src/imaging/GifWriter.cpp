#include "imaging/GifWriter.h"

#include "platform/AtomicFileWriter.h"
#include "imaging/GifPalette.h"
#include "imaging/ImagingError.h"
#include "imaging/RgbImage.h"

#include <gif_lib.h>
#include <limits>

namespace zarn {
namespace {

constexpr int kMaxGifSide = std::numeric_limits<uint16_t>::max();
constexpr int kColourResolution = 8;

int SendToWriter(GifFileType* gif, const GifByteType* data, int length)
{
    auto* writer = static_cast<AtomicFileWriter*>(gif->UserData);
    return writer->Write(data, static_cast<size_t>(length)) ? length : 0;
}

// A GIF colour table holds a power of two of entries, at least two.
int ColourTableSize(size_t colours)
{
    int size = 2;
    while (static_cast<size_t>(size) < colours)
        size *= 2;
    return size;
}

bool PutPicture(GifFileType* gif, const PalettedPicture& picture, const ColorMapObject* colourMap)
{
    if (EGifPutScreenDesc(gif, picture.width, picture.height, kColourResolution, 0, colourMap) != GIF_OK
        || EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) != GIF_OK)
        return false;
    for (int y = 0; y < picture.height; ++y) {
        auto* row = const_cast<GifPixelType*>(picture.indices.data() + size_t(y) * size_t(picture.width));
        if (EGifPutLine(gif, row, picture.width) != GIF_OK)
            return false;
    }
    return true;
}

// On failure the giflib error code; 0 on success.
int Encode(const PalettedPicture& picture, AtomicFileWriter& writer)
{
    std::vector<GifColorType> table(picture.palette);
    table.resize(static_cast<size_t>(ColourTableSize(picture.palette.size())), GifColorType { 0, 0, 0 });
    ColorMapObject* colourMap = GifMakeMapObject(static_cast<int>(table.size()), table.data());
    if (colourMap == nullptr)
        return E_GIF_ERR_NOT_ENOUGH_MEM;

    int errorCode = 0;
    GifFileType* gif = EGifOpen(&writer, SendToWriter, &errorCode);
    if (gif == nullptr) {
        GifFreeMapObject(colourMap);
        return errorCode != 0 ? errorCode : E_GIF_ERR_NOT_ENOUGH_MEM;
    }
    const bool written = PutPicture(gif, picture, colourMap);
    if (!written)
        errorCode = gif->Error;
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && errorCode == 0)
        errorCode = closeError;
    GifFreeMapObject(colourMap);
    return errorCode;
}

} // namespace

bool WriteGif(const std::string& path, const ImageView& image, std::string* error)
{
    std::string problem;
    if (!CheckImageView(image, &problem))
        return Fail(error, "cannot save " + path + ": " + problem);
    if (image.width > kMaxGifSide || image.height > kMaxGifSide)
        return Fail(error, "cannot save " + path + ": the picture is too large for a GIF file");

    std::optional<PalettedPicture> picture;
    try {
        picture = ExactPalette(image);
        if (!picture)
            picture = ReducedPalette(image);
    } catch (const std::bad_alloc&) {
        return Fail(error, "cannot save " + path + ": not enough memory");
    }
    if (!picture)
        return Fail(error, "cannot save " + path + ": the colours could not be reduced to 256");

    AtomicFileWriter writer;
    if (!writer.Open(path, error))
        return false;
    if (const int errorCode = Encode(*picture, writer); errorCode != 0) {
        const std::string reason = writer.Failed() ? writer.WriteErrorText() : GifErrorString(errorCode);
        writer.Discard();
        return Fail(error, "cannot save " + path + " as GIF: " + reason);
    }
    return writer.Commit(error);
}

} // namespace zarn
