// quarle-bench: speed and memory figures of QUARLE on generated disc images, each against its target.
//   quarle-bench [--quick] [WORKDIR]
// Every figure is a median over several runs. (The window's stall figure comes from
// quarle-bench-window, which needs a display.)
#include "DiscImage.h"
#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"
#include "platform/CdRipLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <vector>

// bench/DirectLame.cpp
void encodeDirectly(const QByteArray &pcm, const QString &out);

namespace
{

int g_runs = 5;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Processor time of this process: on a shared virtual machine it varies far less than the clock on
// the wall, and both sides of figure (a) run on this one thread.
template <class F> double seconds(F &&f)
{
    timespec start{}, end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    f();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    return double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
}

template <class F> double medianSeconds(F &&f)
{
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    return median(times);
}

void report(const char *what, double value, const char *unit, const char *target, bool met)
{
    std::printf("%-62s %10.3f %-3s target %-10s %s\n", what, value, unit, target, met ? "met" : "NOT MET");
    std::fflush(stdout);
}

DiscImage makeImage(const QString &base, int32_t sectors)
{
    DiscImage image;
    QString error;
    if (!QFile::exists(base + ".cue") &&
        !writeDiscImage(base, {DiscTrack::music(sectors, 220)}, &image, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(base), qPrintable(error));
        std::exit(1);
    }
    image = {base + ".cue", base + ".bin", {DiscTrack::music(sectors, 220)}};
    return image;
}

void ripTrack(const QString &cue, const QString &out, bool mp3, bool jitter)
{
    qputenv("QUARLE_DRIVES", ("D=" + cue).toLocal8Bit());
    TQuarle quarle;
    TMP3Coder coder;
    quarle.setActiveCdRomNum(0);
    quarle.setCoder(&coder);
    quarle.setJitterCorrect(jitter);
    quarle.setEncode(mp3);
    quarle.setWriteWav(true);
    quarle.RipTrack(1, out);
}

// Peak resident memory, in MiB, of this program ripping the first track of `cue` to MP3 in a child.
double childPeakMiB(const QString &cue, const QString &out)
{
    const QByteArray self = QCoreApplication::applicationFilePath().toLocal8Bit();
    const QByteArray c = cue.toLocal8Bit(), o = out.toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(self.constData(), self.constData(), "--child-rip", c.constData(), o.constData(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == "--child-rip") {
        ripTrack(args[1], args[2], true, true);
        return 0;
    }
    if (args.value(0) == "--quick") {
        g_runs = 3;
        args.removeFirst();
    }
    QTemporaryDir temp;
    const QString work = args.isEmpty() ? temp.path() : args[0];
    QDir().mkpath(work);

    const int32_t tenMinutes = 10 * 60 * 75;
    const DiscImage ten = makeImage(work + "/ten", tenMinutes);
    const double tenSeconds = tenMinutes / 75.0;
    std::printf("QUARLE benchmarks, medians of %d runs, %s\n\n", g_runs, qPrintable(work));

    // (a) Ripping to MP3 against encoding the same PCM directly; the runs alternate, so that a change
    // of the machine's pace meanwhile touches both sides alike.
    {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        std::vector<double> ripOn, ripOff, direct;
        for (int i = 0; i < g_runs; ++i) {
            ripOn.push_back(seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true); }));
            direct.push_back(seconds([&] { encodeDirectly(pcm, work + "/direct.mp3"); }));
            ripOff.push_back(seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, false); }));
        }
        const double on = median(ripOn), off = median(ripOff), lame = median(direct);
        std::printf("  processor time: rip to MP3 %.2f s (jitter correction off %.2f s), libmp3lame directly %.2f s\n",
                    on, off, lame);
        report("(a) rip 10 min to MP3 / libmp3lame on the same PCM", on / lame, "x", "<= 1.05", on / lame <= 1.05);
        report("(a) the same, jitter correction off", off / lame, "x", "<= 1.05", off / lame <= 1.05);
    }
    if (qEnvironmentVariable("QUARLE_BENCH_ONLY") == "a")
        return 0;

    // (b) The batch conversion against the lame program at the same settings.
    {
        QFile wav(work + "/ten.wav");
        if (!wav.exists())
            ripTrack(ten.cuePath, wav.fileName(), false, false);
        const QString lamePath = QStandardPaths::findExecutable("lame");
        TMP3Coder coder;
        const double batch = medianSeconds([&] {
            coder.setInputFiles({wav.fileName()});
            coder.ProcessFiles();
        });
        if (lamePath.isEmpty()) {
            std::printf("(b) the lame program is not installed: skipped\n");
        } else {
            const double lame = medianSeconds([&] {
                QProcess::execute(lamePath, {"--quiet", "-b", "128", "-m", "s", "-q", "5", "-p",
                                             wav.fileName(), work + "/lame.mp3"});
            });
            std::printf("  batch %.2f s, lame program %.2f s\n", batch, lame);
            report("(b) batch of a 10 min WAV / the lame program", batch / lame, "x", "<= 1.0",
                   batch / lame <= 1.0);
        }
    }

    // (c) Ripping to WAV, in multiples of real time.
    for (bool jitter : {true, false}) {
        const double t = medianSeconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", false, jitter); });
        report(jitter ? "(c) rip 10 min to WAV, jitter correction on (x real time)"
                      : "(c) rip 10 min to WAV, jitter correction off (x real time)",
               tenSeconds / t, "x", ">= 200", !jitter || tenSeconds / t >= 200);
    }

    // (d) Peak memory of ripping to MP3: it must not grow with the track.
    {
        const DiscImage seventy = makeImage(work + "/seventy", 70 * 60 * 75);
        std::vector<double> small, large;
        for (int i = 0; i < std::min(g_runs, 3); ++i) {
            small.push_back(childPeakMiB(ten.cuePath, work + "/peak10.wav"));
            large.push_back(childPeakMiB(seventy.cuePath, work + "/peak70.wav"));
        }
        const double a = median(small), b = median(large);
        report("(d) peak memory, rip 10 min to MP3", a, "MiB", "< 64", a > 0 && a < 64);
        report("(d) peak memory, rip 70 min to MP3", b, "MiB", "< 64", b > 0 && b < 64);
        report("(d) difference 70 min - 10 min", b - a, "MiB", "<= 2", std::abs(b - a) <= 2);
    }
    return 0;
}
