// The headless client's command line, parsed without running the program.

#include <gtest/gtest.h>

#include "SnapOptions.h"

namespace zarn::snap {
namespace {

TEST(SnapArguments, UnusableArgumentsAreUsageErrorsThatSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        { {}, "no server given" },
        { { "127.0.0.1:x" }, "neither :DISPLAY nor ::PORT" },
        { { "127.0.0.1::70000" }, "outside 1 to 65535" },
        { { "127.0.0.1:65000" }, "outside 1 to 65535" },
        { { ":1" }, "no host given" },
        { { "[::1:1" }, "missing ']'" },
        { { "a", "b" }, "more than one server" },
        { { "127.0.0.1", "--password-file" }, "needs a value" },
        { { "127.0.0.1", "--bogus" }, "unknown option --bogus" },
        { { "127.0.0.1", "-x" }, "unknown option -x" },
        { { "127.0.0.1", "--encodings", "hextile,zlib" }, "unknown encoding 'zlib'" },
        { { "127.0.0.1", "--colors", "16" }, "true or 256" },
        { { "127.0.0.1", "--jpeg", "10" }, "auto, never or a quality from 0 to 9" },
        { { "127.0.0.1", "--jpeg=high" }, "auto, never or a quality from 0 to 9" },
        { { "127.0.0.1", "--compress", "-1" }, "0 to 9" },
        { { "127.0.0.1", "--fps", "51" }, "0 to 50" },
        { { "127.0.0.1", "--fps", "-1" }, "0 to 50" },
        { { "127.0.0.1", "--frames", "0" }, "at least 1" },
        { { "127.0.0.1", "--frames=2x" }, "at least 1" },
        { { "127.0.0.1", "--seconds", "0" }, "positive number" },
        { { "127.0.0.1", "--seconds", "nan" }, "positive number" },
        { { "127.0.0.1", "--out", "picture.png" }, ".bmp, .jpg, .jpeg or .gif" },
        { { "127.0.0.1", "--frames", "2", "--until-closed" }, "give one" },
        { { "127.0.0.1", "--encryption", "maybe" }, "off, prefer or require" },
        { { "127.0.0.1", "--accept-certificate", "SHA256:ab:cd" }, "64 hex digits" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.back());
        const ParseResult parsed = ParseArguments(c.args);
        EXPECT_EQ(parsed.status, ParseStatus::UsageError);
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
    }
}

TEST(SnapArguments, EncodingsAndPictureQualityReachTheOptions)
{
    struct Case {
        std::vector<std::string> args;
        bool tight, zrle, hextile, autoQuality;
        int jpeg, compress;
    };
    const Case cases[] = {
        { { "h" }, true, true, true, true, 8, 2 },
        { { "h", "--encodings", "ZRLE,hextile" }, false, true, true, true, 8, 2 },
        { { "h", "--encodings=tight" }, true, false, false, true, 8, 2 },
        { { "h", "--jpeg", "never", "--compress", "9" }, true, true, true, false, -1, 9 },
        { { "h", "--jpeg=0" }, true, true, true, false, 0, 2 },
        { { "h", "--jpeg", "6", "--jpeg", "auto" }, true, true, true, true, 6, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ParseResult parsed = ParseArguments(c.args);
        ASSERT_EQ(parsed.status, ParseStatus::Run) << parsed.error;
        const SnapOptions& o = parsed.options;
        EXPECT_EQ(o.useTight, c.tight);
        EXPECT_EQ(o.useZRLE, c.zrle);
        EXPECT_EQ(o.useHextile, c.hextile);
        EXPECT_EQ(o.autoQuality, c.autoQuality);
        EXPECT_EQ(o.jpegQuality, c.jpeg);
        EXPECT_EQ(o.compressLevel, c.compress);
    }
}

} // namespace
} // namespace zarn::snap
