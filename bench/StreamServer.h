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

    // How the stream goes out: blocking sends from memory, or sendfile(2) from a memory file,
    // which is as fast as the kernel can send. Chosen once per run, before any server starts.
    enum class Sender { Blocking, Sendfile };
    static inline std::atomic<Sender> SenderMode { Sender::Blocking };

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
    void StreamWithSendfile(int fd);

    const BenchStream& FStream;
    int FListenFd = -1;
    int FPort = 0;
    std::atomic<Clock::time_point> FStreamStart {};
    std::string FError;
    std::thread FThread;
};

} // namespace zarn::bench
