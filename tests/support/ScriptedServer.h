#pragma once
// A scripted RFB server on loopback for unit tests. It listens on 127.0.0.1 with an
// ephemeral port, accepts one connection and plays a script of steps on its own thread,
// recording every byte the client sends (also between steps and after the script ends, until
// the client closes or the server is stopped).
//
//     ScriptedServer server;
//     server.Send("RFB 003.008\n").Expect(12)          // greeting, then the 12-byte reply
//           .Send({1, 1}).Expect(1)                     // offer None, read the choice
//           .SendU32(0).Expect(1)                       // SecurityResult, ClientInit
//           .Send(ServerInitBytes(...));
//     server.Start();
//     TVNCProto proto;
//     EXPECT_TRUE(proto.Connect("127.0.0.1", server.Port()));
//     EXPECT_TRUE(server.WaitUntilDone());
//     EXPECT_EQ(server.Received(), ...);
//
// The destructor closes every socket and joins the thread, so a test that fails half-way
// never leaves a thread or a port behind. Steps are added before Start().

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zarn::test {

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return FPort; }

    // ---- script steps, played in order once a client has connected ----
    ScriptedServer& Send(std::vector<uint8_t> bytes);
    ScriptedServer& Send(std::string_view text);
    ScriptedServer& SendU8(uint8_t value);
    ScriptedServer& SendU16(uint16_t value); // big-endian
    ScriptedServer& SendU32(uint32_t value); // big-endian
    // Waits until the client has sent n more bytes than all earlier Expect steps together.
    ScriptedServer& Expect(size_t n);
    // Waits until the client has sent at least `total` bytes since it connected.
    ScriptedServer& WaitForClientBytes(size_t total);
    ScriptedServer& WaitForClientClose();
    ScriptedServer& Pause(int milliseconds);
    // Closes the connection; later steps have nothing to talk to.
    ScriptedServer& Close();

    // Starts accepting and playing the script on the server thread.
    void Start();
    // True once every step has run; false on a failed step or when the wait runs out.
    bool WaitUntilDone(int timeoutMs = 10000);
    // Waits until the client has sent at least `total` bytes; false when the wait runs out.
    bool WaitForReceived(size_t total, int timeoutMs = 10000);
    // Waits until the client has closed its end; false when the wait runs out.
    bool WaitForClientClosed(int timeoutMs = 10000);
    // Closes every socket and joins the thread. Safe to call twice.
    void Stop();

    // ---- what happened ----
    std::vector<uint8_t> Received() const;
    size_t ReceivedCount() const;
    bool Accepted() const;
    bool ClientClosed() const;
    // Why a step failed; empty while every step ran.
    std::string Error() const;

private:
    enum class StepKind { Send, ExpectTotal, WaitClose, Pause, Close };
    struct Step {
        StepKind kind;
        std::vector<uint8_t> bytes; // Send
        size_t count = 0; // ExpectTotal: absolute byte count; Pause: milliseconds
    };

    void Run();
    bool AcceptClient();
    bool RunStep(const Step& step);
    // Serves the connection (records what arrives, sends `out` if given) until `done` holds,
    // the deadline passes (deadlineMs >= 0), Stop is called, or an error occurs.
    template <typename Done> bool Serve(Done done, const std::vector<uint8_t>* out, int deadlineMs);
    bool ReceiveAvailable();
    void Fail(std::string why);
    void RecordUntilClientCloses();

    int FListenFd = -1;
    int FConnFd = -1;
    int FWakeRead = -1, FWakeWrite = -1;
    int FPort = 0;
    size_t FExpectedTotal = 0;
    std::vector<Step> FSteps;
    std::thread FThread;

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<uint8_t> FReceived;
    bool FAccepted = false;
    bool FClientClosed = false;
    bool FDone = false;
    bool FFinished = false; // thread about to end
    bool FStopping = false;
    std::string FError;
};

} // namespace zarn::test
