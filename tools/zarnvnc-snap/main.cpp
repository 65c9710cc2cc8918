// zarnvnc-snap: connects to a VNC server with the viewer's own engine and describes the
// session it gets.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "SnapPassword.h"
#include "SnapTarget.h"
#include "protocol/VNCProto.h"

namespace {

using namespace zarn;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Arguments {
    snap::Target target;
    std::optional<std::string> passwordFile;
};

void PrintUsage(std::ostream& out)
{
    out << "usage: zarnvnc-snap HOST[:DISPLAY] | HOST::PORT [--password-file FILE]\n"
           "  DISPLAY N means port 5900+N; an IPv6 address goes in brackets, e.g. [::1]:1.\n"
           "  The password comes from FILE (first line), else from $"
        << snap::kPasswordVariable << ", else from a prompt when stdin is a terminal.\n";
}

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, std::string* error)
{
    Arguments parsed;
    std::optional<std::string> target;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--password-file") {
            if (i + 1 >= args.size()) {
                *error = "--password-file needs a file name";
                return std::nullopt;
            }
            parsed.passwordFile = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            *error = "unknown option " + args[i];
            return std::nullopt;
        } else if (target) {
            *error = "more than one server given";
            return std::nullopt;
        } else {
            target = args[i];
        }
    }
    if (!target) {
        *error = "no server given";
        return std::nullopt;
    }
    auto parsedTarget = snap::ParseTarget(*target, error);
    if (!parsedTarget)
        return std::nullopt;
    parsed.target = *parsedTarget;
    return parsed;
}

// A password given up front is used as it stands; otherwise the engine asks only when the
// server wants one.
bool ArrangePassword(const Arguments& args, TVNCProto& proto, std::string* error)
{
    if (args.passwordFile) {
        auto password = snap::ReadPasswordFile(*args.passwordFile, error);
        if (!password)
            return false;
        proto.Password = snap::ToLatin1(*password);
    } else if (auto password = snap::PasswordFromEnvironment()) {
        proto.Password = snap::ToLatin1(*password);
    } else if (snap::CanPrompt()) {
        proto.OnPasswordRequest = [&proto] {
            return snap::ToLatin1(
                snap::PromptPassword("Password for " + proto.Host + ":" + std::to_string(proto.Port) + ": "));
        };
    }
    return true;
}

const char* VersionText(uint8_t version)
{
    switch (version) {
    case kRfb33:
        return "3.3";
    case kRfb37:
        return "3.7";
    default:
        return "3.8";
    }
}

const char* SecurityTypeName(uint8_t type)
{
    switch (type) {
    case 1:
        return "None";
    case 2:
        return "VNC Authentication";
    case 21:
        return "MD5 challenge authentication";
    default:
        return "unknown";
    }
}

void DescribeSession(const TVNCProto& proto, std::ostream& out)
{
    out << "Protocol version: " << VersionText(proto.ProtocolVersion) << '\n'
        << "Security type: " << int(proto.SecurityType) << " (" << SecurityTypeName(proto.SecurityType)
        << ")\n"
        << "Desktop name: " << proto.DesktopName << '\n'
        << "Size: " << proto.FramebufferWidth << " x " << proto.FramebufferHeight << '\n'
        << "Pixel format: " << proto.BitsPerPixel << " bits per pixel, depth " << proto.Depth << ", "
        << (proto.BigEndian ? "big-endian" : "little-endian") << ", "
        << (proto.TrueColor ? "true colour" : "colour map") << ", max red " << proto.RedMax << " green "
        << proto.GreenMax << " blue " << proto.BlueMax << ", shift red " << proto.RedShift << " green "
        << proto.GreenShift << " blue " << proto.BlueShift << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        PrintUsage(std::cout);
        return kExitOk;
    }
    std::string error;
    const auto parsed = ParseArguments(args, &error);
    if (!parsed) {
        std::cerr << "zarnvnc-snap: " << error << '\n';
        PrintUsage(std::cerr);
        return kExitUsage;
    }

    TVNCProto proto;
    if (!ArrangePassword(*parsed, proto, &error)) {
        std::cerr << "zarnvnc-snap: " << error << '\n';
        return kExitFailed;
    }
    if (!proto.Connect(parsed->target.host, parsed->target.port)) {
        std::cerr << "zarnvnc-snap: " << (proto.LastError.empty() ? "set-up failed" : proto.LastError)
                  << '\n';
        if (!proto.FailureReason.empty())
            std::cout << "Server's reason: " << proto.FailureReason << '\n';
        return kExitFailed;
    }
    DescribeSession(proto, std::cout);
    proto.Disconnect();
    return kExitOk;
}
