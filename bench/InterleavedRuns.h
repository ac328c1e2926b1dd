// How the benchmarks time things and print them. A ratio of two sides is never taken between each
// side's own median: on this shared machine the pace changes from one minute to the next, and two
// medians taken in different minutes carry that change into their ratio. The sides run in rounds
// instead, one after the other, each round gives its own ratio, and the figure is the median of those,
// printed with the smallest and the largest.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Time on the wall, and processor time of this process (every thread) plus that of the children it
// waited for meanwhile (a program run with QProcess::execute counts).
struct Times {
    double wall = 0;
    double cpu = 0;
};

Times timeOf(const std::function<void()> &run);

// The median of some values, their smallest and largest, and how many there were ("runs", "pairs").
struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
    size_t count = 0;
    const char *counted = "runs";

    static Spread of(std::vector<double> values, const char *counted = "runs");
    Spread scaled(double factor) const;
    // "0.988 x (0.961 - 1.012, 7 pairs)", with `decimals` decimals.
    std::string text(int decimals, const char *unit) const;
};

// The sides run `rounds` times, each once a round, in turn forwards and backwards (A B, B A, A B...;
// A B C, C B A...), so that neighbouring sides follow each other in every round and each of two goes
// first in half of them. With QUARLE_BENCH_ROUNDS set in the environment each round's times are printed.
class InterleavedRuns
{
public:
    InterleavedRuns(int rounds, const std::vector<std::function<void()>> &sides);

    Spread side(size_t side, double Times::*measure) const;
    // Side x over side y within each round.
    Spread ratio(size_t x, size_t y, double Times::*measure) const;
    // Any figure that a round's times give (one Times per side, in the sides' order).
    Spread each(const std::function<double(const std::vector<Times> &)> &round,
                const char *counted = "rounds") const;

private:
    std::vector<std::vector<Times>> m_rounds;
};

// The median ratio of `a` over `b` in `pairs` interleaved pairs of runs, with its spread.
Spread medianRatio(int pairs, const std::function<void()> &a, const std::function<void()> &b,
                   double Times::*measure);
