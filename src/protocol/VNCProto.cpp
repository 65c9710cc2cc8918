#include "protocol/VNCProto.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>

#include "crypto/IcsDES.h"
#include "crypto/ZarnMD5Funcs.h"
#include "imaging/Bmp.h"
#include "platform/RfbConstants.h"
#include "platform/TcpClient.h"
#include "protocol/EngineErrors.h"

namespace zarn {

namespace {

struct VersionReply {
    std::string_view text;
    uint8_t version;
    std::string_view reply;
};

// Versions the server may announce and what we answer; anything else is answered as 3.8.
constexpr std::array<VersionReply, 5> kVersionReplies { {
    { "003.003", kRfb33, "RFB 003.003\n" },
    { "003.005", kRfb33, "RFB 003.003\n" },
    { "003.006", kRfb33, "RFB 003.003\n" },
    { "003.007", kRfb37, "RFB 003.007\n" },
    { "003.008", kRfb38, "RFB 003.008\n" },
} };
constexpr std::string_view kDefaultReply = "RFB 003.008\n";

constexpr const char* kNoEncryptionOffered = "the server offers no encryption (VeNCrypt), and encryption is required";

// Preference order whatever order the server lists them in.
constexpr std::array<uint8_t, 3> kSecurityPreference { kSecurityNone, kSecurityMd5Challenge, kSecurityVncAuth };

} // namespace

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

bool TVNCProto::Connect(const std::string& host, int32_t port)
{
    if (!host.empty())
        Host = host;
    if (port != -1)
        SetPort(port);
    // A reason left over from an earlier attempt must never explain a later, different failure.
    FailureReason.clear();
    LastError.clear();
    SecurityType = 0;
    VeNCryptSubType = 0;
    EncryptionInfo.clear();
    ServerCertificate = TCertificateInfo();
    // A new connection starts its compressed streams afresh.
    FCompression.Reset();
    std::optional<std::string> failure;
    try {
        failure = CatchEngineFailure("setting up the session", [this] { RunSetup(); });
    } catch (...) {
        // Not the server's doing (a hook that threw, a programming error): it goes on to the
        // caller, but never with a half-set-up connection left open.
        CloseQuietly();
        throw;
    }
    if (!failure)
        return true;
    LastError = *failure;
    // Whatever went wrong, the stream is no longer in step: close it now rather than leave a
    // half-read connection (or a stalled server's socket) open until the next Connect.
    CloseQuietly();
    return false;
}

void TVNCProto::RunSetup()
{
    Client->Disconnect();
    UnwrapTls();
    Client->SetHost(Host);
    Client->SetPort(Port);
    BytesSent = 0;
    BytesReceived = 0;
    ForgetServerResize();
    // One deadline from the first connect attempt to the end of ServerInit: a server that
    // answers a byte at a time cannot stretch the set-up (and the GUI thread's wait) beyond it.
    FSetupDeadline = Deadline::Fixed(std::chrono::milliseconds(Limits.ConnectTimeoutMs), "the set-up deadline");
    Client->SetWriteTimeout(Limits.WriteTimeoutMs);
    Client->SetConnectTimeout(Limits.ConnectTimeoutMs);
    Client->Connect();
    Client->SetReadDeadline(FSetupDeadline);
    ExchangeProtocolVersion();
    NegotiateSecurity();
    ReadServerInit();
    // Within the session every server message sets its own limit as it starts.
    Client->SetReadDeadline(Deadline());
}

void TVNCProto::ExchangeProtocolVersion()
{
    const std::string greeting = Client->ReadLine(limits::kMaxGreetingLine);
    BytesReceived += greeting.size();
    if (greeting.compare(0, 4, "RFB ") != 0)
        throw ProtocolViolation("not an RFB server");
    const std::string versionText = greeting.substr(4, 10);
    std::string_view reply = kDefaultReply;
    ProtocolVersion = kRfb38;
    for (const auto& known : kVersionReplies) {
        if (versionText == known.text) {
            ProtocolVersion = known.version;
            reply = known.reply;
            break;
        }
    }
    Client->Write(reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
    BytesSent += reply.size();
}

std::string TVNCProto::ReadBoundedText(const char* what)
{
    const uint32_t length = Client->ReadU32();
    if (length > limits::kMaxSetupText)
        throw LimitExceeded(std::string(what) + " of " + std::to_string(length) + " bytes exceeds the limit");
    return Client->ReadText(length);
}

uint8_t TVNCProto::ChooseSecurityType()
{
    if (ProtocolVersion == kRfb33) {
        const uint32_t decided = Client->ReadU32();
        if (decided == 0)
            throw SessionRefused("server refused the connection: " + ReadBoundedText("reason text"));
        if (Encryption == kEncryptionRequire)
            throw SessionRefused(kNoEncryptionOffered);
        // Only 1, 2 and 21 are ours; anything wider than a byte is simply not one of them.
        if (decided != kSecurityNone && decided != kSecurityVncAuth && decided != kSecurityMd5Challenge)
            throw ProtocolViolation("unsupported security type " + std::to_string(decided));
        return static_cast<uint8_t>(decided);
    }
    const uint8_t count = Client->ReadU8();
    if (count == 0)
        throw SessionRefused("server refused the connection: " + ReadBoundedText("reason text"));
    std::array<uint8_t, 255> offered {};
    Client->ReadExact(offered.data(), count);
    const uint8_t* begin = offered.data();
    const uint8_t* end = begin + count;
    if (Encryption != kEncryptionOff && std::find(begin, end, kSecVeNCrypt) != end)
        return kSecVeNCrypt;
    if (Encryption == kEncryptionRequire)
        throw SessionRefused(kNoEncryptionOffered);
    for (const uint8_t preferred : kSecurityPreference) {
        if (std::find(begin, end, preferred) != end)
            return preferred;
    }
    throw ProtocolViolation("no supported security type offered");
}

void TVNCProto::NegotiateSecurity()
{
    const uint8_t type = ChooseSecurityType();
    SecurityType = type;
    if (ProtocolVersion != kRfb33)
        Client->Write(&type, 1);

    if (type == kSecurityNone) {
        // Without authentication a failure carries no reason worth waiting for.
        if (ProtocolVersion == kRfb38 && Client->ReadU32() != 0)
            throw SessionRefused("security handshake failed");
        return;
    }
    if (type == kSecVeNCrypt) {
        NegotiateVeNCrypt();
        ReadSecurityResult();
        return;
    }

    if (type == kSecurityVncAuth)
        VncAuthenticate();
    else
        Md5Authenticate();
    ReadSecurityResult();
}

void TVNCProto::ReadSecurityResult()
{
    if (Client->ReadU32() == 0)
        return;
    std::string error = "authentication failed";
    if (ProtocolVersion == kRfb38) {
        FailureReason = ReadBoundedText("reason text");
        if (!FailureReason.empty())
            error += ": " + FailureReason;
    }
    throw SessionRefused(error);
}

void TVNCProto::ReadServerInit()
{
    const uint8_t clientInitShared = 1;
    Client->Write(&clientInitShared, 1);

    const uint16_t width = Client->ReadU16();
    const uint16_t height = Client->ReadU16();
    // Refuse an absurd screen before reading further, let alone allocating for it.
    const int32_t side = std::min<int32_t>(Limits.MaxFramebufferSide, int32_t(limits::kMaxFramebufferSide));
    if (width > side || height > side)
        throw LimitExceeded("framebuffer of " + std::to_string(width) + " x " + std::to_string(height)
            + " exceeds the limit");
    FramebufferWidth = width;
    FramebufferHeight = height;
    BitsPerPixel = Client->ReadU8();
    Depth = Client->ReadU8();
    BigEndian = Client->ReadU8() != 0;
    TrueColor = Client->ReadU8() != 0;
    RedMax = Client->ReadU16();
    GreenMax = Client->ReadU16();
    BlueMax = Client->ReadU16();
    RedShift = Client->ReadU8();
    GreenShift = Client->ReadU8();
    BlueShift = Client->ReadU8();
    uint8_t padding[3];
    Client->ReadExact(padding, sizeof padding);
    DesktopName = ReadBoundedText("desktop name");

    AllocateFramebuffer();
    if (!ClientOpen())
        throw TransportError("server closed the connection after ServerInit");
    Initialised = true;
}

void TVNCProto::RequestPasswordIfEmpty()
{
    if (!Password.empty() || !OnPasswordRequest)
        return;
    // The user's typing is not the server's delay: the prompt's time is given back to the
    // set-up deadline.
    const auto opened = Deadline::Clock::now();
    Password = OnPasswordRequest();
    FSetupDeadline.Extend(Deadline::Clock::now() - opened);
    Client->SetReadDeadline(FSetupDeadline);
    // Cancelling the prompt disconnects the engine: nothing more is to be read.
    if (!ClientOpen())
        throw SessionRefused("authentication cancelled");
}

uint8_t TVNCProto::ReverseBits(uint8_t b)
{
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

void TVNCProto::DesEncrypt(const uint8_t* input, uint8_t* output, const uint8_t* key)
{
    DesBlock(input, output, key, true);
}

void TVNCProto::VncAuthenticate()
{
    RequestPasswordIfEmpty();
    std::array<uint8_t, 8> key {};
    for (size_t i = 0; i < key.size() && i < Password.size(); ++i)
        key[i] = ReverseBits(static_cast<uint8_t>(Password[i]));

    std::array<uint8_t, 8> firstHalf {}, secondHalf {};
    Client->ReadExact(firstHalf.data(), firstHalf.size());
    Client->ReadExact(secondHalf.data(), secondHalf.size());

    std::array<uint8_t, 16> response {};
    DesEncrypt(firstHalf.data(), response.data(), key.data());
    DesEncrypt(secondHalf.data(), response.data() + 8, key.data());
    std::fill(key.begin(), key.end(), 0);
    Client->Write(response.data(), response.size());
}

void TVNCProto::Md5Authenticate()
{
    RequestPasswordIfEmpty();
    std::string challengeAndPassword = ReadBoundedText("authentication challenge");
    challengeAndPassword += Password;
    const TMD5Digest digest = MD5String(challengeAndPassword);
    std::fill(challengeAndPassword.begin(), challengeAndPassword.end(), '\0');
    Client->Write(digest.data(), digest.size());
}

void TVNCProto::CloseQuietly() noexcept
{
    try {
        Client->Disconnect();
    } catch (...) {
        // Closing a socket has nothing left to report.
    }
}

void TVNCProto::Disconnect()
{
    if (Client->HasSocket())
        Client->Disconnect(); // calls ClientDisconnected through the transport's hook
    ResetSession();
    Client->ReleaseSocket();
    UnwrapTls();
}

void TVNCProto::ClientDisconnected()
{
    ResetSession();
}

void TVNCProto::ResetSession()
{
    // Not ready until a new set-up completes: the update cycle and every Send refuse.
    Initialised = false;
    // The next session announces its encodings again before its first update request.
    EncodingsSent = false;
    FArrival = {};
    // CopyRect is asked for again from the settings by whoever starts the next session.
    UseCopyRect = false;
    // Clipboard text and the desktop's name belonged to that server.
    CutText.clear();
    DesktopName.clear();
    ForgetServerResize();
    // The inflate streams continued that server's data; the next one starts its own.
    FCompression.Reset();
    // Kept on purpose: FailureReason (the window shows it after the session), Password, the
    // pixel format and the framebuffer (shown until the next session draws), the counters.
}

void TVNCProto::AdoptSession(int32_t width, int32_t height, bool trueColour, std::unique_ptr<ITransport> transport)
{
    if (transport) {
        UnwrapTls();
        Client->OnDisconnected = nullptr;
        Client = std::move(transport);
        Client->OnDisconnected = [this] { ClientDisconnected(); };
    }
    Client->SetWriteTimeout(Limits.WriteTimeoutMs);
    FramebufferWidth = std::clamp<int32_t>(width, 0, int32_t(limits::kMaxFramebufferSide));
    FramebufferHeight = std::clamp<int32_t>(height, 0, int32_t(limits::kMaxFramebufferSide));
    TrueColor = trueColour;
    BitsPerPixel = trueColour ? 32 : 8;
    Depth = trueColour ? 24 : 8;
    AllocateFramebuffer();
    ForgetServerResize();
    FCompression.Reset();
    Initialised = true;
    EncodingsSent = true;
}

void TVNCProto::ForgetServerResize()
{
    // What a server said of its screens and its resize support is its own.
    ServerCanResize = false;
    ServerScreens.clear();
    LastResizeStatus = -1;
    FFullUpdateDue = false;
    FResizeAnnounced = false;
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

TChangedRegion TVNCProto::TakeChangedRegion()
{
    const TChangedRegion changed = FChanged;
    FChanged.Clear();
    return changed;
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
    FChanged.AddAll(FramebufferWidth, FramebufferHeight);
}

bool TVNCProto::SaveFramebufferBitmap(const std::string& fileName) const
{
    // The file is always 24-bit and upright, whichever array is current: an indexed picture
    // goes through its colour table.
    const ImageView image = CurrentImage();
    if (image.empty())
        return false;
    return WriteBmp(fileName, image);
}

} // namespace zarn
