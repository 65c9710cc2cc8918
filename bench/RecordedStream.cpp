#include "RecordedStream.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "platform/ByteOrder.h"
#include "support/MemoryTransport.h"
#include "protocol/VNCProto.h"

namespace zarn::bench {

namespace {

constexpr size_t kMagicBytes = sizeof kRecordingMagic - 1;
constexpr size_t kPixelBytes = 4;

// Reads the stream front to back; every read is bounds-checked, a recording is input.
class Cursor {
public:
    explicit Cursor(const Bytes& bytes)
        : FBytes(bytes)
    {
    }
    bool AtEnd() const { return FPos == FBytes.size(); }
    size_t Position() const { return FPos; }
    const uint8_t* Take(size_t n)
    {
        if (n > FBytes.size() - FPos)
            throw std::runtime_error("the recording ends inside a message at byte " + std::to_string(FPos));
        const uint8_t* at = FBytes.data() + FPos;
        FPos += n;
        return at;
    }
    uint8_t U8() { return *Take(1); }
    uint16_t U16() { return LoadU16(Take(2)); }
    uint32_t U32() { return LoadU32(Take(4)); }

private:
    const Bytes& FBytes;
    size_t FPos = 0;
};

class ScreenModel {
public:
    ScreenModel(int width, int height)
        : FWidth(width)
        , FHeight(height)
        , FPixels(size_t(width) * size_t(height) * kPixelBytes)
    {
    }

    void CheckInside(int x, int y, int width, int height) const
    {
        if (x + width > FWidth || y + height > FHeight)
            throw std::runtime_error("a rectangle reaches outside the " + std::to_string(FWidth) + "x"
                + std::to_string(FHeight) + " screen");
    }

    void Put(int x, int y, int width, int height, const uint8_t* wire)
    {
        const size_t rowBytes = size_t(width) * kPixelBytes;
        for (int row = 0; row < height; ++row)
            std::memcpy(At(x, y + row), wire + size_t(row) * rowBytes, rowBytes);
    }

    void Copy(int x, int y, int width, int height, int sourceX, int sourceY)
    {
        const size_t rowBytes = size_t(width) * kPixelBytes;
        std::vector<uint8_t> source(rowBytes * size_t(height));
        for (int row = 0; row < height; ++row)
            std::memcpy(source.data() + size_t(row) * rowBytes, At(sourceX, sourceY + row), rowBytes);
        Put(x, y, width, height, source.data());
    }

    std::vector<uint8_t> Take() { return std::move(FPixels); }

private:
    uint8_t* At(int x, int y) { return FPixels.data() + (size_t(y) * size_t(FWidth) + size_t(x)) * kPixelBytes; }

    int FWidth, FHeight;
    std::vector<uint8_t> FPixels;
};

// The picture this engine decodes from the whole stream.
std::vector<uint8_t> DecodedByThisEngine(const BenchStream& stream)
{
    TVNCProto proto;
    auto transport = std::make_unique<MemoryTransport>(stream.bytes);
    transport->Open();
    proto.AdoptSession(stream.width, stream.height, true, std::move(transport));
    proto.Limits.CycleBudgetMs = 1 << 30;
    if (!proto.HandleArrivedMessages() || proto.FramesReceived != stream.updates)
        throw std::runtime_error("this engine cannot decode the recording: " + proto.CycleError);
    const auto* pixels = reinterpret_cast<const uint8_t*>(proto.Pixels32.data());
    return { pixels, pixels + proto.Pixels32.size() * 4 };
}

void ReplayUpdate(Cursor& in, ScreenModel& screen, BenchStream& stream)
{
    in.Take(1); // padding
    const uint16_t rectangles = in.U16();
    for (uint16_t r = 0; r < rectangles; ++r) {
        const int x = in.U16(), y = in.U16(), width = in.U16(), height = in.U16();
        const int32_t encoding = int32_t(in.U32());
        screen.CheckInside(x, y, width, height);
        const size_t area = size_t(width) * size_t(height) * kPixelBytes;
        if (encoding == 0) {
            screen.Put(x, y, width, height, in.Take(area));
        } else if (encoding == 1) {
            const int sourceX = in.U16(), sourceY = in.U16();
            screen.CheckInside(sourceX, sourceY, width, height);
            screen.Copy(x, y, width, height, sourceX, sourceY);
        } else {
            SkipCompressedRectangle([&in](size_t n) { return in.Take(n); }, encoding, size_t(width), size_t(height));
            stream.compressed = true;
        }
        stream.pixelBytes += area;
    }
    ++stream.updates;
}

} // namespace

void ReplayOnModel(BenchStream& stream)
{
    ScreenModel screen(stream.width, stream.height);
    Cursor in(stream.bytes);
    stream.updates = stream.pixelBytes = 0;
    while (!in.AtEnd()) {
        switch (const uint8_t type = in.U8()) {
        case 0:
            ReplayUpdate(in, screen, stream);
            break;
        case 2: // Bell
            break;
        case 3: // ServerCutText
            in.Take(3);
            in.Take(in.U32());
            break;
        default:
            throw std::runtime_error("message type " + std::to_string(type) + " at byte "
                + std::to_string(in.Position() - 1) + " cannot be replayed");
        }
    }
    stream.finalPicture = stream.compressed ? DecodedByThisEngine(stream) : screen.Take();
}

BenchStream LoadRecordedStream(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < kMagicBytes + 4 || std::memcmp(bytes.data(), kRecordingMagic, kMagicBytes) != 0)
        throw std::runtime_error(path + " is not a recorded stream");
    BenchStream stream;
    stream.width = LoadU16(bytes.data() + kMagicBytes);
    stream.height = LoadU16(bytes.data() + kMagicBytes + 2);
    if (stream.width == 0 || stream.height == 0)
        throw std::runtime_error(path + " records an empty screen");
    bytes.erase(bytes.begin(), bytes.begin() + ptrdiff_t(kMagicBytes + 4));
    stream.bytes = std::move(bytes);
    const size_t slash = path.find_last_of('/');
    stream.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    try {
        ReplayOnModel(stream);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    return stream;
}

} // namespace zarn::bench
