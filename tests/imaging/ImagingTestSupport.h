#pragma once
// Pictures to save and a scratch folder to save them in.

#include "imaging/ImageView.h"
#include "imaging/RgbImage.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zarn::imagingtest {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Owns the pixels an ImageView borrows. Rows are stride bytes apart, with junk in the gap so
// that a writer that ignores the stride shows.
struct TestPicture {
    std::vector<uint8_t> bits;
    std::array<TRGBQuad, 256> table {};
    ImageView view;

    Rgb At(int x, int y) const
    {
        const uint8_t* p = view.bits + size_t(y) * view.stride;
        if (view.indexed) {
            const TRGBQuad& q = view.colorTable[p[x]];
            return { q.rgbRed, q.rgbGreen, q.rgbBlue };
        }
        return { p[4 * x + 2], p[4 * x + 1], p[4 * x] };
    }
};

inline TestPicture TrueColourPicture(
    int width, int height, const std::function<Rgb(int, int)>& colourAt, size_t extraStride = 8)
{
    TestPicture picture;
    const size_t stride = size_t(width) * 4 + extraStride;
    picture.bits.assign(stride * size_t(height), 0xA5);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colourAt(x, y);
            uint8_t* p = &picture.bits[size_t(y) * stride + size_t(x) * 4];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 0x5A; // the unused byte must never leak into a colour
        }
    }
    picture.view = { picture.bits.data(), width, height, stride, false, nullptr };
    return picture;
}

inline TestPicture IndexedPicture(int width, int height, const std::function<uint8_t(int, int)>& indexAt,
    const std::function<Rgb(int)>& tableEntry, size_t extraStride = 3)
{
    TestPicture picture;
    const size_t stride = size_t(width) + extraStride;
    picture.bits.assign(stride * size_t(height), 0xA5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.bits[size_t(y) * stride + size_t(x)] = indexAt(x, y);
    for (int i = 0; i < 256; ++i) {
        const Rgb c = tableEntry(i);
        picture.table[i] = { c.b, c.g, c.r, 0 };
    }
    picture.view = { picture.bits.data(), width, height, stride, true, picture.table.data() };
    return picture;
}

// A picture in which neighbouring pixels, rows and columns all differ, so flips, shifts and
// swapped channels show.
inline Rgb Distinctive(int x, int y)
{
    return { uint8_t(x * 37 + y * 11), uint8_t(y * 53 + 7), uint8_t(x * 5 + y * 29 + 100) };
}

inline Rgb RgbAt(const RgbImage& image, int x, int y)
{
    const uint8_t* p = image.Row(y) + 3 * x;
    return { p[0], p[1], p[2] };
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }
    std::vector<std::string> Names() const;

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes);

// Caps the size of any file this process writes, as a full disk would; restored on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();

private:
    uint64_t previousSoftLimit_;
};

} // namespace zarn::imagingtest
