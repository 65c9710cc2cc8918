#pragma once
// What zarnvnc-snap leaves behind: the picture file and the statistics line.

#include <cstdint>
#include <string>

namespace zarn {
class TVNCProto;
}

namespace zarn::snap {

struct SessionStats {
    uint64_t frames = 0;
    uint64_t rects = 0;
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
    double seconds = 0;
    double decodeSeconds = 0;
    uint64_t resizes = 0;
};

SessionStats CollectStats(const TVNCProto& proto, double seconds, double decodeSeconds);

// One line, no line ending: frames=… rects=… bytes_received=… bytes_sent=… seconds=… decode_seconds=… resizes=…
std::string FormatStats(const SessionStats& stats);

// Writes the engine's current picture in the format the file name asks for. False, with the
// reason, when there is no picture yet or the file cannot be written.
bool WritePicture(const TVNCProto& proto, const std::string& path, std::string* error);

} // namespace zarn::snap
