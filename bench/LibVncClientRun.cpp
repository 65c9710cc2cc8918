// libvncclient as the comparison client: the same stream, from the same kind of server, in the
// same run. Built only when the library is installed (Debian libvncserver-dev).
#include <cstdlib>
#include <cstring>

#include "ClientRuns.h"
#include "StreamServer.h"

#ifdef ZARN_BENCH_HAVE_LIBVNCCLIENT
#include <rfb/rfbclient.h>
#endif

namespace zarn::bench {

#ifndef ZARN_BENCH_HAVE_LIBVNCCLIENT

bool LibVncClientAvailable()
{
    return false;
}

std::string LibVncClientVersion()
{
    return {};
}

ClientRun RunLibVncClient(const BenchStream&)
{
    return { "built without libvncclient" };
}

#else

namespace {

int gFramesTag; // its address tags the frame counter in the client's data

void Quiet(const char*, ...) { }

void CountFrame(rfbClient* client)
{
    ++*static_cast<uint64_t*>(rfbClientGetClientData(client, &gFramesTag));
}

rfbClient* MakeClient(const BenchStream& stream, int port, uint64_t* frames)
{
    rfbClientLog = rfbClientErr = Quiet;
    rfbClient* client = stream.trueColour ? rfbGetClient(8, 3, 4) : rfbGetClient(8, 1, 1);
    if (!stream.trueColour) {
        client->format.trueColour = FALSE;
        client->format.depth = 8;
    } else {
        // The streams' own layout (Xvnc's and this engine's): Tight's 3-byte pixels, which come
        // in red, green, blue order, land in the same bytes for both clients.
        client->format.redShift = 16;
        client->format.greenShift = 8;
        client->format.blueShift = 0;
    }
    client->appData.encodingsString = "hextile rre copyrect raw";
    client->serverHost = strdup("127.0.0.1");
    client->serverPort = port;
    client->canHandleNewFBSize = FALSE;
    rfbClientSetClientData(client, &gFramesTag, frames);
    client->FinishedFrameBufferUpdate = CountFrame;
    return client;
}

std::string DecodeStream(rfbClient* client, const BenchStream& stream, const uint64_t& frames)
{
    if (stream.colourMapBytes > 0) {
        // libvncclient 0.9.14 does not read a SetColourMapEntries message to its end, which
        // throws it out of step; the benchmark, as the application, consumes it itself.
        std::vector<char> colourMap(stream.colourMapBytes);
        if (!ReadFromRFBServer(client, colourMap.data(), unsigned(colourMap.size())))
            return "reading the colour map failed";
    }
    while (frames < stream.updates) {
        if (client->buffered == 0) {
            const int ready = WaitForMessage(client, 20 * 1000 * 1000);
            if (ready <= 0)
                return "no data from the server";
        }
        if (!HandleRFBServerMessage(client))
            return "message handling failed";
    }
    return {};
}

} // namespace

bool LibVncClientAvailable()
{
    return true;
}

std::string LibVncClientVersion()
{
    return LIBVNCSERVER_VERSION;
}

ClientRun RunLibVncClient(const BenchStream& stream)
{
    ClientRun run;
    StreamServer server(stream);
    uint64_t frames = 0;
    rfbClient* client = MakeClient(stream, server.Port(), &frames);
    if (!rfbInitClient(client, nullptr, nullptr)) { // frees the client on failure
        run.error = "connect failed";
        server.Finish();
        return run;
    }
    const double cpuStart = ThreadCpuSeconds();
    run.error = DecodeStream(client, stream, frames);
    const auto end = StreamServer::Clock::now();
    run.cpuSeconds = ThreadCpuSeconds() - cpuStart;

    uint8_t* picture = client->frameBuffer; // not freed by the clean-up
    const size_t pictureBytes = size_t(client->width) * size_t(client->height) * (stream.trueColour ? 4 : 1);
    rfbClientCleanup(client);
    const std::string serverError = server.Finish();
    if (run.error.empty())
        run.error = serverError;
    run.seconds = std::chrono::duration<double>(end - server.StreamStart()).count();
    run.pictureMatches = picture && SamePicture(stream, picture, pictureBytes);
    std::free(picture);
    return run;
}

#endif

} // namespace zarn::bench
