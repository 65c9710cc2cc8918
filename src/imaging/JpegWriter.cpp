#include "imaging/JpegWriter.h"

#include "platform/AtomicFileWriter.h"
#include "imaging/ImagingError.h"
#include "imaging/RgbImage.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it, and jerror.h needs jpeglib.h.
#include <jpeglib.h>

#include <jerror.h>

#include "imaging/JpegErrorTrap.h"

namespace zarn {
namespace {

constexpr size_t kOutputBufferSize = 64 * 1024;

// Sends the compressed bytes through the atomic writer so that a full disk is reported with
// the system's reason.
struct Destination {
    jpeg_destination_mgr manager;
    AtomicFileWriter* writer;
    JOCTET* buffer;
};

void StartBuffer(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->manager.next_output_byte = destination->buffer;
    destination->manager.free_in_buffer = kOutputBufferSize;
}

boolean FlushFullBuffer(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    if (!destination->writer->Write(destination->buffer, kOutputBufferSize))
        ERREXIT(info, JERR_FILE_WRITE);
    StartBuffer(info);
    return TRUE;
}

void FlushRemainder(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const size_t used = kOutputBufferSize - destination->manager.free_in_buffer;
    if (!destination->writer->Write(destination->buffer, used))
        ERREXIT(info, JERR_FILE_WRITE);
}

void Configure(jpeg_compress_struct& info, const ImageView& image, int quality)
{
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE); // TRUE: keep to baseline quantisation tables
}

// Holds nothing that needs destroying, so that a jump out of libjpeg skips no destructor.
bool Compress(const ImageView& image, int quality, Destination& destination, uint8_t* row, char* message)
{
    jpeg_compress_struct info;
    JpegErrorTrap trap;
    info.err = InstallJpegErrorTrap(trap);
    if (setjmp(trap.jump)) {
        jpeg_destroy_compress(&info);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", trap.message);
        return false;
    }
    jpeg_create_compress(&info);
    destination.manager.init_destination = StartBuffer;
    destination.manager.empty_output_buffer = FlushFullBuffer;
    destination.manager.term_destination = FlushRemainder;
    info.dest = &destination.manager;

    Configure(info, image, quality);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < image.height; ++y) {
        ViewRowToRgb(image, y, row);
        JSAMPROW rows[1] = { row };
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool WriteJpeg(const std::string& path, const ImageView& image, int quality, std::string* error)
{
    std::string problem;
    if (!CheckImageView(image, &problem))
        return Fail(error, "cannot save " + path + ": " + problem);

    AtomicFileWriter writer;
    if (!writer.Open(path, error))
        return false;
    std::vector<JOCTET> buffer(kOutputBufferSize);
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
    Destination destination {};
    destination.writer = &writer;
    destination.buffer = buffer.data();
    char message[JMSG_LENGTH_MAX] = {};
    if (!Compress(image, std::clamp(quality, 1, 100), destination, row.data(), message)) {
        const std::string reason = writer.Failed() ? writer.WriteErrorText() : std::string(message);
        writer.Discard();
        return Fail(error, "cannot save " + path + " as JPEG: " + reason);
    }
    return writer.Commit(error);
}

} // namespace zarn
