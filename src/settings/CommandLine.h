#pragma once
// The viewer's command line, read before any window or display is opened:
//
//     zarnvnc [--help | --version] [SERVER]
//
// SERVER as ServerAddress.h describes it. Qt's own options (-platform NAME, -style NAME, ...) are
// let through for the application object, which takes them out itself; anything else that
// starts with "-" is an error, and so is a second server. "--" ends the options.

#include <optional>
#include <string>
#include <vector>

#include "settings/ServerAddress.h"

namespace zarn {

struct TCommandLine {
    enum class TAction { Run, Help, Version, Fail };
    TAction Action = TAction::Run;
    std::optional<TServerAddress> Server; // Run: the server to connect to at start, if any
    std::string Error;                    // Fail: why, one line
};

// args are the arguments after the program's name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text --help prints.
std::string CommandLineUsage();

} // namespace zarn
