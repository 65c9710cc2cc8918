#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
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
    : FServerPort(serverPort)
{
    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (FListenFd < 0 || ::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(FListenFd, 1) != 0 || ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    if (FListenFd >= 0)
        ::close(FListenFd);
}

std::vector<uint8_t> TcpRelay::FromServer() const
{
    std::lock_guard lock(FMutex);
    return FFromServer;
}

void TcpRelay::Run()
{
    int client = -1;
    while (!FStop && client < 0) {
        pollfd p { FListenFd, POLLIN, 0 };
        if (::poll(&p, 1, 50) > 0)
            client = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0)
        return;
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(FServerPort);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    uint8_t buffer[65536];
    while (!FStop) {
        pollfd p[2] = { { client, POLLIN, 0 }, { server, POLLIN, 0 } };
        if (::poll(p, 2, 50) <= 0)
            continue;
        bool open = true;
        for (int i = 0; i < 2 && open; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::recv(p[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                open = false;
                break;
            }
            if (i == 1) {
                std::lock_guard lock(FMutex);
                FFromServer.insert(FFromServer.end(), buffer, buffer + got);
            }
            // Blocking send: loopback peers read promptly.
            const int to = i == 0 ? server : client;
            for (ssize_t sent = 0; sent < got && open;) {
                const ssize_t rc = ::send(to, buffer + sent, size_t(got - sent), MSG_NOSIGNAL);
                open = rc > 0;
                sent += rc > 0 ? rc : 0;
            }
        }
        if (!open)
            break;
    }
    ::close(server);
    ::close(client);
}

} // namespace zarn::test
