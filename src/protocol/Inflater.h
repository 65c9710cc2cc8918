#pragma once
// IInflater: the raw-deflate decompressor under a session's zlib streams. Two are built: zlib's,
// always there, and ISA-L's (where the build found it), whose inflate takes well under half of
// zlib's time on screen data. Inflating is most of what a ZRLE or Tight picture costs, so the
// streams take the fastest one; the tests run both over the same data.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

enum class EInflateBackend { Zlib, Isal };

// One call's input and output, advanced in place by Inflate.
struct TInflateIo {
    const uint8_t* in = nullptr;
    size_t inLeft = 0;
    uint8_t* out = nullptr;
    size_t outLeft = 0;
};

class IInflater {
public:
    virtual ~IInflater() = default;
    // Forgets the stream: the next byte starts a new one.
    virtual void Reset() = 0;
    // Inflates from io.in into io.out until either runs out. Returns false when the stream's
    // last block has ended. Broken data throws ProtocolViolation.
    virtual bool Inflate(TInflateIo& io) = 0;
};

std::unique_ptr<IInflater> MakeInflater(EInflateBackend backend);
// The backends this build has, fastest first.
std::vector<EInflateBackend> InflateBackends();
// ISA-L's version as built ("2.30.0"), empty in a build without it.
std::string IsalVersion();

} // namespace zarn
