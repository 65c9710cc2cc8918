#pragma once
// The one family of failures the viewer's engine raises inside its work: the connection
// failed (TransportError), the server broke the protocol, a wire value passed a limit, or the
// session was declined (protocol/EngineErrors.h). Each entry point catches this base (and an
// exhausted memory) once and turns it into its documented result; anything else is a
// programming error and is not dressed up as a server's failure.

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace zarn {

class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs `work`; the text of the engine failure it raised, or nothing when it succeeded.
// `activity` completes "out of memory while …".
template <typename Work> std::optional<std::string> CatchEngineFailure(const char* activity, Work&& work)
{
    try {
        work();
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::string("out of memory while ") + activity;
    } catch (const EngineError& e) {
        return std::string(e.what());
    }
}

} // namespace zarn
