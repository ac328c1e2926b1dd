#include "Report.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

void report(const char *what, const Spread &value, const char *unit, const char *target, bool met,
            int decimals)
{
    std::printf("%-62s %-38s target %-8s %s\n", what, value.text(decimals, unit).c_str(), target,
                met ? "met" : "NOT MET");
    std::fflush(stdout);
}

void note(const char *what, const Spread &value, const char *unit, int decimals)
{
    std::printf("%-62s %s\n", what, value.text(decimals, unit).c_str());
    std::fflush(stdout);
}

void measure(const char *letters, const std::function<void()> &figures)
{
    const QString only = qEnvironmentVariable("QUARLE_BENCH_ONLY");
    bool wanted = only.isEmpty();
    for (const char *c = letters; *c; ++c)
        wanted = wanted || only.contains(QChar(*c));
    if (!wanted)
        return;
    QElapsedTimer took;
    took.start();
    figures();
    std::printf("  [%s: %.0f s]\n\n", letters, double(took.elapsed()) / 1000);
    std::fflush(stdout);
}
