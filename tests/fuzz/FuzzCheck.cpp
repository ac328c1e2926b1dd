#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void FuzzCheckFailed(const char *condition, const char *file, int line)
{
    const std::string message = std::string(file) + ":" + std::to_string(line) + ": " + condition;
#ifdef QUARLE_FUZZ_REPLAY
    throw FuzzInvariantError(message);
#else
    std::fprintf(stderr, "invariant broken: %s\n", message.c_str());
    std::abort();
#endif
}
