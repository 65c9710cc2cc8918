// Records what a real server sends, for the replay rows of the end-to-end benchmark.
//   zarn_bench_record --port P --out FILE [--mb MEGABYTES] [--seconds S]
//                     [--copyrect | --zrle | --tight | --tight-jpeg]
// Connects to 127.0.0.1:P without authentication, keeps the server's own pixel format (it must
// be 32-bit true colour, little-endian: what Xvnc at depth 24 uses) and asks for Raw only, or
// with --copyrect for CopyRect and Raw. Raw asks for the whole screen again and again; CopyRect
// asks incrementally, so something on the screen must move (bench/replay scrolls an xterm).
// --zrle, --tight (lossless, compression level 2) and --tight-jpeg (JPEG quality 8) ask
// incrementally for that encoding with CopyRect and Raw. Recording stops at MEGABYTES or after
// S seconds (default 120), whichever comes first.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "RecordedStream.h"
#include "platform/ByteOrder.h"

namespace zarn::bench {
namespace {

struct Options {
    int port = 0;
    std::string out;
    size_t megabytes = 50;
    bool copyRect = false;
    int32_t compressed = 0; // 16 ZRLE, 7 Tight
    bool jpeg = false;
    int seconds = 120;
};

class Connection {
public:
    explicit Connection(int port)
    {
        FFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval limit { 20, 0 };
        if (FFd < 0 || ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0
            || ::connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect to port " + std::to_string(port) + ": " + std::strerror(errno));
    }
    ~Connection() { ::close(FFd); }

    void Send(const Bytes& bytes)
    {
        if (::send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size()))
            throw std::runtime_error("sending to the server failed");
    }

    // Reads n bytes, appending them to `kept` when given.
    const uint8_t* Read(size_t n, Bytes* kept = nullptr)
    {
        FLast.resize(n);
        for (size_t got = 0; got < n;) {
            const ssize_t rc = ::recv(FFd, FLast.data() + got, n - got, 0);
            if (rc <= 0)
                throw std::runtime_error("the server closed or went quiet");
            got += size_t(rc);
        }
        if (kept)
            kept->insert(kept->end(), FLast.begin(), FLast.end());
        return FLast.data();
    }

private:
    int FFd = -1;
    Bytes FLast;
};

void PutU16(Bytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void PutU32(Bytes& out, uint32_t v)
{
    PutU16(out, v >> 16);
    PutU16(out, v);
}

// Version 3.8, security None, shared. Returns the screen size.
std::pair<int, int> Handshake(Connection& server)
{
    if (std::memcmp(server.Read(12), "RFB 003.", 8) != 0)
        throw std::runtime_error("not an RFB server");
    server.Send(Bytes { 'R', 'F', 'B', ' ', '0', '0', '3', '.', '0', '0', '8', '\n' });
    const uint8_t typeCount = *server.Read(1);
    const uint8_t* types = server.Read(typeCount);
    if (std::memchr(types, 1, typeCount) == nullptr)
        throw std::runtime_error("the server wants authentication; start it with -SecurityTypes None");
    server.Send(Bytes { 1 });
    if (LoadU32(server.Read(4)) != 0)
        throw std::runtime_error("the server refused the connection");
    server.Send(Bytes { 1 });
    const uint8_t* init = server.Read(24);
    const int width = LoadU16(init), height = LoadU16(init + 2);
    const uint8_t* format = init + 4;
    if (format[0] != 32 || format[2] != 0 || format[3] != 1)
        throw std::runtime_error("the server's pixel format is not 32-bit little-endian true colour");
    const uint32_t nameLength = LoadU32(init + 20);
    if (nameLength > 4096)
        throw std::runtime_error("the desktop name is too long");
    server.Read(nameLength);
    return { width, height };
}

void AskForUpdate(Connection& server, bool incremental, int width, int height)
{
    Bytes request { 3, uint8_t(incremental) };
    PutU16(request, 0);
    PutU16(request, 0);
    PutU16(request, uint32_t(width));
    PutU16(request, uint32_t(height));
    server.Send(request);
}

// Reads one server message into `recording`; true when it was a FramebufferUpdate.
bool RecordMessage(Connection& server, Bytes& recording, int screenWidth, int screenHeight)
{
    const uint8_t type = *server.Read(1, &recording);
    if (type == 2)
        return false;
    if (type == 3) {
        server.Read(3, &recording);
        const uint32_t length = LoadU32(server.Read(4, &recording));
        if (length > (1u << 24))
            throw std::runtime_error("the server sent " + std::to_string(length) + " bytes of clipboard text");
        server.Read(length, &recording);
        return false;
    }
    if (type != 0)
        throw std::runtime_error("unexpected server message " + std::to_string(type));
    const uint16_t rectangles = LoadU16(server.Read(3, &recording) + 1);
    for (uint16_t r = 0; r < rectangles; ++r) {
        const uint8_t* header = server.Read(12, &recording);
        const int x = LoadU16(header), y = LoadU16(header + 2);
        const size_t width = LoadU16(header + 4), height = LoadU16(header + 6);
        if (x + width > size_t(screenWidth) || y + height > size_t(screenHeight))
            throw std::runtime_error("the server sent a rectangle outside the screen");
        const int32_t encoding = int32_t(LoadU32(header + 8));
        if (encoding == 0)
            server.Read(width * height * 4, &recording);
        else if (encoding == 1)
            server.Read(4, &recording);
        else
            SkipCompressedRectangle(
                [&](size_t n) { return server.Read(n, &recording); }, encoding, width, height);
    }
    return true;
}

void Record(const Options& options)
{
    Connection server(options.port);
    const auto [width, height] = Handshake(server);
    std::vector<int32_t> list;
    if (options.compressed)
        list.push_back(options.compressed);
    if (options.copyRect || options.compressed)
        list.push_back(1);
    list.push_back(0);
    if (options.compressed == 7)
        list.push_back(-256 + 2);
    if (options.jpeg)
        list.push_back(-32 + 8);
    Bytes encodings { 2, 0 };
    PutU16(encodings, uint32_t(list.size()));
    for (const int32_t encoding : list)
        PutU32(encodings, uint32_t(encoding));
    server.Send(encodings);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);

    Bytes recording(kRecordingMagic, kRecordingMagic + sizeof kRecordingMagic - 1);
    PutU16(recording, uint32_t(width));
    PutU16(recording, uint32_t(height));
    const size_t target = options.megabytes * 1000 * 1000;
    bool incremental = false; // the first picture is whole in either mode
    while (recording.size() < target && std::chrono::steady_clock::now() < stop) {
        AskForUpdate(server, incremental, width, height);
        while (!RecordMessage(server, recording, width, height)) { }
        incremental = options.copyRect || options.compressed;
    }
    std::ofstream file(options.out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(recording.data()), std::streamsize(recording.size()));
    if (!file.flush())
        throw std::runtime_error("cannot write " + options.out);
    LoadRecordedStream(options.out); // the replay must understand what was saved
}

} // namespace
} // namespace zarn::bench

int main(int argc, char** argv)
{
    zarn::bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--copyrect")
            options.copyRect = true;
        else if (arg == "--zrle")
            options.compressed = 16;
        else if (arg == "--tight")
            options.compressed = 7;
        else if (arg == "--tight-jpeg")
            options.compressed = 7, options.jpeg = true;
        else if (arg == "--seconds" && i + 1 < argc)
            options.seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--port" && i + 1 < argc)
            options.port = std::atoi(argv[++i]);
        else if (arg == "--out" && i + 1 < argc)
            options.out = argv[++i];
        else if (arg == "--mb" && i + 1 < argc)
            options.megabytes = size_t(std::max(1, std::atoi(argv[++i])));
        else
            options.port = 0;
    }
    if (options.port <= 0 || options.out.empty()) {
        std::fprintf(stderr, "usage: zarn_bench_record --port P --out FILE [--mb MEGABYTES] [--seconds S] "
                             "[--copyrect | --zrle | --tight | --tight-jpeg]\n");
        return 2;
    }
    try {
        zarn::bench::Record(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarn_bench_record: %s\n", e.what());
        return 1;
    }
    return 0;
}
