#include "settings/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace zarn {

namespace {

// The options QGuiApplication and QApplication read from the command line.
constexpr std::array<std::string_view, 12> kQtOptionsWithValue { "platform", "platformpluginpath",
    "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "display", "geometry",
    "style", "stylesheet", "session" };
constexpr std::array<std::string_view, 5> kQtFlags { "reverse", "nograb", "dograb", "sync", "widgetcount" };

template <size_t N> bool Contains(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TCommandLine Failed(std::string why)
{
    TCommandLine result;
    result.Action = TCommandLine::TAction::Fail;
    result.Error = std::move(why);
    return result;
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    TCommandLine result;
    std::optional<std::string> server;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            if (arg == "--help" || arg == "-h") {
                result.Action = TCommandLine::TAction::Help;
                return result;
            }
            if (arg == "--version") {
                result.Action = TCommandLine::TAction::Version;
                return result;
            }
            // Qt takes its options with one dash or two, the value after "=" or as the next word.
            std::string_view name(arg);
            name.remove_prefix(name.substr(0, 2) == "--" ? 2 : 1);
            const size_t equals = name.find('=');
            const std::string_view bare = name.substr(0, equals);
            if (Contains(kQtOptionsWithValue, bare)) {
                if (equals == std::string_view::npos && ++i == args.size())
                    return Failed("option '" + arg + "' needs a value");
                continue;
            }
            if (Contains(kQtFlags, bare) && equals == std::string_view::npos)
                continue;
            return Failed("unknown option '" + arg + "' (try --help)");
        }
        if (server)
            return Failed("more than one server given: '" + *server + "' and '" + arg + "'");
        server = arg;
    }
    if (server) {
        std::string why;
        result.Server = ParseServerAddress(*server, &why);
        if (!result.Server)
            return Failed("cannot read the server '" + *server + "': " + why);
    }
    return result;
}

std::string CommandLineUsage()
{
    return "Usage: zarnvnc [OPTION] [SERVER]\n"
           "A viewer for remote desktops shared over VNC (the RFB protocol).\n"
           "\n"
           "SERVER is [vnc://][USER@]HOST[:DISPLAY | ::PORT]; the viewer connects to it at start as\n"
           "if it had been typed into the Connect dialog. DISPLAY N is port 5900+N, ::PORT a port;\n"
           "without either, display 0. Put an IPv6 address in brackets: [2001:db8::1]:1.\n"
           "Without SERVER the viewer opens idle.\n"
           "\n"
           "  --help      print this text and exit\n"
           "  --version   print the version and exit\n"
           "\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed on to Qt.\n"
           "Settings: ZarnVNC.ini beside the program when its folder is writable, else\n"
           "$XDG_CONFIG_HOME/zarnvnc/ZarnVNC.ini (~/.config/zarnvnc/); ZARNVNC_INI=FILE chooses one.\n";
}

} // namespace zarn
