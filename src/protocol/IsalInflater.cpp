// ISA-L's inflate behind IInflater (see Inflater.h). Built only where CMake found libisal; the
// rest of the engine never sees its header.
#include <memory>
#include <string>

#include "protocol/Inflater.h"

#ifdef ZARN_HAVE_ISAL
#include <isa-l.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <limits>
#include <string>

#include "protocol/EngineErrors.h"
#endif

namespace zarn {

#ifdef ZARN_HAVE_ISAL
namespace {

const char* IsalFailure(int result)
{
    switch (result) {
    case ISAL_INVALID_BLOCK: return "invalid block";
    case ISAL_INVALID_SYMBOL: return "invalid symbol";
    case ISAL_INVALID_LOOKBACK: return "distance too far back";
    default: return "inflate failed";
    }
}

class TIsalInflater final : public IInflater {
public:
    // The state holds ISA-L's history window and tables (some 100 KiB): on the heap with us.
    TIsalInflater() { Reset(); }

    void Reset() override
    {
        isal_inflate_init(&FState);
        // Raw deflate: the zlib header is checked by the stream, and no checksum is kept over a
        // stream whose trailer never comes.
        FState.crc_flag = ISAL_DEFLATE;
    }

    bool Inflate(TInflateIo& io) override
    {
        if (Finished())
            return false;
        constexpr size_t most = std::numeric_limits<uint32_t>::max();
        FState.next_in = const_cast<uint8_t*>(io.in);
        FState.avail_in = uint32_t(std::min(io.inLeft, most));
        FState.next_out = io.out;
        FState.avail_out = uint32_t(std::min(io.outLeft, most));
        const size_t inBefore = FState.avail_in, outBefore = FState.avail_out;
        const int result = isal_inflate(&FState);
        if (result < 0)
            throw ProtocolViolation(std::string("broken zlib data: ") + IsalFailure(result));
        const size_t produced = outBefore - FState.avail_out;
        io.out += produced;
        io.outLeft -= produced;
        // At the stream's end ISA-L hands back the bytes it had read ahead, which may reach back
        // into an earlier call's input: nothing more is read from it then.
        if (Finished())
            return false;
        if (FState.avail_in > inBefore)
            throw ProtocolViolation("broken zlib data: input handed back");
        io.in += inBefore - FState.avail_in;
        io.inLeft -= inBefore - FState.avail_in;
        return true;
    }

private:
    // The last block has been read (its output may still be on its way out).
    bool Finished() const
    {
        return FState.block_state == ISAL_BLOCK_INPUT_DONE || FState.block_state == ISAL_BLOCK_FINISH;
    }

    inflate_state FState {};
};

} // namespace

std::unique_ptr<IInflater> MakeIsalInflater()
{
    return std::make_unique<TIsalInflater>();
}

std::string IsalVersion()
{
    return std::to_string(ISAL_MAJOR_VERSION) + '.' + std::to_string(ISAL_MINOR_VERSION) + '.'
        + std::to_string(ISAL_PATCH_VERSION);
}
#else
std::unique_ptr<IInflater> MakeIsalInflater()
{
    return nullptr;
}

std::string IsalVersion()
{
    return {};
}
#endif

} // namespace zarn
