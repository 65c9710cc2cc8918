// The session's zlib streams with each inflater the build has: the same server stream (blocks
// ended by a sync flush, as servers send them, taken in odd amounts and across input pieces)
// gives the same bytes, and every broken block ends the same way, whichever inflater runs.

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "CompressedEncode.h"
#include "protocol/EngineErrors.h"
#include "protocol/ZlibStream.h"
#include "support/MemoryTransport.h"

namespace zarn {
namespace {

using ServerStream = bench::ZlibServerStream;

// Text-like bytes that compress well but reach back across blocks.
std::vector<uint8_t> Plain(size_t n, unsigned seed)
{
    std::vector<uint8_t> bytes(n);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = (state >> 24) % 7 == 0 ? uint8_t(state >> 16) : uint8_t("the quick brown fox "[i % 20]);
    }
    return bytes;
}

class ZlibStreams : public ::testing::TestWithParam<EInflateBackend> {
protected:
    // Takes `plain.size()` bytes of the block in pieces of `step` and checks them.
    void ExpectBlock(const std::vector<uint8_t>& compressed, const std::vector<uint8_t>& plain, size_t step)
    {
        MemoryTransport wire(compressed);
        wire.Open();
        uint64_t received = 0;
        stream.Begin(wire, received, compressed.size());
        for (size_t at = 0; at < plain.size(); at += step) {
            const size_t n = std::min(step, plain.size() - at);
            ASSERT_EQ(std::memcmp(stream.Take(n), plain.data() + at, n), 0) << "at " << at << " of a piece of " << step;
        }
        stream.End();
        EXPECT_EQ(received, compressed.size());
        EXPECT_EQ(wire.Remaining(), 0u);
    }
    // The message the block ends the session with, "" if it does not.
    std::string Failure(const std::vector<uint8_t>& compressed, size_t take)
    {
        MemoryTransport wire(compressed);
        wire.Open();
        uint64_t received = 0;
        try {
            stream.Begin(wire, received, compressed.size());
            stream.Take(take);
            stream.End();
        } catch (const ProtocolViolation& e) {
            return e.what();
        }
        return "";
    }

    TZlibStream stream { GetParam() };
};

TEST_P(ZlibStreams, BlocksOfOneStreamInflateInAnyPiecesAndAfterAReset)
{
    ServerStream server;
    const size_t sizes[] = { 1, 3, 70000, 12 * 1024, 300000 };
    const size_t steps[] = { 1, 7, 4096, 65536 + 3, 300000 };
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const std::vector<uint8_t> plain = Plain(sizes[i], unsigned(i));
        ExpectBlock(server.Block(plain), plain, steps[i]);
    }
    // The server starts over (Tight's reset bit, a new connection).
    stream.Reset();
    ServerStream fresh;
    const std::vector<uint8_t> plain = Plain(5000, 9);
    ExpectBlock(fresh.Block(plain), plain, 100);
}

TEST_P(ZlibStreams, EveryBrokenBlockEndsTheSessionTheSameWay)
{
    const std::vector<uint8_t> plain = Plain(4000, 1);
    struct Case {
        std::string name;
        std::function<std::vector<uint8_t>()> block;
        size_t take;
        std::string expected;
    };
    const std::vector<Case> cases {
        { "more than the rectangle needs", [&] { return ServerStream().Block(plain); }, 3000,
            "holds more than its pixels" },
        { "less than the rectangle needs", [&] { return ServerStream().Block(plain); }, 5000,
            "ends before its pixels do" },
        { "cut short", [&] { auto b = ServerStream().Block(plain); b.resize(b.size() / 2); return b; }, 4000,
            "ends before its pixels do" },
        { "the stream's last block", [&] { return ServerStream().Block(plain, Z_FINISH); }, 4000,
            "stream of the session ended" },
        { "not a zlib header", [&] { auto b = ServerStream().Block(plain); b[0] = 0x79; return b; }, 4000,
            "not a zlib stream header" },
        { "a reserved block type", [] { return std::vector<uint8_t> { 0x78, 0x9C, 0x06, 0, 0, 0 }; }, 10,
            "broken zlib data" },
        { "a distance before the stream's start", [] {
              // A fixed-code block whose first symbol copies from one byte back.
              return std::vector<uint8_t> { 0x78, 0x9C, 0x02, 0x02, 0x00, 0x00 };
          },
            10, "broken zlib data" },
    };
    for (const Case& c : cases) {
        stream.Reset();
        const std::string failure = Failure(c.block(), c.take);
        EXPECT_NE(failure.find(c.expected), std::string::npos) << c.name << ": " << failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Inflaters, ZlibStreams, ::testing::ValuesIn(InflateBackends()),
    [](const ::testing::TestParamInfo<EInflateBackend>& info) {
        return info.param == EInflateBackend::Isal ? std::string("Isal") : std::string("Zlib");
    });

} // namespace
} // namespace zarn
