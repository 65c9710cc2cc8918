#include "StreamServer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarn::bench {

namespace {

constexpr int kWaitMs = 20000;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what);
}

[[noreturn]] void FailWithErrno(const std::string& what)
{
    Fail(what + ": " + std::strerror(errno));
}

void WaitFor(int fd, short events)
{
    pollfd p { fd, events, 0 };
    if (::poll(&p, 1, kWaitMs) <= 0)
        Fail("server: client went quiet");
}

void SendAll(int fd, const uint8_t* data, size_t n)
{
    while (n > 0) {
        WaitFor(fd, POLLOUT);
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent <= 0)
            FailWithErrno("server: send failed");
        data += sent;
        n -= size_t(sent);
    }
}

void SendAll(int fd, const std::vector<uint8_t>& bytes)
{
    SendAll(fd, bytes.data(), bytes.size());
}

void ReceiveExactly(int fd, uint8_t* data, size_t n)
{
    while (n > 0) {
        WaitFor(fd, POLLIN);
        const ssize_t got = ::recv(fd, data, n, 0);
        if (got <= 0)
            Fail("server: client closed during set-up");
        data += got;
        n -= size_t(got);
    }
}

void PutU16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// Length of the client message whose first bytes are `head` (at least 4 of them), or 0 if it
// is not one a client sends.
size_t ClientMessageLength(const uint8_t* head)
{
    switch (head[0]) {
    case 0:
        return 20; // SetPixelFormat
    case 2:
        return 4 + 4 * size_t((head[2] << 8) | head[3]); // SetEncodings
    case 3:
        return 10; // FramebufferUpdateRequest
    case 4:
        return 8; // KeyEvent
    case 5:
        return 6; // PointerEvent
    default:
        return 0;
    }
}

} // namespace

StreamServer::StreamServer(const BenchStream& stream)
    : FStream(stream)
{
    FListenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FListenFd < 0 || ::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(FListenFd, 1) != 0
        || ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        FailWithErrno("server: cannot listen on loopback");
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Run(); });
}

StreamServer::~StreamServer()
{
    Finish();
}

std::string StreamServer::Finish()
{
    if (FThread.joinable())
        FThread.join();
    if (FListenFd >= 0)
        ::close(FListenFd);
    FListenFd = -1;
    return FError;
}

void StreamServer::Run()
{
    int fd = -1;
    try {
        WaitFor(FListenFd, POLLIN);
        fd = ::accept(FListenFd, nullptr, nullptr);
        if (fd < 0)
            FailWithErrno("server: accept failed");
        Handshake(fd);
        AwaitFirstRequest(fd);
        Stream(fd);
    } catch (const std::exception& e) {
        FError = e.what();
    }
    if (fd >= 0)
        ::close(fd);
}

void StreamServer::Handshake(int fd)
{
    const char version[] = "RFB 003.008\n";
    SendAll(fd, reinterpret_cast<const uint8_t*>(version), 12);
    uint8_t reply[12];
    ReceiveExactly(fd, reply, sizeof reply);
    SendAll(fd, { 1, 1 }); // one security type: None
    uint8_t choice = 0;
    ReceiveExactly(fd, &choice, 1);
    SendAll(fd, { 0, 0, 0, 0 }); // SecurityResult OK
    uint8_t shared = 0;
    ReceiveExactly(fd, &shared, 1);

    std::vector<uint8_t> init;
    PutU16(init, uint32_t(FStream.width));
    PutU16(init, uint32_t(FStream.height));
    const uint8_t format[16] = { 32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0 };
    init.insert(init.end(), format, format + 16);
    const std::string name = "bench";
    init.insert(init.end(), { 0, 0, 0, uint8_t(name.size()) });
    init.insert(init.end(), name.begin(), name.end());
    SendAll(fd, init);
}

void StreamServer::AwaitFirstRequest(int fd)
{
    std::vector<uint8_t> pending;
    for (;;) {
        while (pending.size() >= 4) {
            const size_t length = ClientMessageLength(pending.data());
            if (length == 0)
                Fail("server: unexpected client message " + std::to_string(pending[0]));
            if (pending.size() < length)
                break;
            if (pending[0] == 3)
                return; // anything after it is drained with the rest
            pending.erase(pending.begin(), pending.begin() + ptrdiff_t(length));
        }
        uint8_t chunk[4096];
        WaitFor(fd, POLLIN);
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            Fail("server: client closed before asking for an update");
        pending.insert(pending.end(), chunk, chunk + got);
    }
}

// As a simple real server writes: blocking sends of everything left, while a second thread
// drains the client's requests so that they never hold the sender up.
void StreamServer::Stream(int fd)
{
    const timeval limit { kWaitMs / 1000, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::thread drain([fd] {
        uint8_t scratch[4096];
        while (::recv(fd, scratch, sizeof scratch, 0) > 0) { }
    });
    const std::vector<uint8_t>& bytes = FStream.bytes;
    if (SenderMode.load() == Sender::Sendfile) {
        StreamWithSendfile(fd);
        drain.join();
        return;
    }
    FStreamStart = Clock::now();
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (errno != EINTR) {
            FError = "server: send failed after " + std::to_string(sent) + " of " + std::to_string(bytes.size())
                + " bytes: " + std::strerror(errno);
            break;
        }
    }
    drain.join(); // ends when the client closes
}

void StreamServer::StreamWithSendfile(int fd)
{
    // The file is written before the clock starts: only the sending is measured.
    const std::vector<uint8_t>& bytes = FStream.bytes;
    const int file = ::memfd_create("zarn-bench-stream", 0);
    if (file < 0) {
        FError = std::string("server: memfd_create failed: ") + std::strerror(errno);
        return;
    }
    for (size_t written = 0; written < bytes.size();) {
        const ssize_t n = ::write(file, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            FError = std::string("server: writing the stream file failed: ") + std::strerror(errno);
            ::close(file);
            return;
        }
        written += size_t(n);
    }
    FStreamStart = Clock::now();
    off_t offset = 0;
    while (size_t(offset) < bytes.size()) {
        const ssize_t n = ::sendfile(fd, file, &offset, bytes.size() - size_t(offset));
        if (n <= 0 && errno != EINTR) {
            FError = "server: sendfile failed after " + std::to_string(offset) + " of "
                + std::to_string(bytes.size()) + " bytes: " + std::strerror(errno);
            break;
        }
    }
    ::close(file);
}

} // namespace zarn::bench
