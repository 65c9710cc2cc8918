#include "BenchStreams.h"

#include <cstring>

namespace zarn::bench {

namespace {

// The server's copy of the screen in both pixel modes; the 8-bit one follows the 32-bit one.
class ServerScreen {
public:
    ServerScreen(Picture32 picture)
        : FTrue(std::move(picture))
        , FIndexed(ToColourIndices(FTrue))
    {
    }

    Picture32& True() { return FTrue; }

    // Call after drawing into True(): brings the colour indices of the region up to date.
    void Changed(int x, int y, int width, int height)
    {
        for (int row = y; row < y + height; ++row)
            for (int col = x; col < x + width; ++col)
                FIndexed.at(col, row) = ColourIndex(FTrue.at(col, row));
    }

    void Copy(int x, int y, int width, int height, int sourceX, int sourceY)
    {
        CopyIn(FTrue, x, y, width, height, sourceX, sourceY);
        CopyIn(FIndexed, x, y, width, height, sourceX, sourceY);
    }

    void Append(Bytes& out, Encoding encoding, bool trueColour, int x, int y, int width, int height) const
    {
        if (trueColour)
            AppendRectangle(out, encoding, FTrue, x, y, width, height);
        else
            AppendRectangle(out, encoding, FIndexed, x, y, width, height);
    }

    std::vector<uint8_t> Snapshot(bool trueColour) const
    {
        if (!trueColour)
            return FIndexed.pixels;
        std::vector<uint8_t> bytes(FTrue.pixels.size() * 4);
        std::memcpy(bytes.data(), FTrue.pixels.data(), bytes.size()); // little-endian, as clients store it
        return bytes;
    }

private:
    template <typename Pixel>
    static void CopyIn(Picture<Pixel>& p, int x, int y, int width, int height, int sourceX, int sourceY)
    {
        std::vector<Pixel> source;
        source.reserve(size_t(width) * size_t(height));
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                source.push_back(p.at(sourceX + col, sourceY + row));
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                p.at(x + col, y + row) = source[size_t(row) * size_t(width) + size_t(col)];
    }

    Picture32 FTrue;
    Picture8 FIndexed;
};

// Collects the rectangles of one FramebufferUpdate.
class UpdateBuilder {
public:
    UpdateBuilder(BenchStream& stream)
        : FStream(stream)
    {
    }
    void Add(const ServerScreen& screen, Encoding encoding, int x, int y, int width, int height)
    {
        screen.Append(FBody, encoding, FStream.trueColour, x, y, width, height);
        Count(width, height);
    }
    void AddCopy(int x, int y, int width, int height, int sourceX, int sourceY)
    {
        AppendCopyRect(FBody, x, y, width, height, sourceX, sourceY);
        Count(width, height);
    }
    void Finish()
    {
        AppendUpdateHeader(FStream.bytes, FRectangles);
        FStream.bytes.insert(FStream.bytes.end(), FBody.begin(), FBody.end());
        ++FStream.updates;
        FBody.clear();
        FRectangles = 0;
    }

private:
    void Count(int width, int height)
    {
        ++FRectangles;
        FStream.pixelBytes += uint64_t(width) * uint64_t(height) * (FStream.trueColour ? 4 : 1);
    }

    BenchStream& FStream;
    Bytes FBody;
    uint16_t FRectangles = 0;
};

BenchStream StartStream(std::string name, bool trueColour, int width, int height)
{
    BenchStream stream;
    stream.name = std::move(name) + (trueColour ? " 32-bit" : " 8-bit");
    stream.trueColour = trueColour;
    stream.width = width;
    stream.height = height;
    if (!trueColour) {
        AppendColourMap(stream.bytes, 0, ColourTable());
        stream.colourMapBytes = stream.bytes.size();
    }
    return stream;
}

// The screen after `scrolls` times moving rows [lines, height) up to row 0: a row ends up
// showing the first row at or below the unchanging bottom strip that it reached, or the one
// it reached after all the scrolls.
std::vector<uint8_t> ScrolledSnapshot(
    const std::vector<uint8_t>& picture, int rowBytes, int height, int lines, int scrolls)
{
    std::vector<uint8_t> result(picture.size());
    for (int row = 0; row < height; ++row) {
        int source = row;
        for (int done = 0; done < scrolls && source < height - lines; ++done)
            source += lines;
        std::memcpy(&result[size_t(row) * size_t(rowBytes)], &picture[size_t(source) * size_t(rowBytes)],
            size_t(rowBytes));
    }
    return result;
}

} // namespace

template <typename Pixel> Bytes MakeFullUpdateBody(Encoding encoding, const Picture<Pixel>& picture)
{
    Bytes body { 0, 0, 1 }; // padding, one rectangle (the type byte is not part of the body)
    AppendRectangle(body, encoding, picture, 0, 0, picture.width, picture.height);
    return body;
}
template Bytes MakeFullUpdateBody(Encoding, const Picture<uint32_t>&);
template Bytes MakeFullUpdateBody(Encoding, const Picture<uint8_t>&);

BenchStream MakeEncodingStream(Encoding encoding, bool trueColour, int width, int height, size_t targetBytes)
{
    BenchStream stream = StartStream(EncodingName(encoding), trueColour, width, height);
    std::vector<ServerScreen> variants;
    for (unsigned v = 0; v < 4; ++v)
        variants.emplace_back(MakePicture(Content::Desktop, width, height, v));

    if (encoding == Encoding::CopyRect) {
        ServerScreen& screen = variants[0];
        UpdateBuilder first(stream);
        first.Add(screen, Encoding::Raw, 0, 0, width, height);
        first.Finish();
        int scrolls = 0;
        for (; stream.bytes.size() < targetBytes && stream.pixelBytes < 32 * targetBytes; ++scrolls) {
            UpdateBuilder scroll(stream);
            scroll.AddCopy(0, 0, width, height - kTextLineHeight, 0, kTextLineHeight);
            scroll.Finish();
        }
        stream.finalPicture = ScrolledSnapshot(
            screen.Snapshot(trueColour), width * (trueColour ? 4 : 1), height, kTextLineHeight, scrolls);
        return stream;
    }

    // Each variant is encoded once; repeating its bytes is the same work for a client.
    std::vector<Bytes> encoded;
    for (const auto& screen : variants) {
        BenchStream one = StartStream("", trueColour, width, height);
        one.bytes.clear();
        UpdateBuilder update(one);
        update.Add(screen, encoding, 0, 0, width, height);
        update.Finish();
        encoded.push_back(std::move(one.bytes));
    }
    size_t next = 0;
    for (; stream.bytes.size() < targetBytes; next = (next + 1) % encoded.size()) {
        stream.bytes.insert(stream.bytes.end(), encoded[next].begin(), encoded[next].end());
        ++stream.updates;
        stream.pixelBytes += uint64_t(width) * uint64_t(height) * (trueColour ? 4 : 1);
    }
    stream.finalPicture = variants[(next + encoded.size() - 1) % encoded.size()].Snapshot(trueColour);
    return stream;
}

BenchStream MakeMixedStream(bool trueColour, int width, int height, size_t targetBytes)
{
    BenchStream stream = StartStream("mixed", trueColour, width, height);
    ServerScreen screen(MakePicture(Content::Desktop, width, height, 0));
    {
        UpdateBuilder first(stream); // what a session starts with
        first.Add(screen, Encoding::Hextile, 0, 0, width, height);
        first.Finish();
    }
    // The layout MakePicture(Desktop) draws.
    const int top = 160, textX = 8, textWidth = width * 3 / 5, textHeight = height - top - 8;
    const int photoX = textWidth + 16, photoWidth = width - textWidth - 24, photoHeight = (height - top) / 2;
    const int scroll = 2 * kTextLineHeight;

    for (unsigned frame = 1; stream.bytes.size() < targetBytes; ++frame) {
        UpdateBuilder update(stream);
        screen.Copy(textX, top, textWidth, textHeight - scroll, textX, top + scroll);
        update.AddCopy(textX, top, textWidth, textHeight - scroll, textX, top + scroll);
        const int newLinesY = top + textHeight - scroll;
        DrawText(screen.True(), textX, newLinesY, textWidth, scroll, frame);
        screen.Changed(textX, newLinesY, textWidth, scroll);
        update.Add(screen, Encoding::Hextile, textX, newLinesY, textWidth, scroll);

        const int buttonX = 8 + 90 * int(frame % 6), buttonY = 64;
        DrawUi(screen.True(), buttonX, buttonY, 80, 30, frame);
        screen.Changed(buttonX, buttonY, 80, 30);
        update.Add(screen, Encoding::RRE, buttonX, buttonY, 80, 30);

        const int thumbX = photoX + 8, thumbY = top + photoHeight + 8;
        DrawPhoto(screen.True(), thumbX, thumbY, 160, 120, frame);
        screen.Changed(thumbX, thumbY, 160, 120);
        update.Add(screen, Encoding::Raw, thumbX, thumbY, 160, 120);

        if (frame % 4 == 0) {
            DrawPhoto(screen.True(), photoX, top, photoWidth, photoHeight, frame);
            screen.Changed(photoX, top, photoWidth, photoHeight);
            update.Add(screen, Encoding::Hextile, photoX, top, photoWidth, photoHeight);
        }
        if (frame % 8 == 0) {
            DrawUi(screen.True(), textX + 40, top + 10, 200, 300, frame);
            screen.Changed(textX + 40, top + 10, 200, 300);
            update.Add(screen, Encoding::Hextile, textX + 40, top + 10, 200, 300);
        }
        update.Finish();
    }
    stream.finalPicture = screen.Snapshot(trueColour);
    return stream;
}

} // namespace zarn::bench
