#include "FakeLame.h"

#include <algorithm>
#include <cstring>

namespace
{

FakeLame *live = nullptr;

void fakeVersion(BE_VERSION *v)
{
    std::memset(v, 0, sizeof(*v));
    v->byDLLMajorVersion = 1;
    v->byDLLMinorVersion = 2;
    v->byMajorVersion = 3;
    v->byMinorVersion = 4;
}

BE_ERR fakeInit(BE_CONFIG *config, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream)
{
    ++live->inits;
    live->configs.push_back(*config);
    if (live->initCode != BE_ERR_SUCCESSFUL)
        return live->initCode;
    *samples = live->samples;
    *bufferSize = live->bufferSize;
    *stream = 77;
    ++live->openStreams;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR fakeEncode(HBE_STREAM stream, uint32_t n, const int16_t *samples, uint8_t *out, uint32_t *outBytes)
{
    if (stream != 77)
        return BE_ERR_INVALID_HANDLE;
    const int call = static_cast<int>(live->encodeSamples.size());
    live->encodeSamples.push_back(n);
    live->received.insert(live->received.end(), samples, samples + n);
    if (call == live->failingCall) {
        *outBytes = 0;
        return live->encodeCode;
    }
    *outBytes = std::min(live->bytesPerCall, live->bufferSize);
    std::memset(out, 0xAB, *outBytes);
    return BE_ERR_SUCCESSFUL;
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
    return LameApi{fakeVersion, fakeInit, fakeEncode, fakeDeinit, fakeClose};
}
