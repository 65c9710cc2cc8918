#include "support/ScriptedServer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarn::test {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point end)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ScriptedServer::ScriptedServer()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe2 failed");
    FWakeRead = pipeFds[0];
    FWakeWrite = pipeFds[1];

    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (FListenFd < 0 || ::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(FListenFd, 4) != 0
        || ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        CloseFd(FListenFd);
        CloseFd(FWakeRead);
        CloseFd(FWakeWrite);
        throw std::runtime_error("scripted server cannot listen: " + why);
    }
    FPort = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    Stop();
    CloseFd(FWakeRead);
    CloseFd(FWakeWrite);
}

ScriptedServer& ScriptedServer::Send(std::vector<uint8_t> bytes)
{
    FSteps.push_back({ StepKind::Send, std::move(bytes), 0 });
    return *this;
}

ScriptedServer& ScriptedServer::Send(std::string_view text)
{
    return Send(std::vector<uint8_t>(text.begin(), text.end()));
}

ScriptedServer& ScriptedServer::SendU8(uint8_t value)
{
    return Send(std::vector<uint8_t> { value });
}

ScriptedServer& ScriptedServer::SendU16(uint16_t value)
{
    return Send(std::vector<uint8_t> { uint8_t(value >> 8), uint8_t(value) });
}

ScriptedServer& ScriptedServer::SendU32(uint32_t value)
{
    return Send(std::vector<uint8_t> {
        uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value) });
}

ScriptedServer& ScriptedServer::Expect(size_t n)
{
    FExpectedTotal += n;
    FSteps.push_back({ StepKind::ExpectTotal, {}, FExpectedTotal });
    return *this;
}

ScriptedServer& ScriptedServer::WaitForClientBytes(size_t total)
{
    FSteps.push_back({ StepKind::ExpectTotal, {}, total });
    return *this;
}

ScriptedServer& ScriptedServer::WaitForClientClose()
{
    FSteps.push_back({ StepKind::WaitClose, {}, 0 });
    return *this;
}

ScriptedServer& ScriptedServer::Pause(int milliseconds)
{
    FSteps.push_back({ StepKind::Pause, {}, static_cast<size_t>(std::max(milliseconds, 0)) });
    return *this;
}

ScriptedServer& ScriptedServer::Close()
{
    FSteps.push_back({ StepKind::Close, {}, 0 });
    return *this;
}

void ScriptedServer::Start()
{
    if (FThread.joinable())
        throw std::logic_error("scripted server started twice");
    FThread = std::thread([this] { Run(); });
}

void ScriptedServer::Stop()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    const char wake = 1;
    if (FWakeWrite >= 0) [[maybe_unused]]
        auto ignored = ::write(FWakeWrite, &wake, 1);
    if (FThread.joinable())
        FThread.join();
    CloseFd(FConnFd);
    CloseFd(FListenFd);
}

bool ScriptedServer::WaitUntilDone(int timeoutMs)
{
    std::unique_lock lock(FMutex);
    FChanged.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [this] { return FDone || FFinished || !FError.empty(); });
    return FDone && FError.empty();
}

bool ScriptedServer::WaitForReceived(size_t total, int timeoutMs)
{
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return FReceived.size() >= total || FFinished;
    }) && FReceived.size() >= total;
}

bool ScriptedServer::WaitForClientClosed(int timeoutMs)
{
    std::unique_lock lock(FMutex);
    FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return FClientClosed || FFinished; });
    return FClientClosed;
}

std::vector<uint8_t> ScriptedServer::Received() const
{
    std::lock_guard lock(FMutex);
    return FReceived;
}

size_t ScriptedServer::ReceivedCount() const
{
    std::lock_guard lock(FMutex);
    return FReceived.size();
}

bool ScriptedServer::Accepted() const
{
    std::lock_guard lock(FMutex);
    return FAccepted;
}

bool ScriptedServer::ClientClosed() const
{
    std::lock_guard lock(FMutex);
    return FClientClosed;
}

std::string ScriptedServer::Error() const
{
    std::lock_guard lock(FMutex);
    return FError;
}

void ScriptedServer::Fail(std::string why)
{
    std::lock_guard lock(FMutex);
    if (FError.empty())
        FError = std::move(why);
    FChanged.notify_all();
}

void ScriptedServer::Run()
{
    bool ok = AcceptClient();
    for (size_t i = 0; ok && i < FSteps.size(); ++i)
        ok = RunStep(FSteps[i]);
    if (ok) {
        {
            std::lock_guard lock(FMutex);
            FDone = true;
        }
        FChanged.notify_all();
        RecordUntilClientCloses();
    } else if (FConnFd >= 0) {
        // A failed step: let the client see the end rather than wait for its time-out.
        ::shutdown(FConnFd, SHUT_RDWR);
        CloseFd(FConnFd);
    }
    std::lock_guard lock(FMutex);
    FFinished = true;
    FChanged.notify_all();
}

bool ScriptedServer::AcceptClient()
{
    for (;;) {
        pollfd fds[2] = { { FListenFd, POLLIN, 0 }, { FWakeRead, POLLIN, 0 } };
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0) {
            Fail(std::string("poll: ") + std::strerror(errno));
            return false;
        }
        if (fds[1].revents != 0)
            return false;
        FConnFd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (FConnFd >= 0)
            break;
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
            Fail(std::string("accept: ") + std::strerror(errno));
            return false;
        }
    }
    // Scripts send many small pieces; none should sit waiting for an acknowledgement.
    int one = 1;
    ::setsockopt(FConnFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(FMutex);
    FAccepted = true;
    FChanged.notify_all();
    return true;
}

bool ScriptedServer::RunStep(const Step& step)
{
    switch (step.kind) {
    case StepKind::Send:
        if (FConnFd < 0) {
            Fail("send after close");
            return false;
        }
        return Serve([&](size_t sent) { return sent == step.bytes.size(); }, &step.bytes, -1);
    case StepKind::ExpectTotal:
        return Serve([&](size_t) { return ReceivedCount() >= step.count; }, nullptr, -1);
    case StepKind::WaitClose:
        return Serve([&](size_t) { return ClientClosed(); }, nullptr, -1);
    case StepKind::Pause: {
        Serve([](size_t) { return false; }, nullptr, static_cast<int>(step.count));
        std::lock_guard lock(FMutex);
        return !FStopping;
    }
    case StepKind::Close:
        if (FConnFd >= 0) {
            ReceiveAvailable();
            // An orderly end (FIN, not RST) even if the client still has bytes in flight.
            ::shutdown(FConnFd, SHUT_WR);
            CloseFd(FConnFd);
        }
        return true;
    }
    return false;
}

template <typename Done>
bool ScriptedServer::Serve(Done done, const std::vector<uint8_t>* out, int deadlineMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(deadlineMs, 0));
    size_t sent = 0;
    for (;;) {
        if (done(sent))
            return true;
        {
            std::lock_guard lock(FMutex);
            if (FStopping)
                return false;
        }
        if (deadlineMs >= 0 && Clock::now() >= end)
            return false;
        const bool closed = ClientClosed() || FConnFd < 0;
        const bool sending = out && sent < out->size();
        if (closed && !sending && deadlineMs < 0) {
            Fail("client closed after " + std::to_string(ReceivedCount()) + " bytes while the script waited");
            return false;
        }
        pollfd fds[2] = { { FWakeRead, POLLIN, 0 }, { FConnFd, 0, 0 } };
        if (!closed)
            fds[1].events = short(POLLIN | (sending ? POLLOUT : 0));
        else if (sending)
            fds[1].events = POLLOUT;
        const nfds_t count = fds[1].events != 0 ? 2 : 1;
        const int rc = ::poll(fds, count, deadlineMs >= 0 ? MillisecondsLeft(end) : -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0) {
            Fail(std::string("poll: ") + std::strerror(errno));
            return false;
        }
        if (fds[0].revents != 0)
            return false;
        if (count < 2)
            continue;
        if (!closed && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !ReceiveAvailable())
            return false;
        if (sending && (fds[1].revents & (POLLOUT | POLLERR))) {
            const ssize_t n = ::send(FConnFd, out->data() + sent, out->size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                if (errno == EPIPE || errno == ECONNRESET) {
                    std::lock_guard lock(FMutex);
                    FClientClosed = true;
                }
                Fail("send failed after " + std::to_string(sent) + " of " + std::to_string(out->size())
                    + " bytes: " + std::strerror(errno));
                return false;
            }
        }
    }
}

bool ScriptedServer::ReceiveAvailable()
{
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(FConnFd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            std::lock_guard lock(FMutex);
            FReceived.insert(FReceived.end(), chunk, chunk + n);
            FChanged.notify_all();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        // End of stream or a reset: either way the client is gone.
        std::lock_guard lock(FMutex);
        FClientClosed = true;
        FChanged.notify_all();
        return true;
    }
}

void ScriptedServer::RecordUntilClientCloses()
{
    if (FConnFd < 0)
        return;
    Serve([&](size_t) { return ClientClosed(); }, nullptr, -1);
}

} // namespace zarn::test
