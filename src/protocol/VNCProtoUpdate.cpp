// The update cycle: one FramebufferUpdateRequest, then every server message whose bytes have
// already begun to arrive, routed to its handler.

#include <chrono>
#include <new>
#include <optional>

#include "platform/ByteOrder.h"
#include "protocol/Decoders.h"
#include "protocol/EngineErrors.h"
#include "protocol/Limits.h"
#include "protocol/TightDecoder.h"
#include "protocol/VNCProto.h"
#include "protocol/ZrleDecoder.h"

namespace zarn {

namespace {

enum : uint8_t {
    kFramebufferUpdate = 0,
    kSetColourMapEntries = 1,
    kBell = 2,
    kServerCutText = 3,
};

constexpr uint8_t kFramebufferUpdateRequest = 3;

// The array of one pixel mode, or an empty surface if it does not match the framebuffer
// size (every store is then clipped away instead of running past the array).
template <typename Pixel>
PixelSurface<Pixel> SurfaceOf(std::vector<Pixel>& pixels, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height))
        return {};
    return { pixels.data(), width, height };
}

} // namespace

bool TVNCProto::IsReady()
{
    try {
        return Client->HasSocket() && Client->Connected() && Initialised && EncodingsSent;
    } catch (...) {
        return false;
    }
}

template <typename Step> bool TVNCProto::RunCycle(Step step)
{
    if (!IsReady())
        return false;
    CycleError.clear();
    const std::optional<std::string> failure = CatchEngineFailure("handling a server message", step);
    if (!failure)
        return true;
    CycleError = *failure;
    LastError = CycleError;
    // A message may have been left half read or a request half written: the stream is out of
    // step, so the engine stops being ready (no cycle reads and no send writes on it any more)
    // while what the session showed stays until the window closes the connection.
    Initialised = false;
    return false;
}

bool TVNCProto::RequestUpdate(uint16_t x, uint16_t y, uint16_t width, uint16_t height, bool incremental)
{
    if (FFullUpdateDue) {
        // What the caller knew of the screen is gone with the old size.
        x = y = 0;
        width = uint16_t(FramebufferWidth);
        height = uint16_t(FramebufferHeight);
        incremental = false;
    }
    return RunCycle([&] {
        FFullUpdateDue = false;
        const uint8_t request[10] = { kFramebufferUpdateRequest, uint8_t(incremental ? 1 : 0),
            uint8_t(x >> 8), uint8_t(x), uint8_t(y >> 8), uint8_t(y), uint8_t(width >> 8), uint8_t(width),
            uint8_t(height >> 8), uint8_t(height) };
        Client->Write(request, sizeof request);
        BytesSent += sizeof request;
        HandleBufferedMessages();
    });
}

bool TVNCProto::HandleArrivedMessages()
{
    return RunCycle([this] { HandleBufferedMessages(); });
}

void TVNCProto::HandleBufferedMessages()
{
    // A server that keeps the receive buffer filled must not hold the GUI thread for ever:
    // once the budget is spent the rest waits for the next cycle. The clock is read only
    // between messages, so no message is ever left half read.
    const auto start = std::chrono::steady_clock::now();
    const auto budget = std::chrono::milliseconds(Limits.CycleBudgetMs);
    bool handledOne = false;
    for (;;) {
        // A large block is received past the buffer, so what arrived meanwhile waits in the
        // system: a cycle that has handled a message looks there too (one receive that does not
        // wait) rather than leave a busy stream to fill the socket buffer and stall the sender
        // until the next frame. A cycle that found nothing makes no extra call.
        if (Client->ReceiveBufferEmpty() && (!handledOne || !Client->Connected() || Client->ReceiveBufferEmpty()))
            break;
        // Each message gets its own limit: a trickling server is cut, a slow link is not.
        Client->SetReadDeadline(Deadline::Progress(
            std::chrono::milliseconds(Limits.MessageWindowMs), Limits.MessageStepBytes, "the message progress limit"));
        const uint8_t type = Client->ReadU8();
        BytesReceived += 1;
        HandleMessage(type);
        handledOne = true;
        if (std::chrono::steady_clock::now() - start >= budget)
            break;
    }
}

void TVNCProto::HandleMessage(uint8_t type)
{
    switch (type) {
    case kFramebufferUpdate:
        if (TrueColor)
            HandleFramebufferUpdate32();
        else
            HandleFramebufferUpdate8();
        return;
    case kSetColourMapEntries:
        HandleSetColourMapEntries();
        return;
    case kBell:
        HandleBell();
        return;
    case kServerCutText:
        HandleServerCutText();
        return;
    default:
        // Its length is unknown, so nothing after it can be found.
        throw ProtocolViolation("unknown server message type " + std::to_string(type));
    }
}

void TVNCProto::DrainInput()
{
    if (!IsReady())
        return;
    Client->SetReadDeadline(Deadline::Fixed(std::chrono::milliseconds(limits::kDrainTimeoutMs), "the drain time-out"));
    try {
        while (!Client->ReceiveBufferEmpty())
            Client->ReadU8();
    } catch (const TransportError&) {
        // Whatever could not be read is gone as well; the next cycle finds out why.
    }
}

TVNCProto::TArrival TVNCProto::TakeArrival()
{
    const TArrival taken = FArrival;
    FArrival = {};
    return taken;
}

template <typename Pixel> void TVNCProto::HandleFramebufferUpdate()
{
    // The bytes already here were not waited for; the rest arrived while this message was read.
    const auto start = std::chrono::steady_clock::now();
    const uint64_t receivedBefore = BytesReceived;
    const uint64_t alreadyHere = Client->BytesAvailable();
    uint8_t head[3]; // padding, rectangle count
    Client->ReadExact(head, sizeof head);
    BytesReceived += 2;
    const uint16_t rectangles = LoadU16(head + 1);

    auto surfaceNow = [this] {
        if constexpr (sizeof(Pixel) == 4)
            return SurfaceOf(Pixels32, FramebufferWidth, FramebufferHeight);
        else
            return SurfaceOf(Pixels8, FramebufferWidth, FramebufferHeight);
    };
    PixelSurface<Pixel> surface = surfaceNow();
    // Each decoder reports the areas it writes, before writing them: a rectangle cut short has
    // still changed what it wrote.
    std::optional<RectangleDecoder<Pixel>> decoderSlot;
    decoderSlot.emplace(*Client, FReadBuffer, BytesReceived, surface, &FChanged);

    bool lastRect = false;
    bool sizeOnly = rectangles > 0;
    for (uint32_t i = 0; i < rectangles && !lastRect; ++i) {
        uint8_t header[12];
        Client->ReadExact(header, sizeof header);
        BytesReceived += sizeof header;
        ++RectsReceived;
        const int x = LoadU16(header);
        const int y = LoadU16(header + 2);
        const int width = LoadU16(header + 4);
        const int height = LoadU16(header + 6);
        const int32_t encoding = static_cast<int32_t>(LoadU32(header + 8));
        sizeOnly = sizeOnly && ResizeAnnounced()
            && (encoding == kPseudoDesktopSize || encoding == kPseudoExtendedDesktopSize);
        RectangleDecoder<Pixel>& decoder = *decoderSlot;
        switch (encoding) {
        case kEncodingRaw:
            decoder.DecodeRaw(x, y, width, height);
            break;
        case kEncodingCopyRect:
            decoder.DecodeCopyRect(x, y, width, height);
            break;
        case kEncodingRRE:
            decoder.DecodeRRE(x, y, width, height);
            break;
        case kEncodingHextile:
            decoder.DecodeHextile(x, y, width, height);
            break;
        case kEncodingZRLE:
            ZrleDecoder<Pixel>(*Client, BytesReceived, FCompression.Zrle, surface, &FChanged)
                .Decode(x, y, width, height);
            break;
        case kEncodingTight:
            TightDecoder<Pixel>(*Client, FReadBuffer, BytesReceived, FCompression, surface, &FChanged)
                .Decode(x, y, width, height);
            break;
        case kPseudoDesktopSize:
        case kPseudoExtendedDesktopSize:
            if (!ResizeAnnounced())
                break; // never announced: read as the classic protocol reads it
            // Whatever follows in this update belongs to the new size.
            if (HandleDesktopSize(encoding, x, y, width, height)) {
                surface = surfaceNow();
                decoderSlot.emplace(*Client, FReadBuffer, BytesReceived, surface, &FChanged);
            }
            break;
        case kPseudoLastRect:
            if (!ResizeAnnounced())
                break;
            // The server counted 65535 rectangles it never meant to send; this was the last.
            lastRect = true;
            break;
        default:
            // Never announced, so its length is unknown: the next header follows at once.
            break;
        }
    }
    ++FramesReceived;
    if (sizeOnly)
        ++LayoutOnlyUpdates;
    const uint64_t messageBytes = BytesReceived - receivedBefore;
    if (messageBytes > alreadyHere) {
        FArrival.Bytes += messageBytes - alreadyHere;
        FArrival.Micros += uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start).count());
    }
}

void TVNCProto::HandleFramebufferUpdate32()
{
    HandleFramebufferUpdate<uint32_t>();
}

void TVNCProto::HandleFramebufferUpdate8()
{
    HandleFramebufferUpdate<uint8_t>();
}

void TVNCProto::HandleSetColourMapEntries()
{
    uint8_t head[5]; // padding, first colour, number of colours
    Client->ReadExact(head, sizeof head);
    const unsigned first = LoadU16(head + 1);
    const size_t count = LoadU16(head + 3);
    const size_t tableBytes = count * 6; // at most 393210: no unchecked size
    if (FReadBuffer.size() < tableBytes)
        FReadBuffer.resize(tableBytes);
    if (tableBytes > 0)
        Client->ReadExact(FReadBuffer.data(), tableBytes);
    BytesReceived += tableBytes + 4;

    std::fill(std::begin(BitmapInfo.Unused), std::end(BitmapInfo.Unused), uint8_t(0));
    constexpr size_t kTableSize = sizeof BitmapInfo.bmiColors / sizeof BitmapInfo.bmiColors[0];
    for (size_t i = 0; i < count && first + i < kTableSize; ++i) {
        const uint8_t* rgb = FReadBuffer.data() + i * 6;
        TRGBQuad& entry = BitmapInfo.bmiColors[first + i];
        entry.rgbRed = rgb[0];
        entry.rgbGreen = rgb[2];
        entry.rgbBlue = rgb[4];
        entry.rgbReserved = 0;
    }
    // A true-colour picture does not go through the table.
    if (count > 0 && !TrueColor)
        FChanged.AddAll(FramebufferWidth, FramebufferHeight);
}

void TVNCProto::HandleBell()
{
    // The hooks are the window's: whatever fails in them is not the server's doing and must
    // not end the session (nor leave the cycle by a path that skips the rest of the stream).
    try {
        if (Hooks.OnBell)
            Hooks.OnBell();
    } catch (...) {
    }
}

void TVNCProto::HandleServerCutText()
{
    uint8_t head[7]; // padding, length
    Client->ReadExact(head, sizeof head);
    const uint32_t length = LoadU32(head + 3);
    if (length > limits::kMaxClipboardText)
        throw LimitExceeded("server clipboard text of " + std::to_string(length)
            + " bytes exceeds the limit of " + std::to_string(limits::kMaxClipboardText));
    CutText = Client->ReadText(length);
    BytesReceived += uint64_t(length) + 7;
    try {
        if (ShareClipboard && Hooks.OnServerCutText)
            Hooks.OnServerCutText(CutText);
    } catch (...) {
    }
}

} // namespace zarn
