#pragma once
// The command line of zarnvnc-snap: which server, how to authenticate, what to announce, how
// fast to ask for frames, when to stop and what to write at the end.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SnapTarget.h"

namespace zarn::snap {

struct SnapOptions {
    Target target;
    std::optional<std::string> passwordFile;
    // --user, else $ZARNVNC_USER: the user name of the Plain sub-types.
    std::optional<std::string> user;

    // The engine's Encryption: 0 off, 1 prefer (default), 2 require.
    int encryption = 1;
    std::optional<std::string> caFile;
    // A certificate accepted although it does not verify: 64 lower-case hex digits.
    std::optional<std::string> acceptCertificate;

    // Announced encodings; Raw is always announced too.
    bool useHextile = true;
    bool useRRE = true;
    bool useCopyRect = true;
    bool useZRLE = true;
    bool useTight = true;
    bool trueColor = true;
    // Tight's JPEG: with autoQuality only while the link is slow; jpegQuality -1 never.
    bool autoQuality = true;
    int jpegQuality = 8;
    int compressLevel = 2;
    // Announce that the desktop may change size (and follow it); off gives the classic bytes.
    bool desktopResize = true;

    // Target frame rate as in the viewer's settings (1 to 50); 0 paces nothing at all.
    int fps = 20;

    // Goals. With none given the goal is one frame. --seconds alone is a goal of its own;
    // next to --frames or --until-closed it is the time allowed to reach that goal.
    std::optional<uint64_t> frames;
    std::optional<double> seconds;
    bool untilClosed = false;

    std::optional<std::string> outFile;
    bool stats = false;
    bool info = false;
};

enum class ParseStatus { Run, Help, UsageError };

struct ParseResult {
    ParseStatus status = ParseStatus::UsageError;
    SnapOptions options;
    std::string error; // for UsageError
};

inline constexpr int kMaxFps = 50;

ParseResult ParseArguments(const std::vector<std::string>& args);

// The --help text.
std::string HelpText();

} // namespace zarn::snap
