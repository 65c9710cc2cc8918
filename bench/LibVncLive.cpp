// libvncclient watching a live server for a while, for bench/wan: the comparison peer of
// zarnvnc-snap on the same link.
//   zarn_bench_libvnc_live --port P --seconds S --encodings "tight copyrect" [--quality Q]
// Prints: frames=N seconds=S (FramebufferUpdates handled, time watched).
#include <rfb/rfbclient.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int gFramesTag;

void Quiet(const char*, ...) { }

void CountFrame(rfbClient* client)
{
    ++*static_cast<unsigned long long*>(rfbClientGetClientData(client, &gFramesTag));
}

} // namespace

int main(int argc, char** argv)
{
    int port = 0, quality = -1;
    double seconds = 20;
    std::string encodings = "hextile copyrect";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--port")
            port = std::atoi(argv[i + 1]);
        else if (arg == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (arg == "--encodings")
            encodings = argv[i + 1];
        else if (arg == "--quality")
            quality = std::atoi(argv[i + 1]);
    }
    if (port <= 0) {
        std::fprintf(stderr, "usage: zarn_bench_libvnc_live --port P --seconds S --encodings LIST [--quality Q]\n");
        return 2;
    }
    rfbClientLog = rfbClientErr = Quiet;
    rfbClient* client = rfbGetClient(8, 3, 4);
    unsigned long long frames = 0;
    client->appData.encodingsString = strdup(encodings.c_str());
    client->appData.enableJPEG = quality >= 0;
    client->appData.qualityLevel = quality >= 0 ? quality : 0;
    client->appData.compressLevel = 2;
    client->serverHost = strdup("127.0.0.1");
    client->serverPort = port;
    client->canHandleNewFBSize = FALSE;
    rfbClientSetClientData(client, &gFramesTag, &frames);
    client->FinishedFrameBufferUpdate = CountFrame;
    int fakeArgc = 0;
    if (!rfbInitClient(client, &fakeArgc, nullptr)) {
        std::fprintf(stderr, "zarn_bench_libvnc_live: cannot connect\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(seconds));
    while (std::chrono::steady_clock::now() < end) {
        const int ready = WaitForMessage(client, 100 * 1000);
        if (ready < 0)
            break;
        if (ready > 0 && !HandleRFBServerMessage(client))
            break;
    }
    const double watched = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("frames=%llu seconds=%.2f\n", frames, watched);
    rfbClientCleanup(client);
    return 0;
}
