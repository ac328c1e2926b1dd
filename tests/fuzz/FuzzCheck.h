#pragma once

#include "platform/Exception.h"

#include <cstdio>
#include <cstdlib>

// An invariant of a fuzz target. Under libFuzzer a broken one aborts, so that the input is kept as a
// crash; in the replay test it throws, so that the test names the corpus file.
#ifdef QUARLE_FUZZ_REPLAY
#define FUZZ_CHECK(condition) ((condition) ? void(0) : throw Exception("broken: " #condition))
#else
#define FUZZ_CHECK(condition)                                                                                \
    ((condition) ? void(0) : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))
#endif
