#include "InterleavedRuns.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

double processorSeconds()
{
    timespec self{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &self);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return double(self.tv_sec) + double(self.tv_nsec) / 1e9 +
           double(children.ru_utime.tv_sec + children.ru_stime.tv_sec) +
           double(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
}

} // namespace

Times timeOf(const std::function<void()> &run)
{
    QElapsedTimer wall;
    const double cpu = processorSeconds();
    wall.start();
    run();
    return {double(wall.nsecsElapsed()) / 1e9, processorSeconds() - cpu};
}

Spread Spread::of(std::vector<double> values, const char *counted)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back(), n, counted};
}

Spread Spread::scaled(double factor) const
{
    return {median * factor, low * factor, high * factor, count, counted};
}

std::string Spread::text(int decimals, const char *unit) const
{
    // "runs" and "pairs": one of them is "1 run", "1 pair".
    const int name = int(std::strlen(counted)) - (count == 1 ? 1 : 0);
    char line[128];
    std::snprintf(line, sizeof line, "%.*f %s (%.*f - %.*f, %zu %.*s)", decimals, median, unit, decimals, low,
                  decimals, high, count, name, counted);
    return line;
}

InterleavedRuns::InterleavedRuns(int rounds, const std::vector<std::function<void()>> &sides)
{
    for (int round = 0; round < rounds; ++round) {
        std::vector<Times> times(sides.size());
        for (size_t i = 0; i < sides.size(); ++i) {
            const size_t side = round % 2 ? sides.size() - 1 - i : i;
            times[side] = timeOf(sides[side]);
        }
        if (qEnvironmentVariableIsSet("QUARLE_BENCH_ROUNDS")) {
            std::printf("    round %d%s:", round + 1, round % 2 ? " (backwards)" : "");
            for (const Times &t : times)
                std::printf("  %.3f s wall %.3f s processor", t.wall, t.cpu);
            std::printf("\n");
        }
        m_rounds.push_back(times);
    }
}

Spread InterleavedRuns::side(size_t side, double Times::*measure) const
{
    std::vector<double> values;
    for (const std::vector<Times> &round : m_rounds)
        values.push_back(round[side].*measure);
    return Spread::of(values);
}

Spread InterleavedRuns::ratio(size_t x, size_t y, double Times::*measure) const
{
    return each([=](const std::vector<Times> &round) { return round[x].*measure / round[y].*measure; },
                "pairs");
}

Spread InterleavedRuns::each(const std::function<double(const std::vector<Times> &)> &round,
                             const char *counted) const
{
    std::vector<double> values;
    for (const std::vector<Times> &times : m_rounds)
        values.push_back(round(times));
    return Spread::of(values, counted);
}

Spread medianRatio(int pairs, const std::function<void()> &a, const std::function<void()> &b,
                   double Times::*measure)
{
    return InterleavedRuns(pairs, {a, b}).ratio(0, 1, measure);
}
