// The benchmarks' table: one line per figure, and the figures run by letters.
#pragma once

#include "InterleavedRuns.h"

#include <functional>

// A figure's median and spread, its target and whether it is met.
void report(const char *what, const Spread &value, const char *unit, const char *target, bool met,
            int decimals = 3);
// A figure without a target.
void note(const char *what, const Spread &value, const char *unit, int decimals = 3);

// Runs `figures` when one of `letters` is in the environment's QUARLE_BENCH_ONLY (or that is unset or
// empty), then prints how long they took.
void measure(const char *letters, const std::function<void()> &figures);
