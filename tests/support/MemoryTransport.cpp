#include "support/MemoryTransport.h"

#include <algorithm>
#include <cstring>

namespace zarn {

MemoryTransport::MemoryTransport(std::vector<uint8_t> incoming)
    : FIncoming(std::move(incoming))
{
}

void MemoryTransport::Feed(const std::vector<uint8_t>& bytes)
{
    Feed(bytes.data(), bytes.size());
}

void MemoryTransport::Feed(const uint8_t* data, size_t n)
{
    FIncoming.insert(FIncoming.end(), data, data + n);
}

void MemoryTransport::Connect()
{
    ++FConnectCalls;
    Open();
}

void MemoryTransport::Disconnect()
{
    if (!FOpen)
        return;
    FOpen = false;
    if (OnDisconnected)
        OnDisconnected();
}

void MemoryTransport::ReleaseSocket()
{
    FOpen = false;
    FHasSocket = false;
}

void MemoryTransport::ReadExact(uint8_t* dst, size_t n)
{
    if (!FOpen)
        throw TransportError("not connected");
    if (n > Remaining()) {
        // The peer is gone: behave like a socket that saw end-of-stream.
        FPos = FIncoming.size();
        Disconnect();
        throw TransportError("connection closed by the server");
    }
    if (n > 0)
        std::memcpy(dst, FIncoming.data() + FPos, n);
    FPos += n;
}

std::string MemoryTransport::ReadLine(size_t maxLength)
{
    if (!FOpen)
        throw TransportError("not connected");
    const auto begin = FIncoming.begin() + static_cast<std::ptrdiff_t>(FPos);
    const auto lf = std::find(begin, FIncoming.end(), uint8_t('\n'));
    if (static_cast<size_t>(lf - begin) > maxLength)
        throw TransportError("line too long");
    if (lf == FIncoming.end()) {
        FPos = FIncoming.size();
        Disconnect();
        throw TransportError("connection closed by the server");
    }
    std::string line(begin, lf);
    FPos += line.size() + 1;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void MemoryTransport::Write(const uint8_t* data, size_t n)
{
    if (!FOpen)
        throw TransportError("not connected");
    FWritten.insert(FWritten.end(), data, data + n);
}

std::span<const uint8_t> MemoryTransport::Buffered()
{
    if (!FOpen)
        return {};
    return { FIncoming.data() + FPos, std::min(FWindow, Remaining()) };
}

const uint8_t* MemoryTransport::PeekBuffered(size_t n)
{
    const std::span<const uint8_t> shown = Buffered();
    return n <= shown.size() && !shown.empty() ? shown.data() : nullptr;
}

void MemoryTransport::Consume(size_t n)
{
    FPos += std::min(n, Buffered().size());
}

} // namespace zarn
