#pragma once
// TVNCProto: the protocol engine. One object per main window serves every connection of the
// run. It speaks RFB 3.3/3.7/3.8 through an ITransport, keeps the framebuffer, and is used
// from one thread only (the GUI thread); the frame update thread reaches it through a
// synchronous hand-over.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageView.h"
#include "protocol/ChangedRegion.h"
#include "protocol/CompactPixels.h"
#include "protocol/EncodingList.h"
#include "platform/Deadline.h"
#include "platform/KeyboardState.h"
#include "platform/Transport.h"
#include "protocol/Limits.h"
#include "protocol/VeNCrypt.h"

namespace zarn {

class TlsTransport;

// Values of TVNCProto::ProtocolVersion.
enum : uint8_t { kRfb33 = 0, kRfb37 = 1, kRfb38 = 2 };

// Modifier flags passed with a key (only Control influences the translation).
enum TShiftFlag : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = uint8_t;

// Device-independent-bitmap header that describes the framebuffer arrays.
struct TBitmapInfoHeader {
    uint32_t biSize = 44;   // header plus the 4 unused bytes: where the colour table starts
    int32_t biWidth = 0;
    int32_t biHeight = 0;   // positive: bottom-up, drawn flipped
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 200;
    int32_t biYPelsPerMeter = 200;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// One screen of the server's layout, as an ExtendedDesktopSize rectangle describes it. The id
// and flags are the server's and go back unchanged in a SetDesktopSize.
struct TScreen {
    uint32_t Id = 0;
    uint16_t X = 0, Y = 0, Width = 0, Height = 0;
    uint32_t Flags = 0;
};

struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    uint8_t Unused[4] = {0, 0, 0, 0};
    TRGBQuad bmiColors[256] = {};
};

class TVNCProto {
public:
    using TPasswordRequest = std::function<std::string()>;

    // Create: with no transport given, the engine owns a TcpClient.
    explicit TVNCProto(std::unique_ptr<ITransport> client = nullptr);
    ~TVNCProto();   // Destroy
    TVNCProto(const TVNCProto&) = delete;
    TVNCProto& operator=(const TVNCProto&) = delete;

    // ---- fields (public: the window, dialogs and tests read and write them directly) ----
    std::unique_ptr<ITransport> Client;
    std::string Host;
    int32_t Port = 0;               // written only through SetPort
    std::string Password;
    uint8_t ProtocolVersion = kRfb38;
    int32_t FramebufferWidth = 0;
    int32_t FramebufferHeight = 0;
    int32_t BitsPerPixel = 0;
    int32_t Depth = 0;
    bool BigEndian = false;
    bool TrueColor = false;
    int32_t RedMax = 0, GreenMax = 0, BlueMax = 0;
    int32_t RedShift = 0, GreenShift = 0, BlueShift = 0;
    std::string DesktopName;
    std::string CutText;
    bool ShareClipboard = true;
    uint16_t LastShiftKeySym = 0;
    uint16_t LastCtrlKeySym = 0;
    uint16_t LastAltKeySym = 0;
    std::string FailureReason;
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
    uint64_t FramesReceived = 0;
    // Of those, the ones of nothing but the desktop's size and layout (servers answer the first
    // full request with one): they answer a request but carry no picture.
    uint64_t LayoutOnlyUpdates = 0;
    uint64_t RectsReceived = 0;   // rectangle headers read; never reset, like FramesReceived
    TPasswordRequest OnPasswordRequest;
    TBitmapInfo BitmapInfo;
    std::vector<uint32_t> Pixels32;
    std::vector<uint8_t> Pixels8;
    bool Initialised = false;
    bool EncodingsSent = false;
    bool UseCopyRect = false;
    bool UseRRE = false;
    bool UseHextile = false;
    // Extensions beyond the classic encodings; all off by default, which keeps the classic bytes.
    bool UseZRLE = false;
    bool UseTight = false;
    int JpegQuality = -1;      // 0..9 while JPEG is wanted (Tight), else -1
    int CompressLevel = -1;    // 0..9 (Tight), else -1
    bool UseDesktopResize = false;

    // ---- desktop size changes (only while UseDesktopResize was announced) ----
    // Size changes the server made; never reset, like FramesReceived.
    uint64_t ResizesReceived = 0;
    // The server has sent an ExtendedDesktopSize rectangle in this session, so it takes
    // SetDesktopSize requests.
    bool ServerCanResize = false;
    // The server's screen layout from its last ExtendedDesktopSize rectangle.
    std::vector<TScreen> ServerScreens;
    // The status code of the server's last answer to our SetDesktopSize (0 accepted; 1
    // prohibited, 2 out of resources, 3 invalid layout, others unknown), -1 before any answer.
    int LastResizeStatus = -1;

    // What the window (or a headless tool) installs; all may be empty.
    struct THooks {
        std::function<void()> OnBell;                                // Bell message
        std::function<void(const std::string&)> OnServerCutText;   // only while ShareClipboard
        // A send failed on the connection (it is closed now): the text says why. Called once per
        // failure, after the engine is back in a clean state, so that the user learns of it.
        std::function<void(const std::string& why)> OnSendFailed;
        // Asked for what the Plain sub-types need that UserName and Password do not hold yet;
        // false cancels. The time it takes does not count against the set-up deadline. Without
        // it the password comes from OnPasswordRequest and the user name is UserName as it stands.
        std::function<bool(std::string& userName, std::string& password)> OnCredentialsRequest;
        // The fingerprint the user chose to trust for a host and port (64 hex digits), empty
        // when none.
        std::function<std::string(const std::string& host, int32_t port)> OnTrustedFingerprint;
        // A certificate that verified neither against the authorities nor by its stored
        // fingerprint: what to do. Its time does not count against the set-up deadline. Without
        // the hook such a certificate is refused.
        std::function<TCertificateDecision(const TCertificateInfo&)> OnCertificateCheck;
        // Called after OnCertificateCheck answered AlwaysTrust: store the fingerprint.
        std::function<void(const std::string& host, int32_t port, const std::string& sha256)> OnTrustCertificate;
        // The framebuffer has just been allocated anew at a size the server announced (cleared;
        // the rest of the update is drawn at the new size). Called in the middle of the update
        // cycle; it must not call back into the cycle.
        std::function<void()> OnDesktopResized;
    };
    THooks Hooks;
    KeyboardState* Keyboard = nullptr;                           // not owned; null = no keys down, no text
    // Why the last RequestUpdate failed (a stalled or closed connection, an unknown message, a
    // limit exceeded); empty after a cycle that succeeded. LastError holds the same text.
    std::string CycleError;

    // ---- encryption (VeNCrypt) ----
    // kEncryptionOff, kEncryptionPrefer or kEncryptionRequire (VeNCrypt.h); read by Connect.
    int Encryption = kEncryptionPrefer;
    // Plain and TLSPlain/X509Plain send a user name with the password.
    std::string UserName;
    // A PEM bundle of authorities trusted besides the system's, for the X509 sub-types.
    std::string CaFile;
    // How long the engine waits and how much it accepts (README's table of limits explains
    // them; tests and the fuzzer shorten them, the checks stay the same).
    struct TLimits {
        // The whole set-up, from the first connect attempt to the end of ServerInit, not
        // counting the time the password prompt is open. 0 removes the bound.
        int ConnectTimeoutMs = limits::kSetupDeadlineMs;
        // A write that makes no progress for this long fails (and ends the connection).
        int WriteTimeoutMs = limits::kWriteTimeoutMs;
        // Within a session every MessageStepBytes of a server message must arrive within
        // MessageWindowMs of the previous step (or of the message's start).
        int MessageWindowMs = limits::kMessageWindowMs;
        size_t MessageStepBytes = limits::kMessageStepBytes;
        // Longest an update cycle keeps handling messages before it stops at a message boundary.
        int CycleBudgetMs = limits::kMinCycleBudgetMs;
        // Largest framebuffer side ServerInit may announce.
        int32_t MaxFramebufferSide = int32_t(limits::kMaxFramebufferSide);
    };
    TLimits Limits;

    // ---- diagnostics ----
    // The security type the last Connect settled on (1, 2, 19 or 21); 0 when none was agreed.
    uint8_t SecurityType = 0;
    // With SecurityType 19: the VeNCrypt sub-type chosen (TVeNCryptSubType), else 0.
    uint32_t VeNCryptSubType = 0;
    // With a TLS sub-type: "TLS1.2, TLS_ECDHE_…": the protocol version and cipher suite in use.
    std::string EncryptionInfo;
    // The certificate of the last X509 session (empty fingerprint for the others).
    TCertificateInfo ServerCertificate;
    // Why the last failing entry point (Connect, RequestUpdate, a Send) failed, for tools and
    // logs; the window shows only FailureReason. Connect empties it when it succeeds.
    std::string LastError;

    // ---- session set-up ----
    void SetPort(int32_t port);
    bool Connect(const std::string& host = std::string(), int32_t port = -1);
    void Disconnect();
    // The transport's hook: the connection closed (by either side).
    void ClientDisconnected();
    // Takes over an open transport (when given) as a session already past ServerInit and
    // SetEncodings, with a framebuffer of the given size and pixel mode. For tests, the fuzzer
    // and benchmarks, which feed the update cycle without a handshake.
    void AdoptSession(int32_t width, int32_t height, bool trueColour, std::unique_ptr<ITransport> transport = nullptr);

    // ---- update cycle ----
    bool IsReady();
    // After a size change the next request asks for the whole new screen, non-incrementally,
    // whatever region and mode the caller gives.
    bool RequestUpdate(uint16_t x, uint16_t y, uint16_t width, uint16_t height, bool incremental);
    void DrainInput();
    // Handles every server message whose bytes have begun to arrive, in the current pixel
    // mode, without asking the server for anything; a message that has begun is read to its
    // end, so the stream is left at a message boundary. False (with CycleError) when the
    // connection failed.
    bool HandleArrivedMessages();

    // ---- client messages ----
    // Each sends nothing and returns false unless the engine is ready (SendSetEncodings and
    // SendClientCutText: unless the connection is open). A failing write is caught here: the
    // connection is closed (a half-written message has put it out of step), LastError says
    // why and the result is false.
    bool SendSetPixelFormat();
    bool SendSetEncodings();
    // The choice SendSetEncodings announces, from the Use… fields and levels above.
    TEncodingChoice Encodings() const;
    bool SendKeyEvent(uint16_t key, TShiftState modifiers, bool down);
    // Sends `keySym` as it stands, with no translation: for keys the local keyboard layer
    // already knows the keysym of (characters outside Latin-1, dead keys, AltGr). False and
    // nothing sent while not IsReady.
    bool SendKeySym(uint32_t keySym, bool down);
    bool SendPointerEvent(uint8_t buttonMask, uint16_t x, uint16_t y);
    bool SendClientCutText(const std::string& text);
    std::string VirtualKeyToChar(uint16_t virtualKey);
    // Asks the server to make its desktop width x height: one screen covering it, keeping the
    // id and flags of the server's first screen. False and nothing sent unless ready, the
    // server has shown with an ExtendedDesktopSize rectangle that it takes the request, and
    // both sides are within 1..the framebuffer limit.
    bool SendSetDesktopSize(uint16_t width, uint16_t height);
    // The messages that open a session once Connect has succeeded, in the order the server
    // needs them: SetEncodings, SetPixelFormat for `trueColor`, then releases of the six
    // modifier keysyms so no key stays stuck from an earlier session. False when SetEncodings
    // or SetPixelFormat could not be sent.
    bool StartSession(bool trueColor);

    // ---- framebuffer ----
    // The current array (Pixels32 when TrueColor, else Pixels8 with the colour table), for
    // drawing without a copy. Valid until the next AllocateFramebuffer.
    ImageView CurrentImage() const;
    // What the framebuffer updates, colour-map changes and pixel-mode switches have changed
    // since the last call, which empties it: the paint step draws only that.
    TChangedRegion TakeChangedRegion();

    // ---- how fast the link delivers ----
    // Update data that had not arrived yet when its FramebufferUpdate began, and the time those
    // messages took to read, summed over the updates since the last call, which empties it.
    struct TArrival {
        uint64_t Bytes = 0;
        uint64_t Micros = 0;
    };
    TArrival TakeArrival();
    bool SaveFramebufferBitmap(const std::string& fileName) const;

    // ---- VNC Authentication helpers ----
    static uint8_t ReverseBits(uint8_t b);
    static void DesEncrypt(const uint8_t* input, uint8_t* output, const uint8_t* key);

private:
    // What ending a session clears, shared by Disconnect and ClientDisconnected.
    void ResetSession();
    void AllocateFramebuffer();
    // The message handlers of the update cycle.
    void HandleFramebufferUpdate32();
    void HandleFramebufferUpdate8();
    void HandleSetColourMapEntries();
    void HandleBell();
    void HandleServerCutText();

    // Set-up steps of Connect; each throws on failure (EngineErrors.h, TransportError).
    void RunSetup();
    void ExchangeProtocolVersion();
    uint8_t ChooseSecurityType();
    void NegotiateSecurity();
    void VncAuthenticate();
    void Md5Authenticate();
    void ReadSecurityResult();
    void ReadServerInit();
    // VeNCrypt (VeNCrypt.cpp): version, sub-type, TLS, then the inner authentication.
    void NegotiateVeNCrypt();
    uint32_t SelectVeNCryptSubType();
    void StartTls(uint32_t subType);
    void CheckCertificate();
    void PlainAuthenticate();
    // Puts the plain transport back in Client once a TLS session is over.
    void UnwrapTls();
    std::string ReadBoundedText(const char* what);
    void RequestPasswordIfEmpty();
    void CloseQuietly() noexcept;
    // Runs one Send: false (nothing sent) unless `ready`; a failure closes the connection.
    template <typename Write>
    bool Send(bool ready, Write write);
    void HandleMessage(uint8_t type);

    template <typename Pixel>
    void HandleFramebufferUpdate();
    // A DesktopSize or ExtendedDesktopSize rectangle; true when the framebuffer was allocated
    // anew (the rest of the update then draws into the new arrays).
    bool HandleDesktopSize(int32_t encoding, int x, int y, int width, int height);
    void ResizeFramebuffer(int width, int height);
    // Whether the server may send the size pseudo-encodings: once announced in a session they
    // stay understood, since a server may still send them after a SetEncodings without them.
    void ForgetServerResize();
    bool ResizeAnnounced() const { return UseDesktopResize || FResizeAnnounced; }
    void HandleBufferedMessages();
    // The one place a cycle's failures are caught: false with CycleError (and LastError) set.
    template <typename Step> bool RunCycle(Step step);
    bool ClientOpen() const;

    std::vector<uint8_t> FReadBuffer;   // reused by every sized read of the update cycle
    TChangedRegion FChanged;
    TArrival FArrival;
    TCompressionState FCompression;      // ZRLE's and Tight's streams, reset by every new connection
    Deadline FSetupDeadline;             // of the Connect in progress
    TlsTransport* FTls = nullptr;        // Client while it is a TLS layer, else null
    bool FFullUpdateDue = false;         // a size change wants the next request non-incremental
    bool FResizeAnnounced = false;       // SetEncodings of this session announced the size encodings
};

} // namespace zarn
