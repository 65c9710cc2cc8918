#pragma once
// A relay on loopback between one client and a server port that records what the server sends,
// so a test can look at what crossed the wire.

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

    int Port() const { return FPort; } // where the client connects; 0 when it could not listen
    std::vector<uint8_t> FromServer() const;

private:
    void Run(int serverPort);

    int FListenFd = -1;
    int FPort = 0;
    std::atomic<bool> FStop { false };
    mutable std::mutex FMutex;
    std::vector<uint8_t> FFromServer;
    std::thread FThread;
};

} // namespace zarn::test
