#include "CompressedEncode.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

#include <jpeglib.h>

namespace zarn::bench {

namespace {

template <typename Pixel> void AppendCPixel(Bytes& out, Pixel value)
{
    if constexpr (sizeof(Pixel) == 1) {
        out.push_back(value);
    } else {
        out.push_back(uint8_t(value));
        out.push_back(uint8_t(value >> 8));
        out.push_back(uint8_t(value >> 16));
    }
}

template <typename Pixel> void AppendTPixel(Bytes& out, Pixel value)
{
    if constexpr (sizeof(Pixel) == 1) {
        out.push_back(value);
    } else {
        out.push_back(uint8_t(value >> 16));
        out.push_back(uint8_t(value >> 8));
        out.push_back(uint8_t(value));
    }
}

// The colours of a block in order of first appearance; empty when there are more than `most`.
template <typename Pixel> std::vector<Pixel> ColoursOf(const PixelBlock<Pixel>& block, size_t most)
{
    std::vector<Pixel> colours;
    for (int y = 0; y < block.height; ++y)
        for (int x = 0; x < block.width; ++x)
            if (std::find(colours.begin(), colours.end(), block.at(x, y)) == colours.end()) {
                if (colours.size() == most)
                    return {};
                colours.push_back(block.at(x, y));
            }
    return colours;
}

void AppendRunLength(Bytes& out, size_t length)
{
    for (length -= 1; length >= 255; length -= 255)
        out.push_back(255);
    out.push_back(uint8_t(length));
}

template <typename Pixel> Bytes ZrleTile(const PixelBlock<Pixel>& tile, ZrleForm form)
{
    Bytes out;
    const size_t pixels = size_t(tile.width) * size_t(tile.height);
    auto pixelAt = [&](size_t i) { return tile.at(int(i % size_t(tile.width)), int(i / size_t(tile.width))); };
    const std::vector<Pixel> colours = ColoursOf(tile, 127);
    auto indexOf = [&](Pixel p) { return size_t(std::find(colours.begin(), colours.end(), p) - colours.begin()); };
    if (colours.size() == 1 && form != ZrleForm::Raw && form != ZrleForm::PlainRle) {
        out.push_back(1);
        AppendCPixel(out, colours[0]);
    } else if (form == ZrleForm::Packed && colours.size() >= 2 && colours.size() <= 16) {
        out.push_back(uint8_t(colours.size()));
        for (Pixel c : colours)
            AppendCPixel(out, c);
        const int bits = colours.size() == 2 ? 1 : colours.size() <= 4 ? 2 : 4;
        for (int y = 0; y < tile.height; ++y) {
            unsigned byte = 0, used = 0;
            for (int x = 0; x < tile.width; ++x) {
                byte = byte << bits | unsigned(indexOf(tile.at(x, y)));
                used += unsigned(bits);
                if (used == 8) {
                    out.push_back(uint8_t(byte));
                    byte = used = 0;
                }
            }
            if (used > 0)
                out.push_back(uint8_t(byte << (8 - used)));
        }
    } else if (form == ZrleForm::PlainRle || (form == ZrleForm::PaletteRle && !colours.empty())) {
        const bool palette = form == ZrleForm::PaletteRle;
        out.push_back(palette ? uint8_t(128 + colours.size()) : 128);
        if (palette)
            for (Pixel c : colours)
                AppendCPixel(out, c);
        for (size_t i = 0; i < pixels;) {
            size_t run = 1;
            while (i + run < pixels && pixelAt(i + run) == pixelAt(i))
                ++run;
            if (palette) {
                out.push_back(uint8_t(indexOf(pixelAt(i)) | (run > 1 ? 128 : 0)));
                if (run > 1)
                    AppendRunLength(out, run);
            } else {
                AppendCPixel(out, pixelAt(i));
                AppendRunLength(out, run);
            }
            i += run;
        }
    } else if (form == ZrleForm::Best) {
        Bytes best = ZrleTile(tile, ZrleForm::Raw);
        for (ZrleForm other : { ZrleForm::Solid, ZrleForm::Packed, ZrleForm::PlainRle, ZrleForm::PaletteRle }) {
            Bytes candidate = ZrleTile(tile, other);
            if (candidate.size() < best.size())
                best.swap(candidate);
        }
        return best;
    } else {
        out.push_back(0);
        for (size_t i = 0; i < pixels; ++i)
            AppendCPixel(out, pixelAt(i));
    }
    return out;
}

} // namespace

Bytes ZlibServerStream::Block(const Bytes& plain, int flush)
{
    Bytes out;
    FStream.next_in = const_cast<Bytef*>(plain.data());
    FStream.avail_in = uInt(plain.size());
    uint8_t chunk[16384];
    do {
        FStream.next_out = chunk;
        FStream.avail_out = sizeof chunk;
        if (deflate(&FStream, flush) == Z_STREAM_ERROR)
            throw std::runtime_error("deflate failed");
        out.insert(out.end(), chunk, chunk + (sizeof chunk - FStream.avail_out));
    } while (FStream.avail_out == 0);
    return out;
}

ZrleEncoder::ZrleEncoder(int level)
    : FStream(level)
{
}

template <typename Pixel> Bytes ZrleEncoder::Encode(const PixelBlock<Pixel>& block, ZrleForm form)
{
    Bytes plain;
    for (int y = 0; y < block.height; y += 64)
        for (int x = 0; x < block.width; x += 64) {
            const PixelBlock<Pixel> tile { block.pixels + ptrdiff_t(y) * block.stride + x, block.stride,
                std::min(64, block.width - x), std::min(64, block.height - y) };
            const Bytes data = ZrleTile(tile, form);
            plain.insert(plain.end(), data.begin(), data.end());
        }
    const Bytes compressed = FStream.Block(plain);
    Bytes out(4 + compressed.size());
    const auto length = uint32_t(compressed.size());
    out[0] = uint8_t(length >> 24);
    out[1] = uint8_t(length >> 16);
    out[2] = uint8_t(length >> 8);
    out[3] = uint8_t(length);
    std::copy(compressed.begin(), compressed.end(), out.begin() + 4);
    return out;
}

void AppendCompactLength(Bytes& out, uint32_t length)
{
    out.push_back(uint8_t((length & 0x7F) | (length > 0x7F ? 0x80 : 0)));
    if (length > 0x7F) {
        out.push_back(uint8_t(((length >> 7) & 0x7F) | (length > 0x3FFF ? 0x80 : 0)));
        if (length > 0x3FFF)
            out.push_back(uint8_t(length >> 14));
    }
}

TightEncoder::TightEncoder(int level)
    : FStreams { ZlibServerStream(level), ZlibServerStream(level), ZlibServerStream(level), ZlibServerStream(level) }
{
}

void TightEncoder::Compress(Bytes& out, int stream, const Bytes& data)
{
    if (data.size() < 12) {
        out.insert(out.end(), data.begin(), data.end());
        return;
    }
    const Bytes compressed = FStreams[size_t(stream)].Block(data);
    AppendCompactLength(out, uint32_t(compressed.size()));
    out.insert(out.end(), compressed.begin(), compressed.end());
}

namespace {

Bytes JpegOf(const PixelBlock<uint32_t>& block, int quality)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &memory, &size);
    info.image_width = JDIMENSION(block.width);
    info.image_height = JDIMENSION(block.height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(
            const_cast<uint32_t*>(block.pixels + ptrdiff_t(info.next_scanline) * block.stride));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(memory, memory + size);
    jpeg_destroy_compress(&info);
    free(memory);
    return out;
}

} // namespace

template <typename Pixel>
Bytes TightEncoder::Encode(const PixelBlock<Pixel>& block, TightForm form, int stream, uint8_t reset, int jpegQuality)
{
    for (int i = 0; i < 4; ++i)
        if (reset & (1 << i))
            FStreams[size_t(i)].Reset();
    Bytes out;
    constexpr size_t bpp = sizeof(Pixel) == 1 ? 1 : 3;
    if (form == TightForm::Fill) {
        out.push_back(uint8_t(0x80 | reset));
        AppendTPixel(out, block.at(0, 0));
        return out;
    }
    if (form == TightForm::Jpeg) {
        if constexpr (sizeof(Pixel) == 4) {
            out.push_back(uint8_t(0x90 | reset));
            const Bytes jpeg = JpegOf(block, jpegQuality);
            AppendCompactLength(out, uint32_t(jpeg.size()));
            out.insert(out.end(), jpeg.begin(), jpeg.end());
            return out;
        }
        throw std::logic_error("no JPEG in 256 colours");
    }
    Bytes data;
    const uint8_t control = uint8_t(reset | stream << 4 | (form == TightForm::Copy ? 0 : 0x40));
    out.push_back(control);
    if (form == TightForm::Palette) {
        const std::vector<Pixel> colours = ColoursOf(block, 256);
        out.push_back(1);
        out.push_back(uint8_t(colours.size() - 1));
        for (Pixel c : colours)
            AppendTPixel(out, c);
        auto indexOf = [&](Pixel p) { return uint8_t(std::find(colours.begin(), colours.end(), p) - colours.begin()); };
        for (int y = 0; y < block.height; ++y) {
            if (colours.size() == 2) {
                for (int x = 0; x < block.width; x += 8) {
                    uint8_t byte = 0;
                    for (int b = 0; b < 8 && x + b < block.width; ++b)
                        byte |= uint8_t(indexOf(block.at(x + b, y)) << (7 - b));
                    data.push_back(byte);
                }
            } else {
                for (int x = 0; x < block.width; ++x)
                    data.push_back(indexOf(block.at(x, y)));
            }
        }
    } else {
        for (int y = 0; y < block.height; ++y)
            for (int x = 0; x < block.width; ++x)
                AppendTPixel(data, block.at(x, y));
        if (form == TightForm::Gradient) {
            out.push_back(2);
            // Each component minus its prediction from the left, upper and upper-left ones.
            const Bytes plain = data;
            const size_t row = size_t(block.width) * bpp;
            for (size_t y = 0; y < size_t(block.height); ++y)
                for (size_t i = 0; i < row; ++i) {
                    const int left = i >= bpp ? plain[y * row + i - bpp] : 0;
                    const int up = y > 0 ? plain[(y - 1) * row + i] : 0;
                    const int upLeft = y > 0 && i >= bpp ? plain[(y - 1) * row + i - bpp] : 0;
                    const int predicted = std::clamp(left + up - upLeft, 0, 255);
                    data[y * row + i] = uint8_t(plain[y * row + i] - predicted);
                }
        }
    }
    Compress(out, stream, data);
    return out;
}

template Bytes ZrleEncoder::Encode(const PixelBlock<uint32_t>&, ZrleForm);
template Bytes ZrleEncoder::Encode(const PixelBlock<uint8_t>&, ZrleForm);
template Bytes TightEncoder::Encode(const PixelBlock<uint32_t>&, TightForm, int, uint8_t, int);
template Bytes TightEncoder::Encode(const PixelBlock<uint8_t>&, TightForm, int, uint8_t, int);

} // namespace zarn::bench
