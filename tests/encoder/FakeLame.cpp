#include "FakeLame.h"

#include <algorithm>
#include <cstring>

namespace
{

FakeLame *live = nullptr;
constexpr HBE_STREAM kHandle = 77;

void fakeVersion(BE_VERSION *v)
{
    std::memset(v, 0, sizeof(*v));
}

BE_ERR fakeInit(BE_CONFIG *config, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream)
{
    ++live->inits;
    live->configs.push_back(*config);
    if (live->initCode != BE_ERR_SUCCESSFUL)
        return live->initCode;
    *samples = live->samples;
    *bufferSize = live->bufferSize;
    *stream = kHandle;
    ++live->openStreams;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR fakeEncode(HBE_STREAM stream, uint32_t n, const int16_t *samples, uint8_t *out, uint32_t *outBytes)
{
    if (stream != kHandle)
        return BE_ERR_INVALID_HANDLE;
    const bool fail = int(live->encodeSamples.size()) == live->failingCall;
    live->encodeSamples.push_back(n);
    live->received.insert(live->received.end(), samples, samples + n);
    *outBytes = fail ? 0 : std::min(live->bytesPerCall, live->bufferSize);
    std::memset(out, 0xAB, *outBytes);
    return fail ? live->encodeCode : BE_ERR_SUCCESSFUL;
}

BE_ERR fakeDeinit(HBE_STREAM, uint8_t *out, uint32_t *outBytes)
{
    ++live->deinits;
    *outBytes = std::min(live->flushBytes, live->bufferSize);
    std::memset(out, 0xCD, *outBytes);
    return live->deinitCode;
}

BE_ERR fakeClose(HBE_STREAM)
{
    ++live->closes;
    --live->openStreams;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR fakeWriteHeader(const char *)
{
    return BE_ERR_SUCCESSFUL;
}

} // namespace

FakeLame::FakeLame()
{
    live = this;
}

FakeLame::~FakeLame()
{
    live = nullptr;
}

LameApi FakeLame::Api()
{
    return LameApi{fakeVersion, fakeInit, fakeEncode, fakeDeinit, fakeClose, fakeWriteHeader};
}
