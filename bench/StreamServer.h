#pragma once
// The scripted server of the end-to-end benchmark: on 127.0.0.1 it accepts one client, runs
// an RFB 3.8 handshake without authentication, waits for the client's first update request and
// then writes the whole stream as a simple real server does, with blocking sends as fast as the
// socket takes them, discarding whatever the client sends meanwhile (its update requests). It records when streaming began, so that the client,
// which knows when it has decoded the last update, can tell how long the stream took.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "BenchStreams.h"

namespace zarn::bench {

class StreamServer {
public:
    using Clock = std::chrono::steady_clock;

    explicit StreamServer(const BenchStream& stream);
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    int Port() const { return FPort; }
    // Joins the server thread (it ends when the client closes). Empty when all went well.
    std::string Finish();
    // When the first byte of the stream went out; valid once the client has received it.
    Clock::time_point StreamStart() const { return FStreamStart.load(); }

private:
    void Run();
    void Handshake(int fd);
    void AwaitFirstRequest(int fd);
    void Stream(int fd);

    const BenchStream& FStream;
    int FListenFd = -1;
    int FPort = 0;
    std::atomic<Clock::time_point> FStreamStart {};
    std::string FError;
    std::thread FThread;
};

} // namespace zarn::bench
