// What this machine charges for the viewer's idle cycle with nothing of the viewer around it: a
// pacing thread wakes every 50 ms and wakes a second thread through an eventfd, which tries one
// receive that finds nothing and sends a 10-byte request over loopback TCP to a reader in another
// process. Prints the CPU share of one core that costs, and the same without the second thread
// and without the send, so that bench/idle's figure can be read against the machine's own floor.
//   zarn_bench_pacing_floor [--seconds S]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(50);

enum class Cycle { WakeAndReceive, AlsoSend, HandedOverAndSent };

double ProcessCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A loopback connection whose far end is drained by a child process, as a server would be.
int ConnectToDrain(pid_t& drain)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0 || client < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(std::string("loopback connection: ") + std::strerror(errno));
    const int server = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    drain = ::fork();
    if (drain == 0) {
        ::close(client);
        char sink[4096];
        while (::recv(server, sink, sizeof sink, 0) > 0) { }
        ::_exit(0);
    }
    ::close(server);
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return client;
}

void Step(int socket, bool send)
{
    static const uint8_t request[10] = { 3, 1, 0, 0, 0, 0, 5, 0, 3, 32 };
    char nothing[64];
    ::recv(socket, nothing, sizeof nothing, MSG_DONTWAIT);
    if (send)
        ::send(socket, request, sizeof request, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The CPU share of one core over `cycles` cycles of the given kind.
double Measure(Cycle kind, int cycles)
{
    pid_t drain = -1;
    const int socket = ConnectToDrain(drain);
    const int wake = ::eventfd(0, 0);
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    if (kind == Cycle::HandedOverAndSent) {
        std::thread pacer([&] {
            auto next = start;
            for (int i = 0; i <= cycles; ++i) {
                next += kInterval;
                std::this_thread::sleep_until(next);
                const uint64_t one = 1;
                if (::write(wake, &one, sizeof one) < 0)
                    break;
            }
        });
        for (int i = 0; i < cycles; ++i) {
            pollfd p { wake, POLLIN, 0 };
            ::poll(&p, 1, -1);
            uint64_t count;
            if (::read(wake, &count, sizeof count) > 0)
                Step(socket, true);
        }
        pacer.join();
    } else {
        auto next = start;
        for (int i = 0; i < cycles; ++i) {
            next += kInterval;
            pollfd p { wake, POLLIN, 0 };
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
            ::poll(&p, 1, int(std::max<int64_t>(wait, 0)));
            Step(socket, kind == Cycle::AlsoSend);
        }
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(wake);
    ::close(socket);
    ::waitpid(drain, nullptr, 0);
    return 100 * cpu / wall;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    if (argc == 3 && !std::strcmp(argv[1], "--seconds"))
        seconds = std::max(1, std::atoi(argv[2]));
    const int cycles = seconds * 1000 / int(kInterval.count());
    try {
        std::printf("20 cycles a second for %d s, CPU share of one core:\n", seconds);
        std::printf("  one thread wakes, receives nothing:          %.2f %%\n", Measure(Cycle::WakeAndReceive, cycles));
        std::printf("  ... and sends a request:                     %.2f %%\n", Measure(Cycle::AlsoSend, cycles));
        std::printf("  a pacing thread hands that to a second one:  %.2f %%\n", Measure(Cycle::HandedOverAndSent, cycles));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarn_bench_pacing_floor: %s\n", e.what());
        return 1;
    }
    return 0;
}
