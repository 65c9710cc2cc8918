#include <cstring>
#include <ctime>
#include <thread>

#include "ClientRuns.h"
#include "StreamServer.h"
#include "protocol/VNCProto.h"

namespace zarn::bench {

double ThreadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool SamePicture(const BenchStream& stream, const uint8_t* picture, size_t bytes)
{
    if (bytes != stream.finalPicture.size())
        return false;
    if (!stream.compressed)
        return std::memcmp(picture, stream.finalPicture.data(), bytes) == 0;
    // The fourth byte of a 32-bit pixel is unused; decoders of 3-byte pixels fill it as they like.
    for (size_t i = 0; i < bytes; i += 4)
        if (std::memcmp(picture + i, stream.finalPicture.data() + i, 3) != 0)
            return false;
    return true;
}

ClientRun RunZarnClient(const BenchStream& stream)
{
    ClientRun run;
    StreamServer server(stream);
    TVNCProto proto;
    proto.UseCopyRect = proto.UseRRE = proto.UseHextile = true;
    if (!proto.Connect("127.0.0.1", server.Port())) {
        run.error = "connect failed: " + proto.FailureReason;
        return run;
    }
    const double cpuStart = ThreadCpuSeconds();
    // The session starts as the window starts it; then update cycles back to back, with no
    // frame pacing, until every update of the stream has been handled. A new request goes out
    // once the last one was answered, as a paced viewer under a stream of updates sends one per
    // frame; a cycle in between only handles what arrived. A cycle that found nothing yields
    // the processor, as the pacing thread would sleep: on a busy machine a spinning client would
    // otherwise take the time the server needs to feed it.
    proto.StartSession(stream.trueColour);
    const uint64_t lastFrame = proto.FramesReceived + stream.updates;
    uint64_t framesWhenAsked = proto.FramesReceived;
    bool ok = proto.RequestUpdate(0, 0, uint16_t(stream.width), uint16_t(stream.height), true);
    while (ok && proto.FramesReceived < lastFrame) {
        const uint64_t receivedBefore = proto.BytesReceived;
        if (proto.FramesReceived != framesWhenAsked) {
            framesWhenAsked = proto.FramesReceived;
            ok = proto.RequestUpdate(0, 0, uint16_t(stream.width), uint16_t(stream.height), true);
        } else {
            ok = proto.HandleArrivedMessages();
        }
        if (proto.BytesReceived == receivedBefore)
            std::this_thread::yield();
    }
    if (!ok)
        run.error = "update cycle failed: " + proto.CycleError;
    const auto end = StreamServer::Clock::now();
    run.cpuSeconds = ThreadCpuSeconds() - cpuStart;
    proto.Disconnect();
    const std::string serverError = server.Finish();
    if (run.error.empty())
        run.error = serverError;
    run.seconds = std::chrono::duration<double>(end - server.StreamStart()).count();

    const uint8_t* picture
        = stream.trueColour ? reinterpret_cast<const uint8_t*>(proto.Pixels32.data()) : proto.Pixels8.data();
    run.pictureMatches
        = SamePicture(stream, picture, stream.trueColour ? proto.Pixels32.size() * 4 : proto.Pixels8.size());
    return run;
}

} // namespace zarn::bench
