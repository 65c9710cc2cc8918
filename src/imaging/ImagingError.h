#pragma once
// How the imaging functions hand back a failure: an optional message the caller may ignore.

#include <cerrno>
#include <cstring>
#include <string>

namespace zarn {

inline bool Fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

inline std::string SystemErrorText(int errorNumber)
{
    return std::strerror(errorNumber);
}

} // namespace zarn
