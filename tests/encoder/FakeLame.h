#pragma once

#include "encoder/MP3Coder_Dll.h"

#include <cstdint>
#include <vector>

// A scripted be* encoder: records what the coder hands it and answers with chosen codes and byte counts.
// Encode calls write `bytesPerCall` bytes, the flush `flushBytes`, so an MP3's size tells which calls
// reached it. One FakeLame is live at a time.
struct FakeLame {
    uint32_t samples = 2304, bufferSize = 8192; // what beInitStream reports
    BE_ERR initCode = BE_ERR_SUCCESSFUL, encodeCode = BE_ERR_SUCCESSFUL, deinitCode = BE_ERR_SUCCESSFUL;
    int failingCall = -1; // encode call (0-based) that fails with encodeCode
    uint32_t bytesPerCall = 100, flushBytes = 10;

    std::vector<BE_CONFIG> configs;
    std::vector<uint32_t> encodeSamples; // sample count of each encode call
    std::vector<int16_t> received;       // every sample handed over, in order
    int inits = 0, deinits = 0, closes = 0, openStreams = 0;

    LameApi Api();
    FakeLame();
    ~FakeLame();
    FakeLame(const FakeLame &) = delete;
    FakeLame &operator=(const FakeLame &) = delete;
};
