#include <gtest/gtest.h>

#include <functional>

#include "UpdateCycleTestHelpers.h"

namespace zarn {
namespace {

using test::ReadySession;
using Bytes = std::vector<uint8_t>;
using Send = std::function<void(TVNCProto&)>;

Send Encodings(bool hextile, bool rre, bool copyRect)
{
    return [=](TVNCProto& p) {
        p.UseHextile = hextile;
        p.UseRRE = rre;
        p.UseCopyRect = copyRect;
        p.SendSetEncodings();
    };
}

Send PixelFormat(bool trueColor)
{
    return [=](TVNCProto& p) {
        p.TrueColor = trueColor;
        EXPECT_TRUE(p.SendSetPixelFormat());
        EXPECT_EQ(p.BitsPerPixel, trueColor ? 32 : 8);
        EXPECT_EQ(p.BitmapInfo.bmiHeader.biBitCount, trueColor ? 32 : 8);
        EXPECT_EQ(p.BitmapInfo.bmiHeader.biClrUsed, 0u);
    };
}

TEST(ClientMessages, EachMessageGoesOutByteForByteAndIsCounted)
{
    const struct {
        const char* what;
        Send send;
        Bytes wire;
    } cases[] = { { "encodings, none optional", Encodings(false, false, false), { 2, 0, 0, 1, 0, 0, 0, 0 } },
        { "encodings, all", Encodings(true, true, true),
            { 2, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0 } },
        { "encodings, RRE", Encodings(false, true, false), { 2, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0 } },
        { "encodings, RRE and the size encodings", [](TVNCProto& p) { p.UseDesktopResize = true; Encodings(false, true, false)(p); },
            { 2, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x21, 0xFF, 0xFF, 0xFE, 0xCC, 0xFF, 0xFF, 0xFF, 0x20 } },
        { "pixel format, true colour", PixelFormat(true),
            { 0, 0, 0, 0, 0x20, 0x18, 0, 1, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0x10, 0x08, 0, 0, 0, 0 } },
        { "pixel format, colour map", PixelFormat(false),
            { 0, 0, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 } },
        { "pointer", [](TVNCProto& p) { p.SendPointerEvent(1, 10, 20); }, { 5, 1, 0, 10, 0, 20 } },
        { "key press", [](TVNCProto& p) { p.SendKeyEvent(0x61, 0, true); }, { 4, 1, 0, 0, 0, 0, 0, 0x61 } },
        { "key release", [](TVNCProto& p) { p.SendKeyEvent(0xFFE1, 0, false); },
            { 4, 0, 0, 0, 0, 0, 0xFF, 0xE1 } },
        { "keysym past 16 bits", [](TVNCProto& p) { p.SendKeySym(0x1000429, true); },
            { 4, 1, 0, 0, 0x01, 0x00, 0x04, 0x29 } },
        { "cut text", [](TVNCProto& p) { p.SendClientCutText("abc"); },
            { 6, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c' } },
        { "empty cut text", [](TVNCProto& p) { p.SendClientCutText(""); }, { 6, 0, 0, 0, 0, 0, 0, 0 } } };
    for (const auto& c : cases) {
        ReadySession session(4, 4);
        session.proto->BitsPerPixel = 16;
        session.proto->BitmapInfo.bmiHeader.biClrUsed = 7;
        session.proto->BytesSent = 5;
        c.send(*session.proto);
        EXPECT_EQ(session.wire->Written(), c.wire) << c.what;
        EXPECT_EQ(session.proto->BytesSent, 5 + c.wire.size()) << c.what;
    }
}

TEST(ClientMessages, NothingIsSentBeforeItsPrecondition)
{
    ReadySession session(4, 4);
    session.proto->EncodingsSent = false; // connected but not ready
    EXPECT_FALSE(session.proto->SendSetPixelFormat());
    EXPECT_FALSE(session.proto->SendKeyEvent(0x10, 0, true));
    EXPECT_FALSE(session.proto->SendKeySym(0x20AC, true));
    EXPECT_FALSE(session.proto->SendPointerEvent(1, 1, 1));
    EXPECT_EQ(session.proto->LastShiftKeySym, 0);

    session.proto->Disconnect(); // not connected at all
    session.proto->SendSetEncodings();
    session.proto->SendClientCutText("kept");
    EXPECT_EQ(session.proto->CutText, "kept");
    EXPECT_FALSE(session.proto->EncodingsSent);
    EXPECT_TRUE(session.wire->Written().empty());
    EXPECT_EQ(session.proto->BytesSent, 0u);
}

TEST(ClientMessages, SessionStartsWithEncodingsThenPixelFormatThenModifierReleases)
{
    ReadySession session(4, 4);
    session.proto->EncodingsSent = false;
    session.proto->UseCopyRect = true;
    ASSERT_TRUE(session.proto->StartSession(false));
    Bytes want = { 2, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 8, 8 };
    want.resize(want.size() + 14);
    for (const uint8_t low : { 0xE1, 0xE2, 0xE3, 0xE4, 0xE9, 0xEA })
        want.insert(want.end(), { 4, 0, 0, 0, 0, 0, 0xFF, low });
    EXPECT_EQ(session.wire->Written(), want);
    EXPECT_EQ(session.proto->BytesSent, want.size());
}

} // namespace
} // namespace zarn
