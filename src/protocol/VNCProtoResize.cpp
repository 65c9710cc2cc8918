// Desktops that change size: the DesktopSize and ExtendedDesktopSize rectangles of an update.
// A new size is checked against the framebuffer limit before anything is allocated for it; the
// arrays are then made anew (cleared) and the rest of the update draws at the new size.

#include <algorithm>
#include <array>
#include <string>

#include "platform/ByteOrder.h"
#include "protocol/EngineErrors.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

// The x field of an ExtendedDesktopSize rectangle: why the layout changed.
constexpr int kReasonThisClient = 1;
// Its y field when the reason is this client's request: 0 means the request was carried out.
constexpr int kStatusAccepted = 0;
constexpr size_t kScreenBytes = 16;

} // namespace

bool TVNCProto::HandleDesktopSize(int32_t encoding, int x, int y, int width, int height)
{
    if (encoding == kPseudoExtendedDesktopSize) {
        uint8_t head[4]; // number of screens, padding
        Client->ReadExact(head, sizeof head);
        BytesReceived += sizeof head;
        // A one-byte count: at most 255 screens, 4080 bytes, read whole before any is used.
        const size_t count = head[0];
        std::array<uint8_t, 255 * kScreenBytes> wire;
        if (count > 0)
            Client->ReadExact(wire.data(), count * kScreenBytes);
        BytesReceived += count * kScreenBytes;
        ServerCanResize = true;
        if (x == kReasonThisClient) {
            LastResizeStatus = y;
            // A refusal's other fields mean nothing: the desktop stays as it is.
            if (y != kStatusAccepted)
                return false;
        }
        ServerScreens.clear();
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* s = wire.data() + i * kScreenBytes;
            ServerScreens.push_back(
                { LoadU32(s), LoadU16(s + 4), LoadU16(s + 6), LoadU16(s + 8), LoadU16(s + 10), LoadU32(s + 12) });
        }
    }
    const int side = std::min<int32_t>(Limits.MaxFramebufferSide, int32_t(limits::kMaxFramebufferSide));
    if (width == 0 || height == 0)
        throw ProtocolViolation("the server resized its desktop to " + std::to_string(width) + " x "
            + std::to_string(height));
    if (width > side || height > side)
        throw LimitExceeded("the server resized its desktop to " + std::to_string(width) + " x "
            + std::to_string(height) + ", beyond the limit of " + std::to_string(side));
    // A layout change alone keeps the picture, and so does the answer to every
    // non-incremental request: only a new size starts afresh (and asks for a full update, which
    // the server answers with the same size, so nothing loops).
    if (width == FramebufferWidth && height == FramebufferHeight)
        return false;
    ResizeFramebuffer(width, height);
    return true;
}

void TVNCProto::ResizeFramebuffer(int width, int height)
{
    // The old arrays go before the new ones are made, so a large screen never needs both.
    std::vector<uint32_t>().swap(Pixels32);
    std::vector<uint8_t>().swap(Pixels8);
    const size_t elements = size_t(width) * size_t(height);
    Pixels32.assign(elements, 0);
    Pixels8.assign(elements, 0);
    FramebufferWidth = width;
    FramebufferHeight = height;
    BitmapInfo.bmiHeader.biWidth = width;
    BitmapInfo.bmiHeader.biHeight = height;
    FChanged.Clear();
    FChanged.AddAll(width, height);
    FFullUpdateDue = true;
    ++ResizesReceived;
    // The hook is the window's: its failure is not the server's doing.
    try {
        if (Hooks.OnDesktopResized)
            Hooks.OnDesktopResized();
    } catch (...) {
    }
}

} // namespace zarn
