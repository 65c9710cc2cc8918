// A server that lies about sizes, positions and lengths, cuts its stream anywhere or never
// stops sending: the engine must stay inside its arrays, keep its memory bounded, and either
// stay in step or end the cycle with a reason.

#include <gtest/gtest.h>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"
#include "protocol/Limits.h"

namespace zarn {
namespace {

using test::ReadySession;
using test::ByteWriter;

TEST(HostileServer, RectanglesPastEveryEdgeAreClippedAndStayInStep)
{
    const struct {
        uint16_t x, y, w, h;
    } places[] = { { 6, 2, 4, 2 }, { 2, 6, 2, 4 }, { 6, 6, 9, 9 }, { 65535, 0, 2, 2 }, { 0, 65535, 3, 1 },
        { 65535, 65535, 1, 1 }, { 0, 0, 40, 40 } };
    for (const bool trueColor : { true, false }) {
        for (const auto& p : places) {
            ReadySession session(8, 8, trueColor);
            const size_t pixelBytes = trueColor ? 4 : 1;
            const std::vector<uint8_t> pixels(size_t(p.w) * p.h * pixelBytes, 3);
            ByteWriter server;
            server.Update(5);
            server.Rect(p.x, p.y, p.w, p.h, kEncodingRaw).Add(pixels);
            server.Rect(p.x, p.y, p.w, p.h, kEncodingCopyRect).U16(p.x).U16(p.y);
            server.Rect(0, 0, 8, 8, kEncodingCopyRect).U16(65535).U16(7); // source outside
            server.Rect(p.x, p.y, p.w, p.h, kEncodingRRE).U32(1).Add(std::vector<uint8_t>(pixelBytes, 4));
            server.Add(std::vector<uint8_t>(pixelBytes, 5)).U16(65535).U16(1).U16(65535).U16(65535);
            server.Rect(p.x, p.y, p.w, p.h, kEncodingHextile);
            for (int tile = 0; tile < ((p.w + 15) / 16) * ((p.h + 15) / 16); ++tile)
                server.U8(kHextileBackgroundSpecified).Add(std::vector<uint8_t>(pixelBytes, 6));
            ASSERT_TRUE(session.Cycle(server.U8(2))) << p.x << "," << p.y;
            EXPECT_EQ(session.wire->Remaining(), 0u);
            if (p.x < 8 && p.y < 8) {
                EXPECT_EQ(session.At(p.x, p.y), trueColor ? 0x06060606u : 6u);
            }
        }
    }
}

TEST(HostileServer, HextileSubrectanglesPastTheTileAndTheFramebufferAreClipped)
{
    struct Probe {
        int x, y;
        uint32_t want;
    };
    struct Case {
        const char* what;
        int side; // of the framebuffer; the one 16x16 tile sits at (8, 8)
        uint8_t xy, wh; // the subrectangle as on the wire
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        { "16x16 from (15, 15), tile across the framebuffer's edge", 20, 0xFF, 0xFF,
            { { 8, 8, 1 }, { 19, 19, 1 }, { 7, 7, 0 } } },
        // Tiles wholly inside the framebuffer take another path. A subrectangle one pixel past
        // such a tile at the framebuffer's edge must not wrap into the next row (or, at the
        // bottom, run past the array: the sanitizer build sees that one).
        { "one pixel past a tile at the right edge", 24, 0xF0, 0x10, { { 23, 8, 2 }, { 0, 9, 0 } } },
        { "one pixel past a tile at the bottom edge", 24, 0x0F, 0x01, { { 8, 23, 2 }, { 9, 23, 1 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadySession session(c.side, c.side);
        ByteWriter server;
        server.Update(1).Rect(8, 8, 16, 16, kEncodingHextile);
        // Background 1, foreground 2, one subrectangle.
        server.U8(kHextileBackgroundSpecified | kHextileForegroundSpecified | kHextileAnySubrects);
        server.Px<uint32_t>(1).Px<uint32_t>(2).U8(1).U8(c.xy).U8(c.wh);
        ASSERT_TRUE(session.Cycle(server));
        for (const Probe& p : c.probes)
            EXPECT_EQ(session.At(p.x, p.y), p.want) << p.x << "," << p.y;
    }
}

TEST(HostileServer, HugeWireCountsCostBytesNotMemory)
{
    // RRE with N = 2^32 - 1 and a Raw rectangle of 65535 x 65535, both cut short: the
    // decoder reads what comes in bounded chunks and fails when the stream ends.
    const size_t subrectBytes = 4 + 8;
    ByteWriter rre;
    rre.U32(0xFFFFFFFF).Px<uint32_t>(0);
    for (size_t i = 0; i < 3 * kRreSubrectsPerChunk; ++i)
        rre.Px<uint32_t>(7).U16(uint16_t(i % 8)).U16(0).U16(1).U16(1);
    MemoryTransport transport(rre.bytes());
    transport.Open();
    std::vector<uint32_t> pixels(8 * 8);
    std::vector<uint8_t> buffer;
    uint64_t received = 0;
    RectangleDecoder32 decoder(transport, buffer, received, { pixels.data(), 8, 8 });
    EXPECT_THROW(decoder.DecodeRRE(0, 0, 8, 8), TransportError);
    EXPECT_LE(buffer.size(), kRreSubrectsPerChunk * subrectBytes);
    EXPECT_EQ(pixels[7], 7u); // subrectangles that did arrive were applied

    MemoryTransport rawTransport(std::vector<uint8_t>(3u << 20, 1));
    rawTransport.Open();
    buffer.clear();
    RectangleDecoder32 rawDecoder(rawTransport, buffer, received, { pixels.data(), 8, 8 });
    EXPECT_THROW(rawDecoder.DecodeRaw(0, 0, 65535, 65535), TransportError);
    EXPECT_LE(buffer.size(), kMaxRawChunkBytes);
    EXPECT_EQ(pixels[0], 0x01010101u);
}

TEST(HostileServer, OversizedCutTextEndsTheCycleWithoutReadingIt)
{
    ReadySession session(4, 4);
    session.proto->CutText = "before";
    EXPECT_FALSE(session.Cycle(ByteWriter().U8(3).Add({ 0, 0, 0 }).U32(0xFFFFFFFF).Add({ 'x', 'y' })));
    EXPECT_EQ(session.proto->CutText, "before");
    EXPECT_NE(session.proto->CycleError.find("limit"), std::string::npos);
    EXPECT_EQ(session.wire->Remaining(), 2u);
}

TEST(HostileServer, StreamCutInsideAnyMessageFailsTheCycleCleanly)
{
    const ByteWriter messages[] = {
        ByteWriter().Update(1).Rect(0, 0, 2, 2, kEncodingRaw).Add(std::vector<uint8_t>(16, 1)),
        ByteWriter().Update(1).Rect(0, 0, 2, 2, kEncodingCopyRect).U16(1).U16(1),
        ByteWriter().Update(1).Rect(0, 0, 4, 4, kEncodingRRE).U32(1).U32(1).U32(2).U16(0).U16(0).U16(1).U16(1),
        ByteWriter()
            .Update(1)
            .Rect(0, 0, 17, 1, kEncodingHextile)
            .U8(kHextileRaw)
            .Add(std::vector<uint8_t>(64, 1))
            .U8(kHextileBackgroundSpecified | kHextileAnySubrects | kHextileSubrectsColoured)
            .U32(2)
            .U8(1)
            .U32(3)
            .U16(0),
        ByteWriter().U8(1).U8(0).U16(0).U16(2).Add(std::vector<uint8_t>(12, 0x80)),
        ByteWriter().U8(3).Add({ 0, 0, 0 }).U32(4).Add({ 'a', 'b', 'c', 'd' }),
    };
    for (const ByteWriter& message : messages) {
        for (size_t cut = 1; cut < message.bytes().size(); ++cut) {
            ReadySession session(4, 4);
            const ByteWriter prefix = ByteWriter().Add(
                std::vector<uint8_t>(message.bytes().begin(), message.bytes().begin() + ptrdiff_t(cut)));
            EXPECT_FALSE(session.Cycle(prefix)) << "type " << int(message.bytes()[0]) << " cut at " << cut;
            EXPECT_FALSE(session.proto->IsReady());
        }
        ReadySession whole(4, 4);
        EXPECT_TRUE(whole.Cycle(message)) << "type " << int(message.bytes()[0]);
    }
}

// A server that never stops: every read finds another empty FramebufferUpdate waiting.
class EndlessUpdates final : public ITransport {
public:
    void SetHost(const std::string&) override { }
    void SetPort(int) override { }
    void Connect() override { }
    void Disconnect() override { }
    void ReleaseSocket() override { }
    bool HasSocket() const override { return true; }
    bool Connected() override { return true; }
    bool ReceiveBufferEmpty() const override { return false; }
    void SetReadDeadline(const Deadline&) override { }
    void SetWriteTimeout(int) override { }
    void ReadExact(uint8_t* dst, size_t n) override
    {
        for (size_t i = 0; i < n; ++i)
            dst[i] = 0; // type 0, padding 0, zero rectangles: over and over
    }
    std::string ReadLine(size_t) override { return {}; }
    void Write(const uint8_t*, size_t) override { }
    using ITransport::Write;
};

TEST(HostileServer, EndlessStreamCannotHoldTheCycleBeyondItsBudget)
{
    TVNCProto proto;
    proto.AdoptSession(1, 1, true, std::make_unique<EndlessUpdates>());
    proto.Limits.CycleBudgetMs = 0; // one message, then back to the caller
    ASSERT_TRUE(proto.RequestUpdate(0, 0, 1, 1, true));
    EXPECT_EQ(proto.FramesReceived, 1u);
    proto.Limits.CycleBudgetMs = 20;
    ASSERT_TRUE(proto.RequestUpdate(0, 0, 1, 1, true)); // returning at all is the point
    EXPECT_GT(proto.FramesReceived, 1u);
}

} // namespace
} // namespace zarn
