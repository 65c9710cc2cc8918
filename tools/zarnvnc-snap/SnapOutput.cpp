#include "SnapOutput.h"

#include <cstdio>

#include "imaging/ImageFile.h"
#include "protocol/VNCProto.h"

namespace zarn::snap {

SessionStats CollectStats(const TVNCProto& proto, double seconds, double decodeSeconds)
{
    SessionStats stats;
    stats.frames = proto.FramesReceived;
    stats.rects = proto.RectsReceived;
    stats.bytesReceived = proto.BytesReceived;
    stats.bytesSent = proto.BytesSent;
    stats.seconds = seconds;
    stats.decodeSeconds = decodeSeconds;
    stats.resizes = proto.ResizesReceived;
    return stats;
}

std::string FormatStats(const SessionStats& stats)
{
    char line[256];
    std::snprintf(line, sizeof line,
        "frames=%llu rects=%llu bytes_received=%llu bytes_sent=%llu seconds=%.3f decode_seconds=%.3f resizes=%llu",
        static_cast<unsigned long long>(stats.frames), static_cast<unsigned long long>(stats.rects),
        static_cast<unsigned long long>(stats.bytesReceived),
        static_cast<unsigned long long>(stats.bytesSent), stats.seconds, stats.decodeSeconds,
        static_cast<unsigned long long>(stats.resizes));
    return line;
}

bool WritePicture(const TVNCProto& proto, const std::string& path, std::string* error)
{
    const ImageView image = proto.CurrentImage();
    if (image.empty()) {
        if (error)
            *error = "there is no picture to write";
        return false;
    }
    std::string why;
    if (SaveImage(path, image, &why))
        return true;
    if (error)
        *error = "cannot write " + path + (why.empty() ? "" : ": " + why);
    return false;
}

} // namespace zarn::snap
