#include "imaging/GifPalette.h"

#include "imaging/RgbImage.h"

#include <array>
#include <mutex>
#include <unordered_map>

namespace zarn {
namespace {

size_t PixelCount(const ImageView& image)
{
    return size_t(image.width) * size_t(image.height);
}

PalettedPicture EmptyPicture(const ImageView& image)
{
    PalettedPicture picture;
    picture.width = image.width;
    picture.height = image.height;
    picture.indices.resize(PixelCount(image));
    return picture;
}

GifColorType ColourOf(const TRGBQuad& quad)
{
    return { quad.rgbRed, quad.rgbGreen, quad.rgbBlue };
}

PalettedPicture ExactFromIndexed(const ImageView& image)
{
    PalettedPicture picture = EmptyPicture(image);
    std::array<int, 256> newIndex;
    newIndex.fill(-1);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = image.bits + size_t(y) * image.stride;
        uint8_t* out = picture.indices.data() + size_t(y) * size_t(image.width);
        for (int x = 0; x < image.width; ++x) {
            int& index = newIndex[source[x]];
            if (index < 0) {
                index = static_cast<int>(picture.palette.size());
                picture.palette.push_back(ColourOf(image.colorTable[source[x]]));
            }
            out[x] = static_cast<uint8_t>(index);
        }
    }
    return picture;
}

std::optional<PalettedPicture> ExactFromTrueColour(const ImageView& image)
{
    PalettedPicture picture = EmptyPicture(image);
    std::unordered_map<uint32_t, uint8_t> indexOf;
    indexOf.reserve(2 * kMaxGifColours);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = image.bits + size_t(y) * image.stride;
        uint8_t* out = picture.indices.data() + size_t(y) * size_t(image.width);
        uint32_t lastColour = 0;
        uint8_t lastIndex = 0;
        bool haveLast = false;
        for (int x = 0; x < image.width; ++x, source += 4) {
            const uint32_t colour
                = uint32_t(source[0]) | uint32_t(source[1]) << 8 | uint32_t(source[2]) << 16;
            if (!haveLast || colour != lastColour) { // runs of one colour skip the lookup
                auto [entry, added]
                    = indexOf.try_emplace(colour, static_cast<uint8_t>(picture.palette.size()));
                if (added) {
                    if (picture.palette.size() == kMaxGifColours)
                        return std::nullopt;
                    picture.palette.push_back({ source[2], source[1], source[0] });
                }
                lastColour = colour;
                lastIndex = entry->second;
                haveLast = true;
            }
            out[x] = lastIndex;
        }
    }
    return picture;
}

// giflib's quantiser keeps its sort axis in a global, so two calls must not overlap.
std::mutex& QuantiserLock()
{
    static std::mutex lock;
    return lock;
}

struct Planes {
    std::vector<GifByteType> red, green, blue;
};

Planes SplitPlanes(const ImageView& image)
{
    Planes planes;
    const size_t count = PixelCount(image);
    planes.red.resize(count);
    planes.green.resize(count);
    planes.blue.resize(count);
    std::vector<uint8_t> row(size_t(image.width) * 3);
    size_t i = 0;
    for (int y = 0; y < image.height; ++y) {
        ViewRowToRgb(image, y, row.data());
        for (int x = 0; x < image.width; ++x, ++i) {
            planes.red[i] = row[3 * x];
            planes.green[i] = row[3 * x + 1];
            planes.blue[i] = row[3 * x + 2];
        }
    }
    return planes;
}

// giflib sorts the picture's colours into cells of 5 bits per channel and gives each palette
// entry the mean of its cells' lowest corners, which darkens it (white comes out as 248), and
// assigns cells to entries by where the median cut put them rather than by nearness. A few
// rounds of moving each cell to its nearest entry and each entry to the true mean of its
// pixels fix both.
constexpr int kCellBits = 5;
constexpr int kCellCount = 1 << (3 * kCellBits);
constexpr int kRefinementRounds = 3;

size_t CellOf(uint8_t red, uint8_t green, uint8_t blue)
{
    constexpr int drop = 8 - kCellBits;
    return size_t(red >> drop) << (2 * kCellBits) | size_t(green >> drop) << kCellBits | size_t(blue >> drop);
}

struct ColourSum {
    uint64_t red = 0, green = 0, blue = 0, count = 0;

    void Add(const ColourSum& other)
    {
        red += other.red;
        green += other.green;
        blue += other.blue;
        count += other.count;
    }

    GifColorType Mean() const
    {
        const uint64_t half = count / 2;
        return { static_cast<GifByteType>((red + half) / count),
            static_cast<GifByteType>((green + half) / count),
            static_cast<GifByteType>((blue + half) / count) };
    }
};

std::vector<ColourSum> CellSums(const Planes& planes)
{
    std::vector<ColourSum> cells(kCellCount);
    for (size_t i = 0; i < planes.red.size(); ++i) {
        ColourSum& cell = cells[CellOf(planes.red[i], planes.green[i], planes.blue[i])];
        cell.red += planes.red[i];
        cell.green += planes.green[i];
        cell.blue += planes.blue[i];
        ++cell.count;
    }
    return cells;
}

int DistanceSquared(const GifColorType& a, const GifColorType& b)
{
    const int dr = a.Red - b.Red, dg = a.Green - b.Green, db = a.Blue - b.Blue;
    return dr * dr + dg * dg + db * db;
}

uint8_t NearestEntry(const std::vector<GifColorType>& palette, const GifColorType& colour)
{
    size_t best = 0;
    int bestDistance = DistanceSquared(palette[0], colour);
    for (size_t entry = 1; entry < palette.size() && bestDistance > 0; ++entry) {
        const int distance = DistanceSquared(palette[entry], colour);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = entry;
        }
    }
    return static_cast<uint8_t>(best);
}

// Returns, for every cell, the palette entry its pixels take.
std::vector<uint8_t> RefinePalette(std::vector<GifColorType>& palette, const std::vector<ColourSum>& cells)
{
    std::vector<uint8_t> entryOfCell(kCellCount, 0);
    for (int round = 0; round < kRefinementRounds; ++round) {
        std::vector<ColourSum> entrySums(palette.size());
        for (size_t cell = 0; cell < cells.size(); ++cell) {
            if (cells[cell].count == 0)
                continue;
            entryOfCell[cell] = NearestEntry(palette, cells[cell].Mean());
            entrySums[entryOfCell[cell]].Add(cells[cell]);
        }
        for (size_t entry = 0; entry < palette.size(); ++entry)
            if (entrySums[entry].count > 0)
                palette[entry] = entrySums[entry].Mean();
    }
    for (size_t cell = 0; cell < cells.size(); ++cell) // the entries moved in the last round
        if (cells[cell].count > 0)
            entryOfCell[cell] = NearestEntry(palette, cells[cell].Mean());
    return entryOfCell;
}

} // namespace

std::optional<PalettedPicture> ExactPalette(const ImageView& image)
{
    if (!CheckImageView(image))
        return std::nullopt;
    if (image.indexed)
        return ExactFromIndexed(image);
    return ExactFromTrueColour(image);
}

std::optional<PalettedPicture> ReducedPalette(const ImageView& image)
{
    if (!CheckImageView(image))
        return std::nullopt;
    const Planes planes = SplitPlanes(image);
    PalettedPicture picture = EmptyPicture(image);
    std::array<GifColorType, kMaxGifColours> colours {};
    int colourCount = kMaxGifColours;
    {
        std::lock_guard<std::mutex> guard(QuantiserLock());
        if (GifQuantizeBuffer(static_cast<unsigned>(image.width), static_cast<unsigned>(image.height),
                &colourCount, const_cast<GifByteType*>(planes.red.data()),
                const_cast<GifByteType*>(planes.green.data()), const_cast<GifByteType*>(planes.blue.data()),
                picture.indices.data(), colours.data())
            != GIF_OK)
            return std::nullopt;
    }
    if (colourCount < 1 || colourCount > kMaxGifColours)
        return std::nullopt;
    picture.palette.assign(colours.begin(), colours.begin() + colourCount);
    const std::vector<uint8_t> entryOfCell = RefinePalette(picture.palette, CellSums(planes));
    for (size_t i = 0; i < picture.indices.size(); ++i)
        picture.indices[i] = entryOfCell[CellOf(planes.red[i], planes.green[i], planes.blue[i])];
    return picture;
}

} // namespace zarn
