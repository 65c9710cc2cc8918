#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarn::test {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

TcpRelay::TcpRelay(int serverPort)
{
    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(FListenFd, 1) == 0
        && ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this, serverPort] { Run(serverPort); });
    }
}

TcpRelay::~TcpRelay()
{
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    ::close(FListenFd);
}

std::vector<uint8_t> TcpRelay::FromServer() const
{
    std::lock_guard lock(FMutex);
    return FFromServer;
}

void TcpRelay::Run(int serverPort)
{
    pollfd listening { FListenFd, POLLIN, 0 };
    while (!FStop && ::poll(&listening, 1, 50) <= 0) { }
    const int ends[2] = { FStop ? -1 : ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC),
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) };
    const sockaddr_in server = Loopback(serverPort);
    bool open = ends[0] >= 0 && ::connect(ends[1], reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0;
    uint8_t buffer[65536];
    while (open && !FStop) {
        pollfd p[2] = { { ends[0], POLLIN, 0 }, { ends[1], POLLIN, 0 } };
        if (::poll(p, 2, 50) <= 0)
            continue;
        for (int from = 0; from < 2 && open; ++from) {
            if (!p[from].revents)
                continue;
            const ssize_t got = ::recv(ends[from], buffer, sizeof buffer, 0);
            if (got > 0 && from == 1) { // recorded before the client can have it
                std::lock_guard lock(FMutex);
                FFromServer.insert(FFromServer.end(), buffer, buffer + got);
            }
            open = got > 0 && ::send(ends[1 - from], buffer, size_t(got), MSG_NOSIGNAL) == got;
        }
    }
    for (const int fd : ends)
        if (fd >= 0)
            ::close(fd);
}

} // namespace zarn::test
