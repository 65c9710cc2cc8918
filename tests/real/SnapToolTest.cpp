// The headless client, run as a program against real servers: how it names servers and
// finds passwords, what it writes and prints, how it ends, and its exit codes.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/Bmp.h"
#include "platform/TlsTransport.h"
#include "support/RealServers.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"
#include "support/XcbCanvas.h"

namespace zarn::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The tool is built beside the tests: <build>/tools/zarnvnc-snap next to <build>/tests/.
// ZARNVNC_SNAP names another build of it.
std::filesystem::path SnapToolPath()
{
    if (const char* path = std::getenv("ZARNVNC_SNAP"))
        return path;
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return self.parent_path().parent_path() / "tools" / "zarnvnc-snap";
}

bool SnapToolBuilt()
{
    return ::access(SnapToolPath().c_str(), X_OK) == 0;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The tool as a child process; its stdout and stderr land together in one log.
class SnapProcess {
public:
    explicit SnapProcess(std::vector<std::string> args)
    {
        args.insert(args.begin(), SnapToolPath().string());
        FStarted = FChild.Start(args, FTemp.File("output.log").string(), &FError);
    }

    // False when the tool has not ended by then (it is then stopped).
    bool WaitForExit(std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (FChild.Running()) {
            if (Clock::now() >= end) {
                FChild.Stop();
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return FStarted;
    }

    // Waits until the output shows `text`; false when the tool ended or time ran out first.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            if (Output().find(text) != std::string::npos)
                return true;
            if (!FChild.Running())
                return Output().find(text) != std::string::npos;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void Signal(int signal) { ::kill(FChild.Pid(), signal); }
    int ExitCode() const { return WIFEXITED(FChild.Status()) ? WEXITSTATUS(FChild.Status()) : -1; }
    std::string Output() const { return FStarted ? ReadFile(FTemp.File("output.log")) : FError; }

private:
    TempDir FTemp { "zarn-snap-run" };
    ChildProcess FChild;
    bool FStarted = false;
    std::string FError;
};

struct SnapRun {
    int exitCode = -1;
    std::string output;
};

SnapRun RunSnap(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 60s)
{
    SnapProcess process(args);
    SnapRun run;
    if (!process.WaitForExit(timeout)) {
        run.output = "(did not end within the time allowed)\n" + process.Output();
        return run;
    }
    run.exitCode = process.ExitCode();
    run.output = process.Output();
    return run;
}

std::string Target(const RealServerBase& server)
{
    return "127.0.0.1::" + std::to_string(server.Port());
}

// A loopback port nobody listens on (bound once, then released).
int RefusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct StatsLine {
    unsigned long long frames = 0, rects = 0, bytesReceived = 0, bytesSent = 0;
    double seconds = 0, decodeSeconds = 0;
    unsigned long long resizes = 0;
};

// The line that starts with "frames=", if it has exactly the documented form: its fields in
// order, whole counts, seconds with three decimals, nothing else.
std::optional<StatsLine> FindStats(const std::string& output)
{
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("frames=", 0) != 0)
            continue;
        StatsLine s;
        char rest = 0;
        const int fields = std::sscanf(line.c_str(),
            "frames=%llu rects=%llu bytes_received=%llu bytes_sent=%llu seconds=%lf decode_seconds=%lf resizes=%llu%c",
            &s.frames, &s.rects, &s.bytesReceived, &s.bytesSent, &s.seconds, &s.decodeSeconds, &s.resizes, &rest);
        char canonical[256];
        std::snprintf(canonical, sizeof canonical,
            "frames=%llu rects=%llu bytes_received=%llu bytes_sent=%llu seconds=%.3f decode_seconds=%.3f resizes=%llu",
            s.frames, s.rects, s.bytesReceived, s.bytesSent, s.seconds, s.decodeSeconds, s.resizes);
        if (fields == 7 && line == canonical)
            return s;
    }
    return std::nullopt;
}

// Mean absolute difference per channel between a decoded RGB picture and the screen.
double MeanDifference(const std::string& rgb, const ScreenImage& screen)
{
    double total = 0;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            const Rgb expected = screen.At(x, y);
            const auto* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (size_t(y) * screen.width + x) * 3;
            total += std::abs(int(p[0]) - int((expected >> 16) & 0xff));
            total += std::abs(int(p[1]) - int((expected >> 8) & 0xff));
            total += std::abs(int(p[2]) - int(expected & 0xff));
        }
    }
    return total / (3.0 * screen.width * screen.height);
}

size_t DifferingPixels(const RgbImage& picture, const ScreenImage& screen)
{
    size_t count = 0;
    for (int y = 0; y < screen.height; ++y) {
        const uint8_t* row = picture.Row(y);
        for (int x = 0; x < screen.width; ++x) {
            const Rgb actual = (Rgb(row[3 * x]) << 16) | (Rgb(row[3 * x + 1]) << 8) | row[3 * x + 2];
            count += actual != screen.At(x, y);
        }
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Naming the server, passwords and the exit codes of failed set-ups: an Xvnc that wants a
// password.

class SnapTool : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!SnapToolBuilt() || !XvncServer::MissingTools(Options()).empty())
            return;
        server = std::make_unique<XvncServer>(Options());
        if (!server->Start(&startError))
            server.reset();
    }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override
    {
        if (!SnapToolBuilt())
            GTEST_SKIP() << SnapToolPath() << " is not built";
        if (auto missing = XvncServer::MissingTools(Options()); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(server) << startError;
        ::unsetenv("ZARNVNC_PASSWORD");
    }
    void TearDown() override { ::unsetenv("ZARNVNC_PASSWORD"); }

    static RealServerOptions Options()
    {
        RealServerOptions options;
        options.width = 500;
        options.height = 300;
        options.desktopName = "snap test desk";
        options.password = "snap-pw";
        return options;
    }

    static inline std::unique_ptr<XvncServer> server;
    static inline std::string startError;
};

TEST_F(SnapTool, DescribesTheSessionForEveryWayOfNamingTheServer)
{
    ::setenv("ZARNVNC_PASSWORD", "snap-pw", 1);
    const std::string display = std::to_string(server->Display());
    const std::string port = std::to_string(server->Port());
    for (const std::string& target : { "127.0.0.1:" + display, "127.0.0.1::" + port, "localhost::" + port }) {
        SCOPED_TRACE(target);
        const SnapRun run = RunSnap({ "--info", target });
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("Protocol version: 3.8\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Security type: 2 "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Desktop name: snap test desk\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Size: 500 x 300\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("32 bits per pixel, depth 24"), std::string::npos) << run.output;
    }
}

TEST_F(SnapTool, PasswordFileWinsOverTheEnvironment)
{
    ::setenv("ZARNVNC_PASSWORD", "wrong", 1);
    TempDir temp("zarn-snap-pw");
    std::ofstream(temp.File("pw")) << "snap-pw\r\n";
    const SnapRun run = RunSnap({ Target(*server), "--password-file", temp.File("pw").string() });
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(SnapTool, WrongPasswordExitsOneWithTheServersReason)
{
    ::setenv("ZARNVNC_PASSWORD", "wrong", 1);
    TempDir temp("zarn-snap-out");
    const auto out = temp.File("never.bmp");
    const SnapRun run = RunSnap({ Target(*server), "--out", out.string() });
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("the server's reason: "), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(out)) << "no session, so no picture";
}

// Usage errors are the parser's (tests/tools); here only what needs the program and a server.
TEST_F(SnapTool, UsageErrorsAndUnreachableServersFailWithTheirExitCodes)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const std::string target = Target(*server);
    const Case cases[] = {
        { { "127.0.0.1", "--bogus" }, 2, "unknown option --bogus" },
        { { "127.0.0.1::" + std::to_string(RefusedPort()) }, 1, "cannot connect" },
        { { target, "--password-file", "/nonexistent/pw" }, 1, "cannot read the password file" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const SnapRun run = RunSnap(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
}

TEST_F(SnapTool, HelpDocumentsEveryOptionAndTheExitCodes)
{
    const SnapRun run = RunSnap({ "--help" });
    EXPECT_EQ(run.exitCode, 0);
    for (const char* text : { "--encodings", "--colors", "--fps", "--frames", "--seconds", "--until-closed",
             "--out", "--stats", "--password-file", "Exit status" })
        EXPECT_NE(run.output.find(text), std::string::npos) << text;
}

// ---------------------------------------------------------------------------------------------
// Pictures and statistics from an Xvnc without a password, with a known picture on it.

class SnapPictures : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!SnapToolBuilt() || !XvncServer::MissingTools({}).empty())
            return;
        RealServerOptions options;
        options.width = 480;
        options.height = 360;
        server = std::make_unique<XvncServer>(options);
        if (!server->Start(&startError)) {
            server.reset();
            return;
        }
        try {
            // The canvas stays connected: the window it made lives only as long as it does.
            canvas = std::make_unique<XcbCanvas>(server->DisplayName());
            canvas->HideCursor();
            DrawTestPicture(*canvas, TestPicture {});
            CreatePatternWindow(*canvas, 300, 220, 120, 90, TestPicture {});
            screen = canvas->Grab();
        } catch (const std::exception& e) {
            startError = e.what();
            server.reset();
        }
    }
    static void TearDownTestSuite()
    {
        canvas.reset();
        server.reset();
    }
    void SetUp() override
    {
        if (!SnapToolBuilt())
            GTEST_SKIP() << SnapToolPath() << " is not built";
        if (auto missing = XvncServer::MissingTools({}); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(server) << startError;
    }

    // Points in every region of the picture, corners included: a flipped or mirrored file
    // cannot match them all.
    static inline const std::vector<std::pair<int, int>> kProbes { { 0, 0 }, { 10, 10 }, { 479, 0 },
        { 300, 40 }, { 5, 200 }, { 100, 300 }, { 0, 359 }, { 479, 359 }, { 310, 230 } };

    static std::string ProbeWithIdentify(
        const std::string& file, const std::vector<std::pair<int, int>>& points)
    {
        std::string format;
        for (const auto& [x, y] : points)
            format += "%[pixel:p{" + std::to_string(x) + "," + std::to_string(y) + "}] ";
        std::string probed;
        ChildProcess::Run({ "identify", "-format", format, file }, "", &probed);
        return probed;
    }

    static std::string ExpectedProbes(const std::vector<std::pair<int, int>>& points)
    {
        std::string expected;
        for (const auto& [x, y] : points) {
            const Rgb c = screen.At(x, y);
            expected += "srgb(" + std::to_string(c >> 16) + "," + std::to_string((c >> 8) & 0xff) + ","
                + std::to_string(c & 0xff) + ") ";
        }
        return expected;
    }

    static inline std::unique_ptr<XvncServer> server;
    static inline std::unique_ptr<XcbCanvas> canvas;
    static inline std::string startError;
    static inline ScreenImage screen;
    TempDir FTemp { "zarn-snap-pictures" };
};

TEST_F(SnapPictures, BmpIsTheServersScreenPixelForPixelAndUpright)
{
    const auto out = FTemp.File("screen.bmp");
    const SnapRun run = RunSnap({ "--out", out.string(), Target(*server) });
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string error;
    const auto picture = ReadBmp(out.string(), &error);
    ASSERT_TRUE(picture) << error;
    ASSERT_EQ(picture->width, screen.width);
    ASSERT_EQ(picture->height, screen.height);
    EXPECT_EQ(DifferingPixels(*picture, screen), 0u);
}

// Each format opens in standard tools with the server's size and, as those tools decode it,
// shows the server's screen the right way up: exactly for BMP (probed by ImageMagick), and
// within the formats' loss for JPEG and GIF (decoded whole by ImageMagick's stream, which
// would put a flipped or shifted picture far outside the tolerance).
TEST_F(SnapPictures, EveryFormatOpensInStandardToolsUprightWithTheServersSize)
{
    for (const char* tool : { "file", "identify", "stream" })
        if (!ChildProcess::InPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    struct Case {
        const char* name;
        const char* fileSays;
        const char* identifySays;
        double tolerance; // mean difference per channel (0..255) of the lossy formats
    };
    const Case cases[] = {
        { "shot.bmp", "PC bitmap", "BMP3", 0.0 },
        { "shot.jpg", "JPEG image data", "JPEG", 8.0 },
        { "shot.jpeg", "JPEG image data", "JPEG", 8.0 },
        { "shot.gif", "GIF image data", "GIF", 5.0 },
        { "SHOT.GIF", "GIF image data", "GIF", 5.0 },
    };
    const std::string size = std::to_string(screen.width) + " " + std::to_string(screen.height);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = FTemp.File(c.name).string();
        const SnapRun run = RunSnap({ "--out", out, Target(*server) });
        ASSERT_EQ(run.exitCode, 0) << run.output;

        std::string described;
        EXPECT_EQ(ChildProcess::Run({ "file", "-b", out }, "", &described), 0);
        EXPECT_NE(described.find(c.fileSays), std::string::npos) << described;
        std::string identified;
        EXPECT_EQ(ChildProcess::Run({ "identify", "-format", "%m %w %h", out }, "", &identified), 0);
        EXPECT_EQ(identified, std::string(c.identifySays) + " " + size);

        if (c.tolerance == 0) {
            EXPECT_EQ(ProbeWithIdentify(out, kProbes), ExpectedProbes(kProbes));
            continue;
        }
        std::string rgb;
        ASSERT_EQ(
            ChildProcess::Run({ "stream", "-map", "rgb", "-storage-type", "char", out, "-" }, "", &rgb), 0);
        ASSERT_EQ(rgb.size(), size_t(screen.width) * screen.height * 3);
        EXPECT_LE(MeanDifference(rgb, screen), c.tolerance);
    }
}

TEST_F(SnapPictures, StatsLineCountsTheSessionWhateverThePacing)
{
    for (const char* fps : { "0", "20" }) {
        SCOPED_TRACE(std::string("--fps ") + fps);
        const SnapRun run = RunSnap({ "--stats", "--fps", fps, "--frames", "1", Target(*server) });
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const auto stats = FindStats(run.output);
        ASSERT_TRUE(stats) << run.output;
        EXPECT_GE(stats->frames, 1u);
        EXPECT_GE(stats->rects, stats->frames);
        // The first update covers the whole screen: even compressed it is far more than
        // the headers alone.
        EXPECT_GT(stats->bytesReceived, 12 * stats->rects);
        // SetEncodings (20, or 32 with the size encodings), SetPixelFormat (20), six key releases (48), one request (10).
        EXPECT_GE(stats->bytesSent, 98u);
        EXPECT_LE(stats->decodeSeconds, stats->seconds + 0.001);
    }
}

TEST_F(SnapPictures, MissedGoalExitsThreeButStillWritesThePicture)
{
    // A still screen sends one update and then nothing: 1000 frames never arrive.
    const auto out = FTemp.File("partial.gif");
    const SnapRun run
        = RunSnap({ "--frames", "1000", "--seconds", "1", "--out", out.string(), Target(*server) });
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("of 1000 frames arrived in time"), std::string::npos) << run.output;
    std::string identified;
    ChildProcess::Run({ "identify", "-format", "%w %h", out.string() }, "", &identified);
    EXPECT_EQ(identified, std::to_string(screen.width) + " " + std::to_string(screen.height));
}

TEST_F(SnapPictures, InterruptedSessionExitsThreeAndStillWritesThePicture)
{
    const auto out = FTemp.File("interrupted.bmp");
    SnapProcess snap({ "--info", "--until-closed", "--out", out.string(), Target(*server) });
    ASSERT_TRUE(snap.WaitForOutput("Desktop name:", 30s)) << snap.Output();
    snap.Signal(SIGTERM);
    ASSERT_TRUE(snap.WaitForExit(20s)) << snap.Output();
    EXPECT_EQ(snap.ExitCode(), 3) << snap.Output();
    EXPECT_NE(snap.Output().find("interrupted"), std::string::npos) << snap.Output();
    const auto picture = ReadBmp(out.string());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, screen.width);
    EXPECT_EQ(picture->height, screen.height);
}

TEST_F(SnapPictures, UnwritableOutputExitsThree)
{
    const SnapRun run = RunSnap({ "--out", "/nonexistent-dir/x.bmp", Target(*server) });
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("/nonexistent-dir/x.bmp"), std::string::npos) << run.output;
}

// ---------------------------------------------------------------------------------------------
// 256 colours: x11vnc over an 8-bit display sends a 3-3-2 colour map to colour-map clients;
// a picture drawn in colours of that map must come out of the file unchanged.

TEST(SnapColourMap, BmpOfAColourMapSessionEqualsTheServersRendering)
{
    if (!SnapToolBuilt())
        GTEST_SKIP() << SnapToolPath() << " is not built";
    RealServerOptions options;
    options.width = 320;
    options.height = 240;
    options.depth = 8;
    options.vncArgs = { "-nocursor" }; // its own pointer is never on the root window
    if (auto missing = X11vncServer::MissingTools(options); !missing.empty())
        GTEST_SKIP() << missing;
    X11vncServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    XcbCanvas canvas(server.DisplayName());
    ASSERT_TRUE(canvas.Indexed());
    canvas.HideCursor();
    TestPicture picture;
    picture.Quantise = SnapToBgr233;
    DrawTestPicture(canvas, picture);
    const ScreenImage screen = canvas.Grab();

    // x11vnc finds changes by polling the display: until it has seen the whole picture, a
    // first frame may still show some of the old screen. Later runs must then match. Raw
    // alone makes the size of the update tell 8-bit pixels from 32-bit ones.
    TempDir temp("zarn-snap-colourmap");
    const auto out = temp.File("map.bmp").string();
    const size_t pixels = size_t(screen.width) * screen.height;
    size_t differing = pixels;
    for (const auto end = Clock::now() + 30s; differing != 0 && Clock::now() < end;) {
        const SnapRun run
            = RunSnap({ "--colors", "256", "--encodings", "raw", "--stats", "--out", out, Target(server) });
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const auto stats = FindStats(run.output);
        ASSERT_TRUE(stats) << run.output;
        EXPECT_GE(stats->bytesReceived, pixels);
        // One 32-bit frame alone would be four bytes a pixel.
        EXPECT_LT(stats->bytesReceived, 4 * pixels) << "pixels did not arrive as 8-bit indices";
        const auto written = ReadBmp(out, &error);
        ASSERT_TRUE(written) << error;
        ASSERT_EQ(written->width, screen.width);
        ASSERT_EQ(written->height, screen.height);
        differing = DifferingPixels(*written, screen);
    }
    EXPECT_EQ(differing, 0u);
}

// ---------------------------------------------------------------------------------------------
// A server that goes away: the goal of --until-closed, a failure for any other goal; the
// picture is written either way.

struct ClosingCase {
    const char* name;
    std::vector<std::string> goal;
    int exitCode;
};

class SnapServerCloses : public testing::TestWithParam<ClosingCase> { };

TEST_P(SnapServerCloses, ToolEndsByItselfAndWritesThePicture)
{
    if (!SnapToolBuilt())
        GTEST_SKIP() << SnapToolPath() << " is not built";
    if (auto missing = XvncServer::MissingTools({}); !missing.empty())
        GTEST_SKIP() << missing;
    RealServerOptions options;
    options.width = 320;
    options.height = 200;
    XvncServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;

    TempDir temp("zarn-snap-closes");
    const auto out = temp.File("last.bmp");
    std::vector<std::string> args { "--info", "--stats", "--out", out.string(), Target(server) };
    args.insert(args.end(), GetParam().goal.begin(), GetParam().goal.end());
    SnapProcess snap(args);
    ASSERT_TRUE(snap.WaitForOutput("Desktop name:", 30s)) << snap.Output();
    std::this_thread::sleep_for(300ms); // a few update cycles
    server.Stop();

    ASSERT_TRUE(snap.WaitForExit(20s)) << "still running after the server went away\n" << snap.Output();
    EXPECT_EQ(snap.ExitCode(), GetParam().exitCode) << snap.Output();
    EXPECT_TRUE(FindStats(snap.Output())) << snap.Output();
    const auto picture = ReadBmp(out.string());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 320);
    EXPECT_EQ(picture->height, 200);
}

INSTANTIATE_TEST_SUITE_P(Goals, SnapServerCloses,
    testing::Values(ClosingCase { "UntilClosed", { "--until-closed" }, 0 },
        ClosingCase { "ManyFrames", { "--frames", "1000000" }, 3 }),
    [](const testing::TestParamInfo<ClosingCase>& info) { return info.param.name; });

TEST(SnapToolEncrypted, AnUntrustedCertificateEndsWithItsFingerprintUnlessItIsAccepted)
{
    if (auto missing = TestCertificates::MissingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    TestCertificates certs;
    std::string why;
    ASSERT_TRUE(certs.Make(&why)) << why;
    RealServerOptions options;
    options.password = "snap-pw";
    options.securityTypes = "X509Vnc";
    options.vncArgs = { "-X509Cert", certs.CertFile(), "-X509Key", certs.KeyFile() };
    if (auto missing = XvncServer::MissingTools(options); !missing.empty())
        GTEST_SKIP() << missing;
    XvncServer server(options);
    ASSERT_TRUE(server.Start(&why)) << why;
    ::setenv("ZARNVNC_PASSWORD", "snap-pw", 1);

    const SnapRun refused = RunSnap({ "--info", Target(server) });
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("certificate not trusted: SHA256:" + certs.Sha256() + "\n"), std::string::npos)
        << refused.output;

    const SnapRun run = RunSnap({ "--info", Target(server), "--accept-certificate", ColonSha256(certs.Sha256()) });
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Security type: 19 (VeNCrypt X509Vnc)\nEncryption: TLS1."), std::string::npos)
        << run.output;
}

// The server's desktop changes size twice while the tool runs: it follows both, and the file
// has the final size and the server's pixels.
TEST(SnapResize, TheFileHasTheFinalSizeAndTheServersPixels)
{
    if (!SnapToolBuilt() || !XvncServer::MissingTools({}).empty() || !ChildProcess::InPath("xrandr"))
        GTEST_SKIP() << "zarnvnc-snap, Xvnc or xrandr is missing";
    XvncServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    TempDir temp("zarn-snap-resize");
    const auto out = temp.File("resized.bmp").string();
    SnapProcess snap({ "--info", "--stats", "--seconds", "6", "--out", out, Target(server) });
    ASSERT_TRUE(snap.WaitForOutput("Desktop name:", 30s)) << snap.Output();
    ASSERT_TRUE(server.ResizeScreen(1024, 768));
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(server.ResizeScreen(1600, 1000));
    XcbCanvas canvas(server.DisplayName());
    canvas.HideCursor();
    DrawTestPicture(canvas, TestPicture {});
    ASSERT_TRUE(snap.WaitForExit(30s) && snap.ExitCode() == 0) << snap.Output();
    const auto stats = FindStats(snap.Output());
    EXPECT_TRUE(stats && stats->resizes == 2u) << snap.Output();
    const auto picture = ReadBmp(out, &error);
    ASSERT_TRUE(picture && picture->width == 1600 && picture->height == 1000) << error;
    EXPECT_EQ(DifferingPixels(*picture, canvas.Grab()), 0u);
}

} // namespace
} // namespace zarn::test
