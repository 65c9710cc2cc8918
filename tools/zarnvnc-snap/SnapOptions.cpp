#include "SnapOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>

#include "platform/TlsTransport.h"

namespace zarn::snap {

namespace {

// Longest run --seconds accepts: far beyond any real use, short enough that the deadline
// arithmetic cannot overflow.
constexpr double kMaxSeconds = 1e7;
constexpr uint64_t kMaxFrames = 1'000'000'000;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

template <typename Number> std::optional<Number> ParseNumber(const std::string& text)
{
    Number value {};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

bool HasImageExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    const std::string extension = Lower(path.substr(dot));
    return extension == ".bmp" || extension == ".jpg" || extension == ".jpeg" || extension == ".gif";
}

// Each option that takes a value: checks it and stores it, or gives the reason it is wrong.
using ValueHandler = std::function<std::optional<std::string>(const std::string&, SnapOptions&)>;

std::optional<std::string> SetEncodings(const std::string& value, SnapOptions& o)
{
    o.useHextile = o.useRRE = o.useCopyRect = o.useZRLE = o.useTight = false;
    std::stringstream list(value);
    for (std::string name; std::getline(list, name, ',');) {
        name = Lower(name);
        if (name == "hextile")
            o.useHextile = true;
        else if (name == "rre")
            o.useRRE = true;
        else if (name == "copyrect")
            o.useCopyRect = true;
        else if (name == "zrle")
            o.useZRLE = true;
        else if (name == "tight")
            o.useTight = true;
        else if (name != "raw" && !name.empty())
            return "unknown encoding '" + name + "' (tight, zrle, hextile, rre, copyrect, raw)";
    }
    return std::nullopt;
}

std::optional<std::string> SetJpeg(const std::string& value, SnapOptions& o)
{
    const auto quality = ParseNumber<int>(value);
    if (value == "auto") {
        o.autoQuality = true;
    } else if (value == "never") {
        o.autoQuality = false;
        o.jpegQuality = -1;
    } else if (quality && *quality >= 0 && *quality <= 9) {
        o.autoQuality = false;
        o.jpegQuality = *quality;
    } else {
        return "--jpeg takes auto, never or a quality from 0 to 9, not '" + value + "'";
    }
    return std::nullopt;
}

std::optional<std::string> SetCompress(const std::string& value, SnapOptions& o)
{
    const auto level = ParseNumber<int>(value);
    if (!level || *level < 0 || *level > 9)
        return "--compress takes a level from 0 to 9, not '" + value + "'";
    o.compressLevel = *level;
    return std::nullopt;
}

std::optional<std::string> SetColours(const std::string& value, SnapOptions& o)
{
    if (value == "true")
        o.trueColor = true;
    else if (value == "256")
        o.trueColor = false;
    else
        return "--colors takes true or 256, not '" + value + "'";
    return std::nullopt;
}

std::optional<std::string> SetFps(const std::string& value, SnapOptions& o)
{
    const auto fps = ParseNumber<int>(value);
    if (!fps || *fps < 0 || *fps > kMaxFps)
        return "--fps takes a whole number from 0 to " + std::to_string(kMaxFps) + ", not '" + value + "'";
    o.fps = *fps;
    return std::nullopt;
}

std::optional<std::string> SetFrames(const std::string& value, SnapOptions& o)
{
    const auto frames = ParseNumber<uint64_t>(value);
    if (!frames || *frames < 1 || *frames > kMaxFrames)
        return "--frames takes a whole number of at least 1, not '" + value + "'";
    o.frames = *frames;
    return std::nullopt;
}

std::optional<std::string> SetSeconds(const std::string& value, SnapOptions& o)
{
    const auto seconds = ParseNumber<double>(value);
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0 || *seconds > kMaxSeconds)
        return "--seconds takes a positive number, not '" + value + "'";
    o.seconds = *seconds;
    return std::nullopt;
}

std::optional<std::string> SetOut(const std::string& value, SnapOptions& o)
{
    if (!HasImageExtension(value))
        return "--out needs a file name ending in .bmp, .jpg, .jpeg or .gif, not '" + value + "'";
    o.outFile = value;
    return std::nullopt;
}

std::optional<std::string> SetPasswordFile(const std::string& value, SnapOptions& o)
{
    o.passwordFile = value;
    return std::nullopt;
}

std::optional<std::string> SetUser(const std::string& value, SnapOptions& o)
{
    o.user = value;
    return std::nullopt;
}

std::optional<std::string> SetEncryption(const std::string& value, SnapOptions& o)
{
    static const std::map<std::string, int> kLevels { { "off", 0 }, { "prefer", 1 }, { "require", 2 } };
    const auto level = kLevels.find(Lower(value));
    if (level == kLevels.end())
        return "--encryption takes off, prefer or require, not '" + value + "'";
    o.encryption = level->second;
    return std::nullopt;
}

std::optional<std::string> SetCaFile(const std::string& value, SnapOptions& o)
{
    o.caFile = value;
    return std::nullopt;
}

std::optional<std::string> SetAcceptCertificate(const std::string& value, SnapOptions& o)
{
    std::string digits = value;
    if (Lower(digits.substr(0, 7)) == "sha256:")
        digits = digits.substr(7);
    const std::string sha256 = NormaliseSha256(digits);
    if (sha256.empty())
        return "--accept-certificate takes a SHA-256 fingerprint of 64 hex digits (colons optional), not '"
            + value + "'";
    o.acceptCertificate = sha256;
    return std::nullopt;
}

const std::map<std::string, ValueHandler>& ValueOptions()
{
    static const std::map<std::string, ValueHandler> options {
        { "--encodings", SetEncodings },
        { "--colors", SetColours },
        { "--jpeg", SetJpeg },
        { "--compress", SetCompress },
        { "--fps", SetFps },
        { "--frames", SetFrames },
        { "--seconds", SetSeconds },
        { "--out", SetOut },
        { "--password-file", SetPasswordFile },
        { "--user", SetUser },
        { "--encryption", SetEncryption },
        { "--ca", SetCaFile },
        { "--accept-certificate", SetAcceptCertificate },
    };
    return options;
}

bool SetFlag(const std::string& name, SnapOptions& o)
{
    if (name == "--until-closed")
        o.untilClosed = true;
    else if (name == "--stats")
        o.stats = true;
    else if (name == "--info")
        o.info = true;
    else if (name == "--no-resize")
        o.desktopResize = false;
    else
        return false;
    return true;
}

ParseResult UsageError(std::string why)
{
    ParseResult result;
    result.status = ParseStatus::UsageError;
    result.error = std::move(why);
    return result;
}

} // namespace

ParseResult ParseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    SnapOptions& options = result.options;
    std::optional<std::string> server;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            result.status = ParseStatus::Help;
            return result;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) != 0)
            return UsageError("unknown option " + arg);
        if (arg.rfind("--", 0) != 0) {
            if (server)
                return UsageError("more than one server given: '" + *server + "' and '" + arg + "'");
            server = arg;
            continue;
        }
        // --name=value or --name value
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (equals == std::string::npos && SetFlag(name, options))
            continue;
        const auto handler = ValueOptions().find(name);
        if (handler == ValueOptions().end())
            return UsageError("unknown option " + name);
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return UsageError(name + " needs a value");
        }
        if (auto why = handler->second(value, options))
            return UsageError(*why);
    }

    if (!server)
        return UsageError("no server given");
    std::string why;
    const auto target = ParseTarget(*server, &why);
    if (!target)
        return UsageError("server '" + *server + "': " + why);
    options.target = *target;
    if (options.frames && options.untilClosed)
        return UsageError("--frames and --until-closed are two different goals: give one");
    if (!options.frames && !options.seconds && !options.untilClosed)
        options.frames = 1;
    result.status = ParseStatus::Run;
    return result;
}

std::string HelpText()
{
    return R"(usage: zarnvnc-snap [options] HOST[:DISPLAY] | HOST::PORT

A headless VNC client over the viewer's own engine and frame thread: connects, keeps a
framebuffer current for as long as asked, then writes the picture and statistics.

Server: DISPLAY N means port 5900+N (no DISPLAY: 5900); ::PORT gives the port itself. An IPv6
address goes in brackets, e.g. [::1]:1 or [::1]::5901.

Authentication:
  --password-file FILE   the password is the first line of FILE; otherwise it comes from
                         $ZARNVNC_PASSWORD, else from a prompt when stdin is a terminal
  --user NAME            the user name for servers that ask for one (VeNCrypt Plain);
                         otherwise it comes from $ZARNVNC_USER

Encryption:
  --encryption off|prefer|require
                         off: the classic security types only; prefer: VeNCrypt (TLS)
                         when the server offers it; require: VeNCrypt or no connection.
                         Default: prefer
  --ca FILE              PEM certificates of authorities trusted besides the system's
  --accept-certificate SHA256
                         connect although the server's certificate does not verify, if its
                         SHA-256 fingerprint is this (hex, colons optional). An untrusted
                         certificate otherwise ends with "certificate not trusted:
                         SHA256:<hex>" on stderr and exit status 1

Session:
  --encodings LIST       comma-separated, any of tight, zrle, hextile, rre, copyrect (raw
                         is always announced; an empty LIST announces raw alone). Default:
                         all five
  --jpeg auto|never|Q    Tight's lossy pictures: auto announces JPEG quality 8 only while
                         the link is slower than 16 Mbit/s (and withdraws it above 32);
                         never stays lossless; Q (0 to 9) always asks for quality Q.
                         Default: auto
  --compress N           the zlib level Tight is asked to use, 0 to 9. Default: 2
  --colors true|256      32-bit true colour, or 8-bit pixels through the server's colour
                         map. Default: true
  --fps N                requests per second, 1 to 50, as the viewer's target frame rate;
                         0 requests the next update as soon as a cycle ends (benchmarks).
                         Default: 20
  --no-resize            do not announce that the desktop may change size (the classic
                         protocol's SetEncodings); by default a resize is followed and the
                         picture written at the final size

Goal (the first one given is what the session is for; default --frames 1):
  --frames N             stop after N FramebufferUpdate messages (one of nothing but the
                         desktop's size and layout does not count)
  --until-closed         stop when the server closes the connection
  --seconds S            stop after S seconds (fractions allowed); next to --frames or
                         --until-closed it is the time allowed to reach that goal

Output:
  --out FILE             write the picture to FILE when the session ends, also after a
                         failure once a framebuffer exists: .bmp, .jpg/.jpeg or .gif
  --stats                print one line: frames=N rects=N bytes_received=N bytes_sent=N
                         seconds=S decode_seconds=S resizes=N (seconds: the session after
                         the handshake; decode_seconds: time spent in update cycles;
                         resizes: desktop size changes the server made)
  --info                 describe the session (version, security, encryption, name, size,
                         format)
  -h, --help             this text

Exit status:
  0  the goal was reached (and --out written)
  1  could not connect or authenticate; the server's reason, if any, is on stderr
  2  usage error
  3  the session failed before its goal, or --out could not be written
)";
}

} // namespace zarn::snap
