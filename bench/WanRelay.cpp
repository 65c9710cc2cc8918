// A slow link on loopback, for bench/wan: accepts one client on 127.0.0.1 and relays it to a
// server, delaying each direction by a fixed time and capping its rate, with a bounded queue so
// that a sender faster than the link is held back as a real link holds it back.
//   zarn_bench_relay --listen PORT --to PORT [--delay-ms 20] [--mbit 10]
// Prints, when the client leaves: bytes=N (server to client).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the link holds in flight beyond the delay: a router's queue.
constexpr size_t kQueueLimit = 256 * 1024;
constexpr size_t kPiece = 16 * 1024;

struct Options {
    int listen = 0;
    int to = 0;
    int delayMs = 20;
    double mbit = 10;
};

struct Piece {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

// One direction: a reader that queues what arrives with the time it may leave, a writer that
// sends it then, no faster than the rate.
class Direction {
public:
    Direction(int from, int to, const Options& options)
        : FFrom(from), FTo(to), FDelay(std::chrono::milliseconds(options.delayMs)),
          FBytesPerSecond(options.mbit * 1e6 / 8)
    {
    }

    void Read()
    {
        std::vector<uint8_t> buffer(kPiece);
        for (;;) {
            const ssize_t got = ::recv(FFrom, buffer.data(), buffer.size(), 0);
            std::unique_lock lock(FMutex);
            if (got <= 0) {
                FEnded = true;
                FChanged.notify_all();
                return;
            }
            FSpace.wait(lock, [this] { return FQueued < kQueueLimit || FClosed; });
            if (FClosed)
                return;
            FQueue.push_back({ Clock::now() + FDelay, { buffer.begin(), buffer.begin() + got } });
            FQueued += size_t(got);
            FChanged.notify_all();
        }
    }

    void Write()
    {
        Clock::time_point linkFree = Clock::now();
        for (;;) {
            Piece piece;
            {
                std::unique_lock lock(FMutex);
                FChanged.wait(lock, [this] { return !FQueue.empty() || FEnded; });
                if (FQueue.empty())
                    break;
                piece = std::move(FQueue.front());
                FQueue.pop_front();
                FQueued -= piece.bytes.size();
                FSpace.notify_all();
            }
            // Serialisation at the link's rate, then the propagation delay.
            const auto start = std::max(linkFree, piece.due - FDelay);
            linkFree = start
                + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(double(piece.bytes.size()) / FBytesPerSecond));
            std::this_thread::sleep_until(std::max(piece.due, linkFree + FDelay));
            if (::send(FTo, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL) != ssize_t(piece.bytes.size()))
                break;
            Sent += piece.bytes.size();
        }
        ::shutdown(FTo, SHUT_WR);
        std::lock_guard lock(FMutex);
        FClosed = true;
        FSpace.notify_all();
    }

    uint64_t Sent = 0;

private:
    int FFrom, FTo;
    Clock::duration FDelay;
    double FBytesPerSecond;
    std::mutex FMutex;
    std::condition_variable FChanged, FSpace;
    std::deque<Piece> FQueue;
    size_t FQueued = 0;
    bool FEnded = false;
    bool FClosed = false;
};

int ListenOn(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
        std::perror("zarn_bench_relay: listen");
        std::exit(1);
    }
    return fd;
}

int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("zarn_bench_relay: connect");
        std::exit(1);
    }
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--listen")
            options.listen = std::atoi(argv[i + 1]);
        else if (arg == "--to")
            options.to = std::atoi(argv[i + 1]);
        else if (arg == "--delay-ms")
            options.delayMs = std::atoi(argv[i + 1]);
        else if (arg == "--mbit")
            options.mbit = std::atof(argv[i + 1]);
    }
    if (options.listen <= 0 || options.to <= 0 || options.mbit <= 0) {
        std::fprintf(stderr, "usage: zarn_bench_relay --listen PORT --to PORT [--delay-ms 20] [--mbit 10]\n");
        return 2;
    }
    const int listener = ListenOn(options.listen);
    const int client = ::accept(listener, nullptr, nullptr);
    const int server = ConnectTo(options.to);
    for (const int fd : { client, server }) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    Direction down(server, client, options), up(client, server, options);
    std::thread threads[] = { std::thread([&] { down.Read(); }), std::thread([&] { down.Write(); }),
        std::thread([&] { up.Read(); }), std::thread([&] { up.Write(); }) };
    // The client leaving ends the upward direction; the server is then told, which ends the other.
    threads[2].join();
    threads[3].join();
    ::shutdown(server, SHUT_RDWR);
    threads[0].join();
    ::shutdown(client, SHUT_RDWR);
    threads[1].join();
    std::printf("bytes=%llu\n", static_cast<unsigned long long>(down.Sent));
    return 0;
}
