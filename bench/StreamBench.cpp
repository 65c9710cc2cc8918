// End-to-end benchmark: a scripted server streams a fixed set of updates over loopback as fast
// as the socket takes them; this project's engine decodes them, then libvncclient decodes the
// very same bytes, in turn, several rounds. Prints wire MB/s, framebuffer MB/s (what CopyRect
// is about: its wire data is tiny), the client thread's CPU seconds and the ratios (theirs over
// ours: above 1 we are faster), each the median of the rounds. The wall-clock ratio is what
// the bars are about; the CPU ratio says more on a machine busy with other work.
//
//   zarn_bench_stream [--rounds N] [--mb MEGABYTES] [--only TEXT] [--zarn-only] [--sendfile] [--replay FILE]...
// --sendfile has the server send with sendfile(2), as fast as the kernel goes, instead of
// blocking sends; --only runs the streams whose name contains TEXT; --zarn-only leaves libvncclient out (for
// profiling our side alone); --replay runs streams recorded from a real server
// (zarn_bench_record) instead of the built ones.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ClientRuns.h"
#include "RecordedStream.h"
#include "StreamServer.h"

namespace zarn::bench {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

struct Options {
    int rounds = 3;
    size_t megabytes = 40;
    std::string only;
    bool zarnOnly = false;
    std::vector<std::string> replays;
};

struct Summary {
    std::string error;
    double seconds = 0;
    double cpuSeconds = 0;
    bool pictureMatches = true;
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sendfile")) {
            StreamServer::SenderMode = StreamServer::Sender::Sendfile;
            continue;
        }
        if (!std::strcmp(argv[i], "--zarn-only")) {
            options.zarnOnly = true;
            continue;
        }
        if (i + 1 == argc)
            break;
        if (!std::strcmp(argv[i], "--rounds"))
            options.rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--mb"))
            options.megabytes = size_t(std::max(1, std::atoi(argv[i + 1])));
        else if (!std::strcmp(argv[i], "--only"))
            options.only = argv[i + 1];
        else if (!std::strcmp(argv[i], "--replay"))
            options.replays.push_back(argv[i + 1]);
        ++i;
    }
    return options;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Folds the rounds of one client into one line: the first error, medians otherwise.
Summary Summarise(const std::vector<ClientRun>& runs)
{
    Summary summary;
    std::vector<double> seconds, cpu;
    for (const auto& run : runs) {
        if (!run.error.empty() && summary.error.empty())
            summary.error = run.error;
        summary.pictureMatches = summary.pictureMatches && run.pictureMatches;
        seconds.push_back(run.seconds);
        cpu.push_back(run.cpuSeconds);
    }
    summary.seconds = Median(seconds);
    summary.cpuSeconds = Median(cpu);
    return summary;
}

std::vector<BenchStream> LoadReplays(const Options& options)
{
    std::vector<BenchStream> streams;
    for (const auto& path : options.replays) {
        streams.push_back(LoadRecordedStream(path));
        streams.back().name = "replay " + streams.back().name;
    }
    return streams;
}

std::vector<BenchStream> MakeStreams(const Options& options)
{
    if (!options.replays.empty())
        return LoadReplays(options);
    const size_t target = options.megabytes * 1000 * 1000;
    auto wanted = [&](const char* kind, bool trueColour) {
        const std::string name = std::string(kind) + (trueColour ? " 32-bit" : " 8-bit");
        return options.only.empty() || name.find(options.only) != std::string::npos;
    };
    std::vector<BenchStream> streams;
    for (const bool trueColour : { true, false }) {
        for (const Encoding encoding :
            { Encoding::Raw, Encoding::CopyRect, Encoding::RRE, Encoding::Hextile }) {
            if (wanted(EncodingName(encoding), trueColour))
                streams.push_back(MakeEncodingStream(encoding, trueColour, kWidth, kHeight, target));
        }
        if (wanted("mixed", trueColour))
            streams.push_back(MakeMixedStream(trueColour, kWidth, kHeight, target));
    }
    return streams;
}

// The speed the bars ask of us relative to libvncclient: Raw and CopyRect (and their recordings)
// are bound by the loopback and memcpy, so parity; the others have room for a better decoder.
double Bar(const std::string& name)
{
    // Recorded compressed streams: inflating and JPEG decoding leave room for a better decoder.
    if (name.rfind("replay", 0) == 0 && name.find("jpeg") != std::string::npos)
        return 1.2;
    if (name.rfind("replay", 0) == 0 && (name.find("zrle") != std::string::npos || name.find("tight") != std::string::npos))
        return 1.5;
    for (const char* prefix : { "Raw", "CopyRect", "replay" })
        if (name.rfind(prefix, 0) == 0)
            return 1.0;
    return 2.0;
}

void PrintHeader(bool withLibVnc)
{
    std::printf("%-17s %7s %8s | %9s %9s %6s %s", "stream", "wire MB", "fb MB", "wire MB/s", "fb MB/s",
        "CPU s", withLibVnc ? "| libvnc MB/s  CPU s |  ratio  bar   | CPU ratio\n" : "\n");
}

std::string Status(const Summary& s)
{
    if (!s.error.empty())
        return "FAILED: " + s.error;
    return s.pictureMatches ? "" : "WRONG PICTURE";
}

void PrintLine(const BenchStream& stream, const Summary& ours, const Summary* theirs)
{
    const double wireMb = double(stream.bytes.size()) / 1e6, fbMb = double(stream.pixelBytes) / 1e6;
    std::printf("%-17s %7.1f %8.1f | %9.0f %9.0f %6.3f ", stream.name.c_str(), wireMb, fbMb,
        wireMb / ours.seconds, fbMb / ours.seconds, ours.cpuSeconds);
    if (theirs) {
        const double ratio = theirs->seconds / ours.seconds;
        std::printf("| %11.0f %6.3f | %5.2fx  %-5s | %5.2fx", wireMb / theirs->seconds, theirs->cpuSeconds,
            ratio, ratio >= Bar(stream.name) ? "ok" : "BELOW", theirs->cpuSeconds / ours.cpuSeconds);
        const std::string status = Status(*theirs);
        if (!status.empty())
            std::printf("  libvncclient %s", status.c_str());
    }
    const std::string status = Status(ours);
    if (!status.empty())
        std::printf("  zarn %s", status.c_str());
    std::printf("\n");
}

} // namespace
} // namespace zarn::bench

int main(int argc, char** argv)
{
    using namespace zarn::bench;
    const Options options = ParseOptions(argc, argv);
    const bool withLibVnc = LibVncClientAvailable() && !options.zarnOnly;
    std::printf("End-to-end over loopback, %s, median of %d rounds; ratio = libvncclient time / ours%s\n",
        options.replays.empty() ? (std::to_string(kWidth) + "x" + std::to_string(kHeight)).c_str()
                                : "recorded streams",
        options.rounds,
        withLibVnc ? (" (libvncclient " + LibVncClientVersion() + ")").c_str()
                   : " (libvncclient not built in)");
    std::printf("Sender: %s\n",
        StreamServer::SenderMode.load() == StreamServer::Sender::Sendfile ? "sendfile(2) from a memory file"
                                                                           : "blocking send(2)");
    std::fflush(stdout);
    std::vector<BenchStream> streams;
    try {
        streams = MakeStreams(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarn_bench_stream: %s\n", e.what());
        return 1;
    }
    PrintHeader(withLibVnc);
    bool allGood = true;
    for (const auto& stream : streams) {
        std::vector<ClientRun> ours, theirs;
        for (int round = 0; round < options.rounds; ++round) {
            ours.push_back(RunZarnClient(stream));
            if (withLibVnc)
                theirs.push_back(RunLibVncClient(stream));
        }
        const Summary oursSummary = Summarise(ours);
        const Summary theirsSummary = withLibVnc ? Summarise(theirs) : Summary {};
        PrintLine(stream, oursSummary, withLibVnc ? &theirsSummary : nullptr);
        std::fflush(stdout);
        allGood = allGood && Status(oursSummary).empty();
    }
    return allGood ? 0 : 1;
}
