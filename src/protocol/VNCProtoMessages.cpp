// Client-to-server messages. Each is built whole in one buffer (padding zeroed), written
// with one write, and counted in BytesSent only once the write has gone through. A failing
// write ends the connection here (see Send): the handler that asked learns it from the result.

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "platform/ByteOrder.h"
#include "protocol/Decoders.h"
#include "protocol/EncodingList.h"
#include "protocol/KeyMapping.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

enum : uint8_t {
    kSetPixelFormat = 0,
    kSetEncodings = 2,
    kKeyEvent = 4,
    kPointerEvent = 5,
    kClientCutText = 6,
    kSetDesktopSize = 251,
};

} // namespace

template <typename Write> bool TVNCProto::Send(bool ready, Write write)
{
    if (!ready)
        return false;
    const std::optional<std::string> failure = CatchEngineFailure("building a message", write);
    if (!failure)
        return true;
    LastError = *failure;
    // Part of the message may have gone out: the server would read whatever follows out of
    // step, so the connection ends here and the session with it.
    CloseQuietly();
    if (Hooks.OnSendFailed) {
        try {
            Hooks.OnSendFailed(LastError);
        } catch (...) {
            // The report is a courtesy; the send's result already says it failed.
        }
    }
    return false;
}

bool TVNCProto::SendSetPixelFormat()
{
    return Send(IsReady(), [this] {
        // True colour: 32 bits, depth 24, little-endian, 8 bits a channel with red at bit 16, so
        // each pixel arrives as the blue, green, red, unused bytes of the 32-bit array. Colour
        // map: 8-bit indices, all maxima and shifts 0.
        uint8_t message[20] = {};
        message[0] = kSetPixelFormat;
        const uint8_t bitsPerPixel = TrueColor ? 32 : 8;
        const uint8_t depth = TrueColor ? 24 : 8;
        message[4] = bitsPerPixel;
        message[5] = depth;
        message[6] = 0;
        if (TrueColor) {
            message[7] = 1;
            StoreU16(message + 8, 255);
            StoreU16(message + 10, 255);
            StoreU16(message + 12, 255);
            message[14] = 16;
            message[15] = 8;
            message[16] = 0;
        }
        Client->Write(message, sizeof message);
        BytesSent += sizeof message;

        BitsPerPixel = bitsPerPixel;
        Depth = depth;
        BigEndian = false;
        BitmapInfo.bmiHeader.biBitCount = bitsPerPixel;
        BitmapInfo.bmiHeader.biClrUsed = 0;
        BitmapInfo.bmiHeader.biClrImportant = 0;
        // The other array is current now and shows what it last held.
        FChanged.AddAll(FramebufferWidth, FramebufferHeight);
    });
}

TEncodingChoice TVNCProto::Encodings() const
{
    TEncodingChoice choice;
    choice.CopyRect = UseCopyRect;
    choice.RRE = UseRRE;
    choice.Hextile = UseHextile;
    choice.ZRLE = UseZRLE;
    choice.Tight = UseTight;
    choice.JpegQuality = JpegQuality;
    choice.CompressLevel = CompressLevel;
    choice.DesktopResize = UseDesktopResize;
    return choice;
}

bool TVNCProto::SendSetEncodings()
{
    return Send(ClientOpen(), [this] {
        const std::vector<int32_t> encodings = EncodingList(Encodings());
        std::vector<uint8_t> message(4 + 4 * encodings.size(), 0);
        message[0] = kSetEncodings;
        StoreU16(&message[2], uint16_t(encodings.size()));
        for (size_t i = 0; i < encodings.size(); ++i)
            StoreU32(&message[4 + 4 * i], uint32_t(encodings[i]));
        Client->Write(message);
        BytesSent += message.size();
        EncodingsSent = true;
        FResizeAnnounced = FResizeAnnounced || UseDesktopResize;
    });
}

bool TVNCProto::SendSetDesktopSize(uint16_t width, uint16_t height)
{
    const uint16_t side = uint16_t(std::min<int32_t>(Limits.MaxFramebufferSide, int32_t(limits::kMaxFramebufferSide)));
    const bool sensible = width >= 1 && height >= 1 && width <= side && height <= side;
    return Send(IsReady() && ServerCanResize && sensible, [&] {
        // One screen over the whole desktop: the window shows one picture. The server's id and
        // flags go back as they came, so it sees its screen changed rather than replaced.
        TScreen screen;
        if (!ServerScreens.empty())
            screen = ServerScreens.front();
        uint8_t message[8 + 16] = {};
        message[0] = kSetDesktopSize;
        StoreU16(message + 2, width);
        StoreU16(message + 4, height);
        message[6] = 1; // number of screens
        StoreU32(message + 8, screen.Id);
        StoreU16(message + 12, 0);
        StoreU16(message + 14, 0);
        StoreU16(message + 16, width);
        StoreU16(message + 18, height);
        StoreU32(message + 20, screen.Flags);
        Client->Write(message, sizeof message);
        BytesSent += sizeof message;
    });
}

bool TVNCProto::SendKeyEvent(uint16_t key, TShiftState modifiers, bool down)
{
    if (!IsReady())
        return false;
    LastModifierKeySyms last { LastShiftKeySym, LastCtrlKeySym, LastAltKeySym };
    const uint16_t keySym = TranslateKey(key, modifiers, down, Keyboard, last);
    LastShiftKeySym = last.shift;
    LastCtrlKeySym = last.ctrl;
    LastAltKeySym = last.alt;
    return SendKeySym(keySym, down);
}

bool TVNCProto::SendKeySym(uint32_t keySym, bool down)
{
    return Send(IsReady(), [&] {
        uint8_t message[8] = {};
        message[0] = kKeyEvent;
        message[1] = down ? 1 : 0;
        StoreU32(message + 4, keySym);
        Client->Write(message, sizeof message);
        BytesSent += sizeof message;
    });
}

bool TVNCProto::SendPointerEvent(uint8_t buttonMask, uint16_t x, uint16_t y)
{
    return Send(IsReady(), [&] {
        uint8_t message[6] = { kPointerEvent, buttonMask };
        StoreU16(message + 2, x);
        StoreU16(message + 4, y);
        Client->Write(message, sizeof message);
        BytesSent += sizeof message;
    });
}

bool TVNCProto::SendClientCutText(const std::string& text)
{
    CutText = text;
    // The length field is 32 bits: a longer text cannot be framed, and a truncated length
    // would throw the server's parser out of step, so it is not sent at all.
    if (text.size() > std::numeric_limits<uint32_t>::max())
        return false;
    return Send(ClientOpen(), [&] {
        std::vector<uint8_t> message(8 + text.size(), 0);
        message[0] = kClientCutText;
        StoreU32(&message[4], uint32_t(text.size()));
        std::copy(text.begin(), text.end(), message.begin() + 8);
        Client->Write(message);
        BytesSent += message.size();
    });
}

std::string TVNCProto::VirtualKeyToChar(uint16_t virtualKey)
{
    return KeyText(Keyboard, virtualKey);
}

bool TVNCProto::StartSession(bool trueColor)
{
    const bool encodingsSent = SendSetEncodings();
    TrueColor = trueColor;
    if (!encodingsSent || !SendSetPixelFormat())
        return false;
    for (const uint16_t keySym : kModifierKeySyms)
        SendKeyEvent(keySym, 0, false);
    return true;
}

} // namespace zarn
