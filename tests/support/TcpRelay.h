#pragma once
// A relay on loopback between one client and a server port, recording every byte the server
// sends, so that a test can look at what crossed the wire.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace zarn::test {

class TcpRelay {
public:
    explicit TcpRelay(int serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // Where the client connects; 0 when the relay could not listen.
    int Port() const { return FPort; }
    // What the server sent so far, as it was on the wire.
    std::vector<uint8_t> FromServer() const;

private:
    void Run();

    int FServerPort;
    int FListenFd = -1;
    int FPort = 0;
    std::atomic<bool> FStop { false };
    mutable std::mutex FMutex;
    std::vector<uint8_t> FFromServer;
    std::thread FThread;
};

} // namespace zarn::test
