#include "protocol/VNCProto.h"

#include <algorithm>

#include "platform/TcpClient.h"

namespace zarn {

TVNCProto::TVNCProto(std::unique_ptr<ITransport> client)
    : Client(client ? std::move(client) : std::make_unique<TcpClient>())
{
    Client->OnDisconnected = [this] { ClientDisconnected(); };
}

TVNCProto::~TVNCProto()
{
    // The transport must not call back into a half-destroyed engine.
    Client->OnDisconnected = nullptr;
}

void TVNCProto::SetPort(int32_t port)
{
    if (port >= 0 && port <= 65535)
        Port = port;
}

void TVNCProto::Disconnect()
{
    if (Client->HasSocket())
        Client->Disconnect();
    Initialised = false;
    EncodingsSent = false;
    UseCopyRect = false;
    CutText.clear();
    DesktopName.clear();
    Client->ReleaseSocket();
}

void TVNCProto::ClientDisconnected()
{
    Initialised = false;
    EncodingsSent = false;
    UseCopyRect = false;
    CutText.clear();
    DesktopName.clear();
}

bool TVNCProto::ClientOpen() const
{
    return Client->HasSocket() && const_cast<ITransport&>(*Client).Connected();
}

ImageView TVNCProto::CurrentImage() const
{
    ImageView view;
    view.width = FramebufferWidth;
    view.height = FramebufferHeight;
    const size_t elements = size_t(std::max(FramebufferWidth, 0)) * size_t(std::max(FramebufferHeight, 0));
    if (TrueColor) {
        if (Pixels32.size() < elements || elements == 0)
            return {};
        view.bits = reinterpret_cast<const uint8_t*>(Pixels32.data());
        view.stride = size_t(FramebufferWidth) * 4;
    } else {
        if (Pixels8.size() < elements || elements == 0)
            return {};
        view.bits = Pixels8.data();
        view.stride = size_t(FramebufferWidth);
        view.indexed = true;
        view.colorTable = BitmapInfo.bmiColors;
    }
    return view;
}

void TVNCProto::AllocateFramebuffer()
{
    auto& h = BitmapInfo.bmiHeader;
    h.biSize = 44;
    h.biWidth = FramebufferWidth;
    h.biHeight = FramebufferHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(BitsPerPixel);
    h.biCompression = 0;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = 200;
    h.biYPelsPerMeter = 200;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    // resize keeps existing elements by index, so a reconnect shows the old picture until
    // the first update of the new session arrives.
    const size_t elements = size_t(FramebufferWidth) * size_t(FramebufferHeight);
    Pixels32.resize(elements, 0);
    Pixels8.resize(elements, 0);
}

} // namespace zarn
