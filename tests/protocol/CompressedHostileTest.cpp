// ZRLE and Tight from a hostile server: every lie about palettes, runs, lengths, JPEGs and
// compressed data ends the cycle with a reason (and nothing outside the arrays is touched: the
// sanitizer build runs these), and a stream cut at any byte fails cleanly.

#include <gtest/gtest.h>

#include <string>

#include "CompressedEncode.h"
#include "UpdateCycleTestHelpers.h"
#include "protocol/Limits.h"
#include "protocol/TightDecoder.h"

namespace zarn {
namespace {

using test::ByteWriter;
using test::ReadySession;

// `plain` as the start of a session's zlib stream, flushed the way servers flush.
std::vector<uint8_t> Deflated(const std::vector<uint8_t>& plain)
{
    return bench::ZlibServerStream().Block(plain);
}

ByteWriter Zrle(int w, int h, const std::vector<uint8_t>& tiles)
{
    const std::vector<uint8_t> data = Deflated(tiles);
    return ByteWriter().Update(1).Rect(0, 0, uint16_t(w), uint16_t(h), kEncodingZRLE).U32(uint32_t(data.size())).Add(data);
}

ByteWriter Tight(int w, int h, std::initializer_list<uint8_t> head)
{
    return ByteWriter().Update(1).Rect(0, 0, uint16_t(w), uint16_t(h), kEncodingTight).Add(head);
}

std::vector<uint8_t> Jpeg(int w, int h)
{
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t(i * 2654435761u) & 0xFFFFFF; // noise: most of the file is image data
    bench::TightEncoder encoder;
    return encoder.Encode(bench::PixelBlock<uint32_t> { pixels.data(), w, w, h }, bench::TightForm::Jpeg);
}

// A JPEG rectangle whose data stops half-way through the image.
std::vector<uint8_t> JpegCutShort(int w, int h)
{
    const std::vector<uint8_t> whole = Jpeg(w, h);
    const size_t lengthBytes = (whole[1] & 0x80) ? ((whole[2] & 0x80) ? 3 : 2) : 1;
    const std::vector<uint8_t> image(whole.begin() + ptrdiff_t(1 + lengthBytes), whole.end());
    std::vector<uint8_t> out { 0x90 };
    bench::AppendCompactLength(out, uint32_t(image.size() / 2));
    out.insert(out.end(), image.begin(), image.begin() + ptrdiff_t(image.size() / 2));
    return out;
}

TEST(CompressedHostile, EachLieEndsTheCycleWithItsReason)
{
    std::vector<uint8_t> endlessRun { 128, 1 };
    endlessRun.resize(400, 255);
    std::vector<uint8_t> notJpeg { 0x90, 40 };
    notJpeg.resize(42, 0x5A);
    const struct {
        const char* what;
        bool trueColour;
        ByteWriter server;
        const char* reason;
    } cases[] = {
        { "ZRLE packed index past its palette of 3", true,
            Zrle(4, 1, { 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0b00011011 }), "palette index 3 past" },
        { "ZRLE palette run index past its palette", false, Zrle(2, 2, { 130, 7, 8, 0x85, 2 }), "palette index 5" },
        { "ZRLE run past the tile", true, Zrle(8, 8, { 128, 1, 2, 3, 64 }), "past the end of its tile" },
        { "ZRLE endless run of 255s", false, Zrle(8, 8, endlessRun), "past the end of its tile" },
        { "ZRLE unused subencoding", true, Zrle(4, 4, { 17 }), "unused ZRLE tile subencoding 17" },
        { "ZRLE data that ends before its tiles", true, Zrle(4, 4, { 0, 1, 2, 3 }), "ends before its pixels" },
        { "ZRLE data that inflates to more", true, Zrle(4, 4, { 1, 1, 2, 3, 1, 1, 2, 3 }), "holds more than" },
        { "ZRLE data that is no zlib stream", true,
            ByteWriter().Update(1).Rect(0, 0, 4, 4, kEncodingZRLE).U32(6).Add({ 1, 2, 3, 4, 5, 6 }), "broken zlib data" },
        { "Tight compact length past its cap", true, Tight(64, 64, { 0x00, 0xFF, 0xFF, 0xFF }), "exceeds the limit" },
        { "Tight JPEG in 256 colours", false, Tight(4, 4, { 0x90, 0 }), "JPEG rectangle in 256 colours" },
        { "Tight JPEG that is not one", true, ByteWriter().Update(1).Rect(0, 0, 8, 8, kEncodingTight).Add(notJpeg),
            "broken JPEG" },
        { "Tight JPEG of another size", true, ByteWriter().Update(1).Rect(0, 0, 8, 8, kEncodingTight).Add(Jpeg(16, 8)),
            "not its rectangle's 8 x 8" },
        { "Tight JPEG that ends early", true,
            ByteWriter().Update(1).Rect(0, 0, 64, 64, kEncodingTight).Add(JpegCutShort(64, 64)), "broken JPEG" },
        { "Tight palette index past its palette", false, Tight(4, 2, { 0x40, 1, 2, 7, 8, 9, 0, 1, 2, 3, 0, 0, 0, 0 }),
            "palette index 3 past" },
        { "Tight gradient wider than 2048", true, Tight(2049, 1, { 0x40, 2 }), "gradient filter on a rectangle 2049" },
        { "Tight unknown filter", true, Tight(4, 4, { 0x40, 3 }), "unknown Tight filter 3" },
        { "Tight unknown form", true, Tight(4, 4, { 0xA0 }), "unknown Tight compression form 10" },
    };
    for (const auto& c : cases) {
        ReadySession session(8, 8, c.trueColour);
        EXPECT_FALSE(session.Cycle(c.server)) << c.what;
        EXPECT_NE(session.proto->CycleError.find(c.reason), std::string::npos)
            << c.what << ": " << session.proto->CycleError;
        EXPECT_FALSE(session.proto->IsReady()) << c.what;
    }
}

TEST(CompressedHostile, StreamCutAtAnyByteFailsCleanlyAndTheWholeOneDecodes)
{
    std::vector<uint32_t> picture(20 * 10);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint32_t(i % 7) * 0x102030u;
    const bench::PixelBlock<uint32_t> block { picture.data(), 20, 20, 10 };
    for (const int32_t encoding : { kEncodingZRLE, kEncodingTight }) {
        bench::ZrleEncoder zrle;
        bench::TightEncoder tight;
        ByteWriter message;
        message.Update(2);
        message.Rect(0, 0, 20, 10, encoding)
            .Add(encoding == kEncodingZRLE ? zrle.Encode(block, bench::ZrleForm::PaletteRle)
                                           : tight.Encode(block, bench::TightForm::Palette));
        message.Rect(0, 0, 20, 10, encoding)
            .Add(encoding == kEncodingZRLE ? zrle.Encode(block, bench::ZrleForm::Raw)
                                           : tight.Encode(block, bench::TightForm::Jpeg));
        for (size_t cut = 1; cut < message.bytes().size(); ++cut) {
            ReadySession session(16, 16);
            EXPECT_FALSE(session.Cycle(ByteWriter().Add(
                std::vector<uint8_t>(message.bytes().begin(), message.bytes().begin() + ptrdiff_t(cut)))))
                << encoding << " cut at " << cut;
        }
        ReadySession whole(16, 16);
        EXPECT_TRUE(whole.Cycle(message)) << whole.proto->CycleError;
    }
}

TEST(CompressedHostile, ANewConnectionStartsFreshStreams)
{
    std::vector<uint32_t> picture(8 * 8, 0x123456);
    picture[9] = 0x654321;
    const bench::PixelBlock<uint32_t> block { picture.data(), 8, 8, 8 };
    ReadySession session(8, 8);
    for (int connection = 0; connection < 2; ++connection) {
        if (connection > 0) {
            auto transport = std::make_unique<MemoryTransport>();
            session.wire = transport.get();
            session.wire->Open();
            session.proto->AdoptSession(8, 8, true, std::move(transport));
        }
        // A server's streams start with its connection.
        bench::ZrleEncoder zrle;
        bench::TightEncoder tight;
        ByteWriter server;
        server.Update(2).Rect(0, 0, 8, 8, kEncodingZRLE).Add(zrle.Encode(block, bench::ZrleForm::PaletteRle));
        server.Rect(0, 0, 8, 8, kEncodingTight).Add(tight.Encode(block, bench::TightForm::Copy));
        ASSERT_TRUE(session.Cycle(server)) << connection << ": " << session.proto->CycleError;
        EXPECT_EQ(session.At(1, 1), 0x654321u);
    }
}

} // namespace
} // namespace zarn
