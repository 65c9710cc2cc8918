// End to end against real servers: a picture drawn on the server's X display must reach the
// client's framebuffer pixel for pixel, whatever subset of encodings the client announces,
// in true colour (Xvnc) and through the server's colour map (x11vnc on an 8-bit display).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "protocol/VNCProto.h"
#include "support/RealServers.h"
#include "support/XcbCanvas.h"

namespace zarn::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Servers under a loaded machine can take a while; the loop ends as soon as both agree.
constexpr auto kSettleDeadline = 45s;
constexpr auto kCyclePause = 20ms;
constexpr auto kComparePeriod = 250ms;

struct EncodingCase {
    const char* name;
    bool copyRect;
    bool rre;
    bool hextile;
    bool zrle = false;
    bool tight = false; // lossless: no JPEG quality is announced
};

const EncodingCase kEncodingCases[] = {
    { "RawOnly", false, false, false },
    { "CopyRect", true, false, false },
    { "RRE", false, true, false },
    { "Hextile", false, false, true },
    { "AllFour", true, true, true },
    { "ZRLE", false, false, false, true },
    { "Tight", false, false, false, false, true },
};

std::string CaseName(const testing::TestParamInfo<EncodingCase>& info)
{
    return info.param.name;
}

// One client session the way the window starts it, minus the frame thread: the test
// drives the cycles itself so it can draw between them.
class ClientSession {
public:
    ClientSession(int port, const EncodingCase& encodings, bool trueColor, int jpegQuality = -1)
    {
        FProto.JpegQuality = jpegQuality;
        FProto.UseCopyRect = encodings.copyRect;
        FProto.UseRRE = encodings.rre;
        FProto.UseHextile = encodings.hextile;
        FProto.UseZRLE = encodings.zrle;
        FProto.UseTight = encodings.tight;
        FConnected = FProto.Connect("127.0.0.1", port);
        if (!FConnected)
            return;
        FProto.SendSetEncodings();
        FProto.TrueColor = trueColor;
        FPixelFormatSent = FProto.SendSetPixelFormat();
    }

    testing::AssertionResult Started()
    {
        if (!FConnected)
            return testing::AssertionFailure() << "Connect failed: " << FProto.LastError;
        if (!FPixelFormatSent)
            return testing::AssertionFailure() << "SetPixelFormat was not sent";
        return testing::AssertionSuccess();
    }

    // One update cycle of the whole screen; the first is non-incremental.
    testing::AssertionResult Cycle()
    {
        const bool incremental = FCycles++ > 0;
        if (FProto.RequestUpdate(
                0, 0, uint16_t(FProto.FramebufferWidth), uint16_t(FProto.FramebufferHeight), incremental))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "update cycle failed: " << FProto.CycleError;
    }

    testing::AssertionResult Cycles(int count)
    {
        for (int i = 0; i < count; ++i) {
            if (auto result = Cycle(); !result)
                return result;
            std::this_thread::sleep_for(kCyclePause);
        }
        return testing::AssertionSuccess();
    }

    // Cycles until the client's picture equals the server's screen. The screen is read
    // back only every few cycles: a grab of the root costs far more than a cycle.
    testing::AssertionResult SettlesTo(XcbCanvas& canvas)
    {
        const auto deadline = Clock::now() + kSettleDeadline;
        auto nextCompare = Clock::now();
        PictureDifference difference;
        for (;;) {
            if (auto result = Cycle(); !result)
                return result;
            if (Clock::now() >= nextCompare) {
                difference = ComparePictures(canvas.Grab(), FProto.CurrentImage());
                if (difference.count == 0)
                    return testing::AssertionSuccess();
                if (Clock::now() >= deadline)
                    break;
                nextCompare = Clock::now() + kComparePeriod;
            }
            std::this_thread::sleep_for(kCyclePause);
        }
        return testing::AssertionFailure() << "client never matched the server after "
                                           << FProto.FramesReceived << " updates: " << difference.Describe();
    }

    TVNCProto& Proto() { return FProto; }

private:
    TVNCProto FProto;
    bool FConnected = false;
    bool FPixelFormatSent = false;
    int FCycles = 0;
};

// Draws the picture, then moves a window across it in steps while the client keeps
// updating, so that moves reach the client as they happen (CopyRect where announced).
testing::AssertionResult DrawAndMoveWindow(
    XcbCanvas& canvas, ClientSession& client, const TestPicture& picture)
{
    DrawTestPicture(canvas, picture);
    const int w = canvas.Width();
    const int h = canvas.Height();
    const int winW = w / 4;
    const int winH = h / 4;
    const uint32_t window = CreatePatternWindow(canvas, w / 2 + 8, h / 2 + 8, winW, winH, picture);
    if (auto result = client.Cycles(3); !result)
        return result;
    const int steps = 8;
    for (int i = 1; i <= steps; ++i) {
        // Stay inside the screen: a move that uncovers nothing off-screen is a pure copy.
        const int x = w / 2 + 8 + i * (w / 2 - winW - 16) / steps;
        const int y = h / 2 + 8 + (i % 3) * (h / 2 - winH - 16) / 2;
        canvas.MoveWindow(window, x, y);
        canvas.Sync();
        if (auto result = client.Cycles(3); !result)
            return result;
    }
    return testing::AssertionSuccess();
}

bool ColourTableSet(const TVNCProto& proto)
{
    return std::any_of(std::begin(proto.BitmapInfo.bmiColors), std::end(proto.BitmapInfo.bmiColors),
        [](const TRGBQuad& c) { return c.rgbRed || c.rgbGreen || c.rgbBlue; });
}

// A server shared by every case of a suite: starting an X server per case would dominate
// the run time. Each case draws its own picture over the whole screen.
template <typename Server> struct SharedServer {
    static inline std::unique_ptr<Server> server;
    static inline std::string skipReason;
    static inline std::string startError;

    static void Start(const RealServerOptions& options)
    {
        skipReason = Server::MissingTools(options);
        if (!skipReason.empty())
            return;
        server = std::make_unique<Server>(options);
        if (!server->Start(&startError))
            server.reset();
    }
    static void Stop() { server.reset(); }
};

// ---------------------------------------------------------------------------------------------
// TigerVNC Xvnc, depth 24: 32-bit true-colour pixels, red at bit 16.

class LiveXvncPicture : public testing::TestWithParam<EncodingCase> {
protected:
    using Shared = SharedServer<XvncServer>;
    static void SetUpTestSuite()
    {
        RealServerOptions options;
        options.width = 640;
        options.height = 480;
        options.depth = 24;
        Shared::Start(options);
    }
    static void TearDownTestSuite() { Shared::Stop(); }

    void SetUp() override
    {
        if (!Shared::skipReason.empty())
            GTEST_SKIP() << Shared::skipReason;
        ASSERT_TRUE(Shared::server) << Shared::startError;
    }
};

TEST_P(LiveXvncPicture, FramebufferEqualsServerScreenAfterUpdatesSettle)
{
    XcbCanvas canvas(Shared::server->DisplayName());
    ASSERT_FALSE(canvas.Indexed());
    canvas.HideCursor();

    ClientSession client(Shared::server->Port(), GetParam(), true);
    ASSERT_TRUE(client.Started());
    ASSERT_EQ(client.Proto().FramebufferWidth, canvas.Width());
    ASSERT_EQ(client.Proto().FramebufferHeight, canvas.Height());
    // Whatever an earlier case left on the screen first, then the new picture on top.
    ASSERT_TRUE(client.SettlesTo(canvas));

    TestPicture picture;
    picture.Seed = static_cast<uint32_t>(std::hash<std::string> {}(GetParam().name));
    ASSERT_TRUE(DrawAndMoveWindow(canvas, client, picture));
    EXPECT_TRUE(client.SettlesTo(canvas));
    EXPECT_FALSE(client.Proto().CurrentImage().indexed);
    EXPECT_EQ(client.Proto().BitsPerPixel, 32);
}

INSTANTIATE_TEST_SUITE_P(Encodings, LiveXvncPicture, testing::ValuesIn(kEncodingCases), CaseName);

// Tight with JPEG asked for (quality level 6): the photo-like part of the picture comes as JPEG,
// so the client's picture cannot be exact, but it must come within a small mean error of the
// screen once the updates have settled, and stay in the framebuffer's pixel layout.
TEST_F(LiveXvncPicture, TightJpegComesWithinASmallMeanErrorOfTheScreen)
{
    constexpr double kMostMeanError = 3.0;
    XcbCanvas canvas(Shared::server->DisplayName());
    canvas.HideCursor();
    const EncodingCase tight { "TightJpeg", false, false, false, false, true };
    ClientSession client(Shared::server->Port(), tight, true, 6);
    ASSERT_TRUE(client.Started());
    TestPicture picture;
    picture.Seed = 77;
    ASSERT_TRUE(DrawAndMoveWindow(canvas, client, picture));
    const auto deadline = Clock::now() + kSettleDeadline;
    PictureDifference difference;
    do {
        ASSERT_TRUE(client.Cycles(5));
        difference = ComparePictures(canvas.Grab(), client.Proto().CurrentImage());
    } while (difference.meanError > kMostMeanError && Clock::now() < deadline);
    EXPECT_LE(difference.meanError, kMostMeanError) << difference.Describe();
    EXPECT_GT(difference.count, 0u) << "no pixel differs: JPEG was never used";
}

// ---------------------------------------------------------------------------------------------
// x11vnc over an 8-bit PseudoColor Xvfb. For a colour-map client the server sends a
// 3-3-2 colour map and translates its own colours onto it, so the test draws only colours
// of that lattice: those pass through unchanged, and the client's indices through its
// colour table must then equal the server's own rendering exactly.

class LiveX11vncColourMap : public testing::TestWithParam<EncodingCase> {
protected:
    using Shared = SharedServer<X11vncServer>;
    static void SetUpTestSuite()
    {
        RealServerOptions options;
        options.width = 400;
        options.height = 300;
        options.depth = 8;
        // x11vnc paints a pointer of its own into the updates of clients that cannot draw
        // one, which the root window's pixels never show.
        options.vncArgs = { "-nocursor" };
        Shared::Start(options);
    }

    static void TearDownTestSuite() { Shared::Stop(); }

    void SetUp() override
    {
        if (!Shared::skipReason.empty())
            GTEST_SKIP() << Shared::skipReason;
        ASSERT_TRUE(Shared::server) << Shared::startError;
    }
};

TEST_P(LiveX11vncColourMap, PictureThroughColourTableEqualsServerRendering)
{
    XcbCanvas canvas(Shared::server->DisplayName());
    ASSERT_TRUE(canvas.Indexed()) << "Xvfb at depth 8 was expected to give a PseudoColor root";
    canvas.HideCursor();

    ClientSession client(Shared::server->Port(), GetParam(), false);
    ASSERT_TRUE(client.Started());
    ASSERT_FALSE(ColourTableSet(client.Proto())) << "a new engine starts with a black colour table";

    TestPicture picture;
    picture.Quantise = SnapToBgr233;
    picture.Seed = static_cast<uint32_t>(std::hash<std::string> {}(GetParam().name)) | 1u;
    ASSERT_TRUE(DrawAndMoveWindow(canvas, client, picture));
    ASSERT_TRUE(client.SettlesTo(canvas));

    EXPECT_TRUE(ColourTableSet(client.Proto())) << "no SetColourMapEntries arrived";
    const ImageView image = client.Proto().CurrentImage();
    EXPECT_TRUE(image.indexed);
    EXPECT_EQ(client.Proto().BitsPerPixel, 8);
}

INSTANTIATE_TEST_SUITE_P(Encodings, LiveX11vncColourMap, testing::ValuesIn(kEncodingCases), CaseName);

} // namespace
} // namespace zarn::test
