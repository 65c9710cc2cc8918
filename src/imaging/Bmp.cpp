#include "imaging/Bmp.h"

#include "platform/AtomicFileWriter.h"
#include "imaging/BmpFormat.h"
#include "imaging/ImagingError.h"
#include "imaging/LittleEndian.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace zarn {
namespace {

constexpr uint32_t kHeadersSize = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;

std::vector<uint8_t> Headers(const ImageView& image, uint32_t pixelBytes)
{
    std::vector<uint8_t> headers(kHeadersSize, 0);
    uint8_t* file = headers.data();
    file[0] = 'B';
    file[1] = 'M';
    PutLE32(file + 2, kHeadersSize + pixelBytes);
    PutLE32(file + 10, kHeadersSize);

    uint8_t* info = file + bmp::kFileHeaderSize;
    PutLE32(info + 0, bmp::kInfoHeaderSize);
    PutLE32(info + 4, static_cast<uint32_t>(image.width));
    PutLE32(info + 8, static_cast<uint32_t>(image.height)); // positive: bottom-up rows
    PutLE16(info + 12, 1); // planes
    PutLE16(info + 14, 24); // bits per pixel
    PutLE32(info + 16, bmp::kCompressionNone);
    PutLE32(info + 20, pixelBytes);
    PutLE32(info + 24, bmp::kPixelsPerMetre);
    PutLE32(info + 28, bmp::kPixelsPerMetre);
    return headers; // colours used and important stay 0
}

bool WriteRowsBottomUp(AtomicFileWriter& writer, const ImageView& image, size_t rowSize)
{
    std::vector<uint8_t> row(rowSize, 0); // the padding bytes stay zero
    for (int y = image.height - 1; y >= 0; --y) {
        ViewRowToBgr(image, y, row.data());
        if (!writer.Write(row.data(), row.size()))
            return false;
    }
    return true;
}

} // namespace

bool WriteBmp(const std::string& path, const ImageView& image, std::string* error)
{
    std::string problem;
    if (!CheckImageView(image, &problem))
        return Fail(error, "cannot save " + path + ": " + problem);

    const uint64_t rowSize = bmp::RowSize(static_cast<uint64_t>(image.width), 24);
    const uint64_t pixelBytes = rowSize * static_cast<uint64_t>(image.height);
    if (pixelBytes > std::numeric_limits<uint32_t>::max() - kHeadersSize)
        return Fail(error, "cannot save " + path + ": the picture is too large for a BMP file");

    AtomicFileWriter writer;
    if (!writer.Open(path, error))
        return false;
    const auto headers = Headers(image, static_cast<uint32_t>(pixelBytes));
    if (writer.Write(headers.data(), headers.size()))
        WriteRowsBottomUp(writer, image, static_cast<size_t>(rowSize));
    return writer.Commit(error);
}

} // namespace zarn
