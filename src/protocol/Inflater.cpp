#include "protocol/Inflater.h"

#include <algorithm>
#include <limits>
#include <string>

#include <zlib.h>

#include "protocol/EngineErrors.h"

namespace zarn {

std::unique_ptr<IInflater> MakeIsalInflater(); // IsalInflater.cpp; nullptr without ISA-L

namespace {

class TZlibInflater final : public IInflater {
public:
    TZlibInflater()
    {
        if (inflateInit2(&FZ, -MAX_WBITS) != Z_OK)
            throw ProtocolViolation("could not start a zlib stream");
    }
    ~TZlibInflater() override { inflateEnd(&FZ); }
    TZlibInflater(const TZlibInflater&) = delete;
    TZlibInflater& operator=(const TZlibInflater&) = delete;

    void Reset() override { inflateReset(&FZ); }

    bool Inflate(TInflateIo& io) override
    {
        // The pieces handed in are far smaller than what zlib's uInt counts.
        FZ.next_in = const_cast<Bytef*>(io.in);
        FZ.avail_in = uInt(std::min<size_t>(io.inLeft, std::numeric_limits<uInt>::max()));
        FZ.next_out = io.out;
        FZ.avail_out = uInt(std::min<size_t>(io.outLeft, std::numeric_limits<uInt>::max()));
        const size_t inBefore = FZ.avail_in, outBefore = FZ.avail_out;
        const int result = inflate(&FZ, Z_SYNC_FLUSH);
        io.in += inBefore - FZ.avail_in;
        io.inLeft -= inBefore - FZ.avail_in;
        io.out += outBefore - FZ.avail_out;
        io.outLeft -= outBefore - FZ.avail_out;
        if (result == Z_STREAM_END)
            return false;
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw ProtocolViolation(std::string("broken zlib data: ") + (FZ.msg ? FZ.msg : "inflate failed"));
        return true;
    }

private:
    z_stream FZ {};
};

} // namespace

std::unique_ptr<IInflater> MakeInflater(EInflateBackend backend)
{
    if (backend == EInflateBackend::Isal)
        if (auto isal = MakeIsalInflater())
            return isal;
    return std::make_unique<TZlibInflater>();
}

std::vector<EInflateBackend> InflateBackends()
{
#ifdef ZARN_HAVE_ISAL
    return { EInflateBackend::Isal, EInflateBackend::Zlib };
#else
    return { EInflateBackend::Zlib };
#endif
}

} // namespace zarn
