#include "platform/TcpClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

std::string SystemErrorText(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// Waits for `events` on fd until the deadline. True when ready (or in error: the caller's
// next call reports it), false on time-out. EINTR restarts the wait with the time left.
bool WaitFor(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        pollfd p { fd, events, 0 };
        const int rc = ::poll(&p, 1, deadline.RemainingMs());
        if (rc > 0)
            return true;
        if (rc == 0)
            return false;
        if (errno != EINTR)
            throw TransportError(SystemErrorText("poll", errno));
    }
}

void SetNoDelay(int fd)
{
    // Key and pointer events are small and must go out at once.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// One attempt on one resolved address. Returns the connected socket, or -1 with the reason
// in `error`. The connect waits through poll(); the socket is blocking afterwards, and every
// call that must not wait says so with MSG_DONTWAIT.
int ConnectOne(const addrinfo& address, const Deadline& deadline, std::string& error)
{
    const int fd = ::socket(
        address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        error = SystemErrorText("socket", errno);
        return -1;
    }
    int rc;
    do
        rc = ::connect(fd, address.ai_addr, address.ai_addrlen);
    while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno != EINPROGRESS) {
        error = SystemErrorText("connect", errno);
        ::close(fd);
        return -1;
    }
    if (rc < 0) {
        bool ready = false;
        try {
            ready = WaitFor(fd, POLLOUT, deadline);
        } catch (const TransportError& e) {
            error = e.what();
            ::close(fd);
            return -1;
        }
        if (!ready) {
            error = "connect timed out";
            ::close(fd);
            return -1;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) < 0)
            soError = errno;
        if (soError != 0) {
            error = SystemErrorText("connect", soError);
            ::close(fd);
            return -1;
        }
    }
    SetNoDelay(fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

struct TcpClient::Impl {
    std::string host;
    int port = 0;
    int fd = -1;
    bool hasSocket = false;
    Deadline readDeadline;
    int writeTimeoutMs = 0;
    int connectTimeoutMs = kDefaultConnectTimeoutMs;
    int lastError = 0;

    // Received bytes not yet taken: buffer[head, tail). The vector only grows; its size is
    // the capacity, so a receive never pays for zero-filling.
    std::vector<uint8_t> buffer;
    size_t head = 0;
    size_t tail = 0;

    size_t Buffered() const { return tail - head; }
    const uint8_t* Data() const { return buffer.data() + head; }

    void Take(uint8_t* dst, size_t n)
    {
        if (n > 0)
            std::memcpy(dst, Data(), n);
        head += n;
        if (head == tail)
            head = tail = 0;
    }

    void ClearBuffer() { head = tail = 0; }

    // Makes room for one receive at the end, dropping bytes already taken first when the room
    // is short (the readiness test receives often; it must not move the buffer each time).
    uint8_t* ReserveChunk()
    {
        if (head > 0 && buffer.size() - tail < kReceiveChunk) {
            std::memmove(buffer.data(), buffer.data() + head, tail - head);
            tail -= head;
            head = 0;
        }
        if (buffer.size() < tail + kReceiveChunk)
            buffer.resize(tail + kReceiveChunk);
        return buffer.data() + tail;
    }

    void CloseSocket()
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

TcpClient::TcpClient()
    : FImpl(std::make_unique<Impl>())
{
}

TcpClient::~TcpClient()
{
    FImpl->CloseSocket();
}

void TcpClient::SetHost(const std::string& host)
{
    FImpl->host = host;
}

void TcpClient::SetPort(int port)
{
    FImpl->port = port;
}

void TcpClient::SetConnectTimeout(int milliseconds)
{
    FImpl->connectTimeoutMs = std::max(milliseconds, 0);
}

int TcpClient::ConnectTimeout() const
{
    return FImpl->connectTimeoutMs;
}

void TcpClient::Connect()
{
    Disconnect();
    FImpl->CloseSocket();
    FImpl->ClearBuffer();
    FImpl->hasSocket = false;
    // A fresh socket starts without a read limit; whoever needs one sets it.
    FImpl->readDeadline = Deadline();

    if (FImpl->host.empty())
        throw TransportError("no host given");
    if (FImpl->port <= 0 || FImpl->port > 65535)
        throw TransportError("invalid port " + std::to_string(FImpl->port));

    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(FImpl->port);
    const int rc = ::getaddrinfo(FImpl->host.c_str(), service.c_str(), &hints, &addresses);
    if (rc != 0)
        throw TransportError("cannot resolve " + FImpl->host + ": " + ::gai_strerror(rc));

    // One time-out covers every address the name resolves to.
    const Deadline deadline = Deadline::Fixed(std::chrono::milliseconds(FImpl->connectTimeoutMs), "the connect time-out");
    std::string error = "no address for " + FImpl->host;
    int fd = -1;
    for (addrinfo* a = addresses; a && fd < 0 && !deadline.Expired(); a = a->ai_next)
        fd = ConnectOne(*a, deadline, error);
    ::freeaddrinfo(addresses);
    if (fd < 0) {
        if (deadline.Expired())
            error = "connect timed out";
        throw TransportError("cannot connect to " + FImpl->host + ":" + service + ": " + error);
    }
    FImpl->fd = fd;
    FImpl->hasSocket = true;
}

void TcpClient::Disconnect()
{
    if (FImpl->fd < 0)
        return;
    FImpl->CloseSocket();
    FImpl->ClearBuffer();
    if (OnDisconnected)
        OnDisconnected();
}

void TcpClient::ReleaseSocket()
{
    FImpl->CloseSocket();
    FImpl->ClearBuffer();
    FImpl->hasSocket = false;
    FImpl->readDeadline = Deadline();
}

bool TcpClient::HasSocket() const
{
    return FImpl->hasSocket;
}

void TcpClient::PeerClosed()
{
    // Bytes that arrived before the close stay readable; only the socket goes.
    FImpl->CloseSocket();
    if (OnDisconnected)
        OnDisconnected();
}

TcpClient::ReceiveResult TcpClient::ReceiveChunk()
{
    uint8_t* at = FImpl->ReserveChunk();
    ssize_t got;
    do
        got = ::recv(FImpl->fd, at, kReceiveChunk, MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    FImpl->tail += static_cast<size_t>(std::max<ssize_t>(got, 0));
    if (got > 0) {
        FImpl->readDeadline.Count(size_t(got));
        return ReceiveResult::Data;
    }
    if (got == 0)
        return ReceiveResult::Closed;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return ReceiveResult::NothingYet;
    FImpl->lastError = errno;
    return ReceiveResult::Failed;
}

bool TcpClient::Connected()
{
    if (!FImpl->hasSocket || FImpl->fd < 0)
        return false;
    // The receive itself is the test: nothing waiting answers EAGAIN at once.
    switch (ReceiveChunk()) {
    case ReceiveResult::Data:
    case ReceiveResult::NothingYet:
        return true;
    case ReceiveResult::Closed:
    case ReceiveResult::Failed:
        PeerClosed();
        return false;
    }
    return FImpl->fd >= 0;
}

bool TcpClient::ReceiveBufferEmpty() const
{
    return FImpl->Buffered() == 0;
}

void TcpClient::SetReadDeadline(const Deadline& deadline)
{
    FImpl->readDeadline = deadline;
}

void TcpClient::SetWriteTimeout(int milliseconds)
{
    FImpl->writeTimeoutMs = std::max(milliseconds, 0);
}

void TcpClient::ThrowReadExpired(const char* waitingFor) const
{
    throw TransportError(std::string("timed out: ") + FImpl->readDeadline.What() + " passed while waiting for "
        + waitingFor);
}

void TcpClient::ReceiveMore(const char* waitingFor)
{
    if (FImpl->fd < 0)
        throw TransportError(FImpl->hasSocket ? "connection closed by the server" : "not connected");
    // Receive first: most of the time the bytes are already there, and a wait would only cost
    // a system call.
    for (;;) {
        switch (ReceiveChunk()) {
        case ReceiveResult::Data:
            return;
        case ReceiveResult::NothingYet:
            break;
        case ReceiveResult::Closed:
            PeerClosed();
            throw TransportError("connection closed by the server");
        case ReceiveResult::Failed: {
            const int error = FImpl->lastError;
            PeerClosed();
            throw TransportError(SystemErrorText("receive", error));
        }
        }
        if (FImpl->readDeadline.Expired() || !WaitFor(FImpl->fd, POLLIN, FImpl->readDeadline))
            ThrowReadExpired(waitingFor);
    }
}

void TcpClient::ReadExact(uint8_t* dst, size_t n)
{
    // A large block is not staged in the receive buffer: what is buffered is taken, the rest
    // is received straight into the caller's memory, as much per receive as has arrived.
    if (n > FImpl->Buffered() && n - FImpl->Buffered() >= kReceiveChunk) {
        const size_t buffered = FImpl->Buffered();
        FImpl->Take(dst, buffered);
        ReceiveInto(dst + buffered, n - buffered);
        return;
    }
    while (FImpl->Buffered() < n)
        ReceiveMore("data from the server");
    FImpl->Take(dst, n);
}

const uint8_t* TcpClient::PeekBuffered(size_t n)
{
    return FImpl->Buffered() >= n ? FImpl->Data() : nullptr;
}

std::span<const uint8_t> TcpClient::Buffered()
{
    return { FImpl->Data(), FImpl->Buffered() };
}

size_t TcpClient::BytesAvailable()
{
    int queued = 0;
    if (FImpl->fd < 0 || ::ioctl(FImpl->fd, FIONREAD, &queued) != 0 || queued < 0)
        queued = 0;
    return FImpl->Buffered() + size_t(queued);
}

void TcpClient::Consume(size_t n)
{
    FImpl->head += std::min(n, FImpl->Buffered());
    if (FImpl->head == FImpl->tail)
        FImpl->ClearBuffer();
}

// The block is received straight into the caller's memory in pieces of what has arrived, at
// most kDirectPiece each, waiting only when nothing is there. A single receive that returns
// only once the whole block is complete keeps the kernel from reopening the receive window
// while it copies: with a fast sender the socket buffer fills and the sender stalls. Each
// receive's end lets the window reopen, so the sender keeps going while we copy.
void TcpClient::ReceiveInto(uint8_t* dst, size_t n)
{
    while (n > 0) {
        if (FImpl->fd < 0)
            throw TransportError(FImpl->hasSocket ? "connection closed by the server" : "not connected");
        const ssize_t got = ::recv(FImpl->fd, dst, std::min(n, kDirectPiece), MSG_DONTWAIT);
        if (got > 0) {
            dst += got;
            n -= size_t(got);
            FImpl->readDeadline.Count(size_t(got));
            continue;
        }
        if (got == 0) {
            PeerClosed();
            throw TransportError("connection closed by the server");
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            const int error = errno;
            PeerClosed();
            throw TransportError(SystemErrorText("receive", error));
        }
        if (FImpl->readDeadline.Expired() || !WaitFor(FImpl->fd, POLLIN, FImpl->readDeadline))
            ThrowReadExpired("data from the server");
    }
}

std::string TcpClient::ReadLine(size_t maxLength)
{
    size_t scanned = 0;
    for (;;) {
        if (auto line = CompleteLine({ FImpl->Data(), FImpl->Buffered() }, scanned, maxLength)) {
            FImpl->head += line->Bytes;
            if (FImpl->head == FImpl->tail)
                FImpl->ClearBuffer();
            return std::move(line->Text);
        }
        ReceiveMore("a line from the server");
    }
}

void TcpClient::Write(const uint8_t* data, size_t n)
{
    if (FImpl->fd < 0)
        throw TransportError("not connected");
    // A server that stops reading must not hold us for ever: the limit is on a write that
    // makes no progress at all, so a large message over a slow link still goes through.
    Deadline stall = Deadline::Progress(std::chrono::milliseconds(FImpl->writeTimeoutMs), 1, "the write time-out");
    size_t sent = 0;
    while (sent < n) {
        const ssize_t rc = ::send(FImpl->fd, data + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (rc > 0) {
            sent += static_cast<size_t>(rc);
            stall.Count(size_t(rc));
            continue;
        }
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (stall.Expired() || !WaitFor(FImpl->fd, POLLOUT, stall))
                throw TransportError("timed out: the write time-out of " + std::to_string(FImpl->writeTimeoutMs)
                    + " ms passed with the server not reading (" + std::to_string(sent) + " of "
                    + std::to_string(n) + " bytes sent)");
            continue;
        }
        const int error = rc < 0 ? errno : EPIPE;
        PeerClosed();
        throw TransportError(SystemErrorText("send", error));
    }
}

} // namespace zarn
