#pragma once
// The failures the engine raises inside its work, all EngineErrors. Each public entry point
// (Connect, RequestUpdate, the Send calls) catches them once and turns them into its result,
// with the text in LastError. TransportError (platform/Transport.h) is the fourth member: the
// connection itself failed, closed or ran out of time.

#include "platform/EngineError.h"

namespace zarn {

// The server sent something the protocol does not allow here.
class ProtocolViolation : public EngineError {
public:
    using EngineError::EngineError;
};

// A wire value is beyond one of the bounds in protocol/Limits.h; nothing was allocated for it.
class LimitExceeded : public EngineError {
public:
    using EngineError::EngineError;
};

// The server (or the user, by cancelling the password prompt) declined the session.
class SessionRefused : public EngineError {
public:
    using EngineError::EngineError;
};

} // namespace zarn
