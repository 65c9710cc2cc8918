#pragma once
// One client decoding one stream from a fresh StreamServer: this project's engine, or
// libvncclient for comparison.

#include <string>

#include "BenchStreams.h"

namespace zarn::bench {

struct ClientRun {
    std::string error; // empty when the client decoded the whole stream
    double seconds = 0; // from the stream's first byte to its last update decoded
    double cpuSeconds = 0; // the client thread's CPU time over the same span
    bool pictureMatches = false; // the framebuffer holds exactly the server's final picture
};

ClientRun RunZarnClient(const BenchStream& stream);

// False when the benchmark was built without libvncclient.
bool LibVncClientAvailable();
std::string LibVncClientVersion();
ClientRun RunLibVncClient(const BenchStream& stream);

// CPU time of the calling thread.
double ThreadCpuSeconds();

// Whether a client's final picture is the stream's (for recorded ZRLE and Tight streams, the
// colour bytes of each pixel only).
bool SamePicture(const BenchStream& stream, const uint8_t* picture, size_t bytes);

} // namespace zarn::bench
