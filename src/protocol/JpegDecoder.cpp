#include "protocol/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "imaging/JpegErrorTrap.h"
#include "protocol/EngineErrors.h"

namespace zarn {

namespace {

// A warning means corrupt data (typically a stream that ends early, which libjpeg would pad
// with grey rows for as many rows as the header claims): it ends the decode like an error, so
// a few bytes cannot buy a huge picture's worth of work.
void FailOnWarning(j_common_ptr info, int level)
{
    if (level < 0)
        info->err->error_exit(info);
}

enum class Outcome { Done, WrongSize, Failed };

} // namespace

struct TJpegDecoder::State {
    jpeg_decompress_struct info {};
    JpegErrorTrap errors {};
    bool created = false;
    ~State()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

TJpegDecoder::TJpegDecoder()
    : FState(std::make_unique<State>())
{
}

TJpegDecoder::~TJpegDecoder() = default;

namespace {

// Everything between setjmp and a longjmp from libjpeg lives here, with no C++ object that has
// a destructor: a jump past one would skip it. `rows` gets each decoded row's destination.
struct RowPlan {
    const PixelSurface<uint32_t>* fb;
    int x, y, width, height;
    uint8_t* scratch; // one row of width pixels
    bool wholeRows;   // every column is inside the framebuffer
};

uint8_t* RowDestination(const RowPlan& plan, int row)
{
    const int fbRow = plan.y + row;
    if (plan.wholeRows && fbRow >= 0 && fbRow < plan.fb->height)
        return reinterpret_cast<uint8_t*>(plan.fb->pixels + ptrdiff_t(fbRow) * plan.fb->width + plan.x);
    return plan.scratch;
}

void FinishRow(const RowPlan& plan, int row, const uint8_t* decoded)
{
    if (decoded != plan.scratch)
        return;
    const int fbRow = plan.y + row;
    if (fbRow < 0 || fbRow >= plan.fb->height)
        return;
    const AxisSpan cols = ClipToAxis(plan.x, plan.width, plan.fb->width);
    if (cols.empty())
        return;
    std::memcpy(plan.fb->pixels + ptrdiff_t(fbRow) * plan.fb->width + cols.begin,
        plan.scratch + size_t(cols.begin - plan.x) * 4, size_t(cols.length()) * 4);
}

Outcome DecodeRows(jpeg_decompress_struct& info, JpegErrorTrap& errors, const uint8_t* data, size_t size,
    const RowPlan& plan)
{
    if (setjmp(errors.jump)) {
        jpeg_abort_decompress(&info);
        return Outcome::Failed;
    }
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (int(info.image_width) != plan.width || int(info.image_height) != plan.height) {
        jpeg_abort_decompress(&info);
        return Outcome::WrongSize;
    }
    info.out_color_space = JCS_EXT_BGRX;
    info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        const int row = int(info.output_scanline);
        JSAMPROW destination = RowDestination(plan, row);
        jpeg_read_scanlines(&info, &destination, 1);
        FinishRow(plan, row, destination);
    }
    jpeg_finish_decompress(&info);
    return Outcome::Done;
}

} // namespace

void TJpegDecoder::Decode(
    const uint8_t* data, size_t size, const PixelSurface<uint32_t>& fb, int x, int y, int width, int height)
{
    State& state = *FState;
    if (!state.created) {
        state.info.err = InstallJpegErrorTrap(state.errors);
        state.errors.manager.emit_message = FailOnWarning;
        jpeg_create_decompress(&state.info);
        state.created = true;
    }
    state.info.mem->max_memory_to_use = kMaxWorkingMemory;
    if (width <= 0 || height <= 0)
        throw ProtocolViolation("a JPEG rectangle of no area");
    if (FRow.size() < size_t(width) * 4)
        FRow.resize(size_t(width) * 4);
    const RowPlan plan { &fb, x, y, width, height, FRow.data(), x >= 0 && x + width <= fb.width };
    switch (DecodeRows(state.info, state.errors, data, size, plan)) {
    case Outcome::Done:
        return;
    case Outcome::WrongSize:
        throw ProtocolViolation("a JPEG whose size is not its rectangle's " + std::to_string(width) + " x "
            + std::to_string(height));
    case Outcome::Failed:
        throw ProtocolViolation(std::string("a broken JPEG rectangle: ") + state.errors.message);
    }
}

} // namespace zarn
