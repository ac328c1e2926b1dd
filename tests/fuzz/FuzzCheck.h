#pragma once

#include "platform/Exception.h"

// An invariant of a fuzz target. Under libFuzzer a broken one aborts, so that the input is kept as a
// crash; in the replay test it throws FuzzInvariantError, so that the test names the corpus file.
#define FUZZ_CHECK(condition) ((condition) ? void(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))

class FuzzInvariantError : public Exception
{
public:
    explicit FuzzInvariantError(const std::string &message) : Exception(message) {}
};

[[noreturn]] void FuzzCheckFailed(const char *condition, const char *file, int line);
