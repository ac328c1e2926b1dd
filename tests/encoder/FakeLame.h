#pragma once

#include "encoder/MP3Coder_Dll.h"

#include <cstdint>
#include <vector>

// A scripted be* encoder: records what the coder hands it and answers with chosen codes and byte counts.
// Encode calls write `bytesPerCall` bytes of 0xAB, the flush `flushBytes` bytes of 0xCD, so the size of
// an MP3 file tells which calls reached it.
struct FakeLame {
    // What beInitStream reports and returns.
    uint32_t samples = 2304;
    uint32_t bufferSize = 8192;
    BE_ERR initCode = BE_ERR_SUCCESSFUL;
    // Encode call (0-based) that fails with encodeCode; -1 for none.
    int failingCall = -1;
    BE_ERR encodeCode = BE_ERR_SUCCESSFUL;
    BE_ERR deinitCode = BE_ERR_SUCCESSFUL;
    uint32_t bytesPerCall = 100;
    uint32_t flushBytes = 10;

    // What happened.
    std::vector<BE_CONFIG> configs;
    std::vector<uint32_t> encodeSamples; // sample count of each encode call
    std::vector<int16_t> received;       // every sample handed over, in order
    int inits = 0, deinits = 0, closes = 0;
    int openStreams = 0;

    // The table bound to this instance; one FakeLame is live at a time.
    LameApi Api();
    FakeLame();
    ~FakeLame();
    FakeLame(const FakeLame &) = delete;
    FakeLame &operator=(const FakeLame &) = delete;
};
