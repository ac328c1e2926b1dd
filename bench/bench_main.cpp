// quarle-bench: speed and memory figures of QUARLE on generated disc images, each against its target.
//   quarle-bench [--quick] [WORKDIR]
// Every figure is a median over several runs. (The window's stall figure comes from
// quarle-bench-window, which needs a display.)
#include "DiscImage.h"
#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"
#include "encoder/ReplayGain.h"
#include "lookup/Cddb.h"
#include "lookup/DocumentFetcher.h"
#include "lookup/MusicBrainz.h"
#include "platform/CdRipLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>
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

// Time on the wall and processor time of this process (every thread). On a shared virtual machine
// processor time varies far less than the clock on the wall.
struct Times {
    double wall = 0;
    double cpu = 0;
};

template <class F> Times seconds(F &&f)
{
    timespec start{}, end{};
    QElapsedTimer wall;
    wall.start();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    f();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    return {double(wall.nsecsElapsed()) / 1e9,
            double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9};
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

void ripTrack(const QString &cue, const QString &out, bool mp3, bool jitter,
              CdRipApi api = CdRipApi::library(), bool checksums = true, bool flac = false)
{
    qputenv("QUARLE_DRIVES", ("D=" + cue).toLocal8Bit());
    TQuarle quarle(nullptr, std::move(api));
    TMP3Coder coder;
    quarle.setActiveCdRomNum(0);
    quarle.setCoder(&coder);
    quarle.setJitterCorrect(jitter);
    quarle.setFormat(mp3 ? AudioFormat::Mp3 : flac ? AudioFormat::Flac : AudioFormat::Wav);
    quarle.setChecksums(checksums);
    quarle.RipTrack(1, out);
}

// The CD-reading library as a drive that reads at `speed` times real time: each chunk takes at least
// its audio's length divided by `speed` from the moment it is asked for, as on a drive that reads
// only what the program asks for, when it asks.
CdRipApi driveAtSpeed(double speed)
{
    CdRipApi api = CdRipApi::library();
    api.CR_RipChunk = [rip = api.CR_RipChunk, speed](uint8_t *buffer, int32_t *bytes) {
        const auto asked = std::chrono::steady_clock::now();
        const int32_t result = rip(buffer, bytes);
        std::this_thread::sleep_until(asked +
                                      std::chrono::duration<double>(double(*bytes) / (44100 * 4) / speed));
        return result;
    };
    return api;
}

// Reading a whole track through the library and nothing else, jitter correction on.
void readTrack(const QString &cue, const CdRipApi &api)
{
    qputenv("QUARLE_DRIVES", ("D=" + cue).toLocal8Bit());
    TQuarle quarle(nullptr, api);
    quarle.setActiveCdRomNum(0);
    quarle.setJitterCorrect(true);
    const TTrack *track = quarle.Tracks().object(0);
    api.CR_SetCDROMParameters(&TQuarle::activeDriveRecord());
    int32_t chunkBytes = 0;
    if (api.CR_OpenRipper(&chunkBytes, track->StartSector, track->EndSector) == CR_ERROR)
        std::exit(1);
    std::vector<uint8_t> buffer(static_cast<size_t>(chunkBytes));
    int32_t bytes = 0;
    while (api.CR_RipChunk(buffer.data(), &bytes) != CR_RIP_DONE) {
    }
    api.CR_CloseRipper();
}

// Peak resident memory, in MiB, of this program ripping the first track of `cue` to MP3 (or FLAC) in a
// child.
double childPeakMiB(const QString &cue, const QString &out, bool flac = false)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {flac ? "--child-rip-flac" : "--child-rip", cue, out});
    if (!child.waitForFinished(300 * 1000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().split(' ').value(0).toDouble() / 1024.0; // "13596 kB"
}

// A hostile CDDB server: every request gets 16 MiB of line breaks, without a length, then the close.
// Answers every request with `head`, then `body` `repeats` times, and closes.
[[noreturn]] void serve(int listening, const QByteArray &head, const QByteArray &body, int repeats)
{
    for (;;) {
        const int fd = accept(listening, nullptr, nullptr);
        QByteArray request;
        char buffer[4096];
        ssize_t got = 0;
        while (fd >= 0 && !request.contains("\r\n\r\n") && (got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            request.append(buffer, got);
        bool open = fd >= 0 && send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL) > 0;
        for (int i = 0; open && i < repeats; ++i)
            open = send(fd, body.constData(), size_t(body.size()), MSG_NOSIGNAL) == body.size();
        if (fd >= 0)
            close(fd);
    }
}

// Prints this process's peak memory ("VmHWM", which unlike a waiting parent's rusage does not count the
// memory of the process it was forked from).
void printPeak()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            std::printf("%s\n", line.mid(6).trimmed().constData());
}

// The lookup's two fetches (query, then read) and the window's copy of the document, as the program
// does them, against that server; exits 0 when both were refused for their size, after printing its
// own peak memory.
int lookupChild(const QString &port, const QString &work)
{
    THttpCli http;
    DocumentFetcher fetcher(http, work, {});
    QStringList pagina;
    const QString server = "http://127.0.0.1:" + port + Cddb::Path + "?cmd=cddb+";
    const QDeadlineTimer deadline(60 * 1000);
    const auto query = fetcher.Fetch({}, server + "query+0c001803+3+150+900+1200+24", pagina, deadline);
    const int queryStatus = http.StatusCode();
    const CddbMatch match = Cddb::QueryMatch(query.value_or(QStringList()));
    const auto entry = fetcher.Fetch({}, server + "read+" + match.category + "+0c001803+", pagina, deadline);
    const QString shown = pagina.join("\r\n").left(5000);
    printPeak();
    return !query && !entry && queryStatus == 413 && http.StatusCode() == 413 && shown.isEmpty() ? 0 : 1;
}

// A disc id and the answer MusicBrainz would give for it just under the 1 MiB it may have: 100
// releases that hold the disc, each on a medium of 99 tracks with long titles.
const QString BenchDiscId = "YPv1TJ03f7pu6fgwp1cpr3cVsf0-";

QByteArray musicBrainzAnswer()
{
    QByteArray tracks;
    for (int t = 1; t <= 99; ++t)
        tracks += (t > 1 ? "," : "") + QString(R"({"id":"t%1","position":%1,"title":"%2"})")
                                           .arg(t)
                                           .arg(QString(31, QChar(0x00e8)))
                                           .toUtf8();
    QByteArray releases;
    for (int r = 0; r < 100; ++r)
        releases += (r > 0 ? "," : "") +
                    QString(R"({"id":"r%1","title":"Album %1","artist-credit":[{"name":"Artista"}],)"
                            R"("media":[{"position":1,"discs":[{"id":"%2"}],"tracks":[)")
                        .arg(r)
                        .arg(BenchDiscId)
                        .toUtf8() +
                    tracks + "]}]}";
    return R"({"releases":[)" + releases + "]}";
}

// A MusicBrainz lookup as "Aggiorna" makes it (the fetch into memory, the reading of the releases)
// against that server; exits 0 when all 100 releases were read, after printing its peak memory.
int musicBrainzChild(const QString &port)
{
    THttpCli http;
    const TFetchedFile answer = FetchFileAs(
        http, {}, MusicBrainz::LookupUrl(BenchDiscId, "http://127.0.0.1:" + port), MusicBrainz::UserAgent());
    const std::vector<MusicBrainzRelease> releases = MusicBrainz::ReadReleases(answer.bytes, BenchDiscId);
    printPeak();
    return releases.size() == 100 && releases.back().tracks.size() == 99 ? 0 : 1;
}

// Peak resident memory, in MiB, of this program running a lookup in a child (`mode`) against a
// local server that answers `body` `repeats` times after `head`.
double lookupPeakMiB(const QString &mode, const QString &work, const QByteArray &head, const QByteArray &body,
                     int repeats)
{
    const int listening = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listening, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listening, 4) != 0 ||
        getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    const pid_t server = fork();
    if (server == 0)
        serve(listening, head, body, repeats);
    close(listening);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {mode, QString::number(ntohs(address.sin_port)), work});
    const bool done = child.waitForFinished(120 * 1000);
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    if (!done || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().split(' ').value(0).toDouble() / 1024.0; // "13596 kB"
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && (args[0] == "--child-rip" || args[0] == "--child-rip-flac")) {
        const bool flac = args[0] == "--child-rip-flac";
        ripTrack(args[1], args[2], !flac, true, CdRipApi::library(), true, flac);
        printPeak();
        return 0;
    }
    if (args.size() == 3 && args[0] == "--child-lookup")
        return lookupChild(args[1], args[2]);
    if (args.size() == 3 && args[0] == "--child-musicbrainz")
        return musicBrainzChild(args[1]);
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

    const QString only = qEnvironmentVariable("QUARLE_BENCH_ONLY"); // letters of the figures to run
    auto wanted = [&](char figure) { return only.isEmpty() || only.contains(QChar(figure)); };

    // (g) The AccurateRip checksums every rip of stereo 44100 Hz samples accumulates, alone, on the
    // same 10 minutes fed in the library's chunks; set against the rips of (a) and (c) below.
    double checksumSeconds = 0;
    if (wanted('g')) {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        const auto *samples = reinterpret_cast<const uint8_t *>(pcm.constData());
        const size_t frames = size_t(pcm.size() / 4);
        const size_t chunk = size_t(CdRipChunkSectors) * TAccurateRipChecksum::FramesPerSector;
        uint32_t keep = 0;
        std::vector<double> times;
        for (int i = 0; i < g_runs; ++i) {
            times.push_back(seconds([&] {
                                TAccurateRipChecksum sum;
                                sum.Start(uint32_t(frames), true, true);
                                for (size_t at = 0; at < frames; at += chunk)
                                    sum.Add(samples + at * 4, std::min(chunk, frames - at), at);
                                keep ^= sum.V1() ^ sum.V2();
                            }).cpu);
        }
        checksumSeconds = median(times);
        std::printf("  AccurateRip checksums of 10 min: %.1f ms of processor time (%08x)\n",
                    checksumSeconds * 1000, keep);
    }
    auto checksumShare = [&](const char *what, double ripSeconds) {
        if (checksumSeconds <= 0)
            return;
        std::printf("%-62s %10.3f %%\n", what, 100 * checksumSeconds / ripSeconds);
    };

    // (a) Ripping to MP3 against encoding the same PCM directly; the runs alternate, so that a change
    // of the machine's pace meanwhile touches both sides alike.
    if (wanted('a')) {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        std::vector<double> onWall, onCpu, offWall, offCpu, lameWall, lameCpu;
        for (int i = 0; i < g_runs; ++i) {
            const Times on = seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true); });
            const Times lame = seconds([&] { encodeDirectly(pcm, work + "/direct.mp3"); });
            const Times off = seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, false); });
            onWall.push_back(on.wall);
            onCpu.push_back(on.cpu);
            lameWall.push_back(lame.wall);
            lameCpu.push_back(lame.cpu);
            offWall.push_back(off.wall);
            offCpu.push_back(off.cpu);
        }
        const double on = median(onWall), off = median(offWall), lame = median(lameWall);
        std::printf("  wall: rip to MP3 %.2f s (jitter correction off %.2f s), libmp3lame directly %.2f s\n",
                    on, off, lame);
        std::printf(
            "  processor: rip to MP3 %.2f s (jitter correction off %.2f s), libmp3lame directly %.2f s\n",
            median(onCpu), median(offCpu), median(lameCpu));
        report("(a) rip 10 min to MP3 / libmp3lame on the same PCM, wall", on / lame, "x", "<= 1.02",
               on / lame <= 1.02);
        report("(a) the same, jitter correction off, wall", off / lame, "x", "<= 1.02", off / lame <= 1.02);
        const double cpu = median(onCpu) / median(lameCpu);
        report("(a) rip 10 min to MP3 / libmp3lame on the same PCM, processor time", cpu, "x", "<= 1.05",
               cpu <= 1.05);
        checksumShare("(g) AccurateRip checksums / rip to MP3 of (a)", median(onCpu));
    }

    // (f) Ripping to MP3 from a drive that reads at 20x real time, against reading alone from it.
    if (wanted('f')) {
        const CdRipApi drive = driveAtSpeed(20);
        std::vector<double> rip, read;
        for (int i = 0; i < std::min(g_runs, 3); ++i) {
            rip.push_back(seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true, drive); }).wall);
            read.push_back(seconds([&] { readTrack(ten.cuePath, drive); }).wall);
        }
        const double r = median(rip), alone = median(read);
        std::printf("  rip to MP3 %.2f s, reading alone %.2f s\n", r, alone);
        report("(f) rip 10 min to MP3 at 20x / reading alone at 20x", r / alone, "x", "<= 1.05",
               r / alone <= 1.05);
    }

    // (b) The batch conversion against the lame program at the same settings.
    if (wanted('b')) {
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
    //
    // (g) The same rip with and without the AccurateRip checksums, on the wall. A rip here varies by
    // 10 % and more from run to run, for both alike, so it takes many runs; the two take turns, each
    // first in every other pair. The interval is the ratio's 90 % bootstrap interval.
    for (bool jitter : {true, false}) {
        if (!wanted('c'))
            break;
        ripTrack(ten.cuePath, work + "/rip.wav", false, jitter); // the image into the page cache
        std::vector<double> with, without, processor;
        for (int i = 0; i < 16 * g_runs; ++i) {
            const bool checksums = (i % 2 == 0) == (i / 2 % 2 == 0);
            const Times t = seconds([&] {
                ripTrack(ten.cuePath, work + "/rip.wav", false, jitter, CdRipApi::library(), checksums);
            });
            (checksums ? with : without).push_back(t.wall);
            if (checksums)
                processor.push_back(t.cpu);
        }
        const double t = median(with);
        report(jitter ? "(c) rip 10 min to WAV, jitter correction on (x real time)"
                      : "(c) rip 10 min to WAV, jitter correction off (x real time)",
               tenSeconds / t, "x", ">= 200", !jitter || tenSeconds / t >= 200);
        const double ratio = t / median(without);
        std::mt19937 random(1);
        std::vector<double> ratios;
        auto resample = [&random](const std::vector<double> &v) {
            std::vector<double> r;
            std::uniform_int_distribution<size_t> pick(0, v.size() - 1);
            for (size_t i = 0; i < v.size(); ++i)
                r.push_back(v[pick(random)]);
            return median(r);
        };
        for (int i = 0; i < 1000; ++i)
            ratios.push_back(resample(with) / resample(without));
        std::sort(ratios.begin(), ratios.end());
        std::printf("  %zu runs each: %.1f ms with the checksums, %.1f ms without, interval %.3f - %.3f\n",
                    with.size(), t * 1000, median(without) * 1000, ratios[50], ratios[949]);
        report(jitter ? "(g) that rip / without the checksums, wall" : "(g) the same, jitter correction off",
               ratio, "x", "<= 1.01", ratio <= 1.01);
        checksumShare(jitter ? "(g) checksums / that rip's processor time, jitter on"
                             : "(g) checksums / that rip's processor time, jitter off",
                      median(processor));
    }

    // (d) Peak memory of ripping to MP3: it must not grow with the track.
    if (wanted('d')) {
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
        small.clear();
        large.clear();
        for (int i = 0; i < std::min(g_runs, 3); ++i) {
            small.push_back(childPeakMiB(ten.cuePath, work + "/peak10.wav", true));
            large.push_back(childPeakMiB(seventy.cuePath, work + "/peak70.wav", true));
        }
        const double c = median(small), e = median(large);
        report("(d) peak memory, rip 10 min to FLAC", c, "MiB", "< 64", c > 0 && c < 64);
        report("(d) peak memory, rip 70 min to FLAC", e, "MiB", "< 64", e > 0 && e < 64);
        report("(d) FLAC: difference 70 min - 10 min", e - c, "MiB", "<= 2", std::abs(e - c) <= 2);
    }

    // (i) Ripping to FLAC against the flac program at -8 on the same PCM, both verifying what they
    // wrote (the rip always does; the program with -V), in processor time (the program's as a child's).
    if (wanted('i')) {
        const QString flacPath = QStandardPaths::findExecutable("flac");
        QFile wav(work + "/ten.wav");
        if (!wav.exists())
            ripTrack(ten.cuePath, wav.fileName(), false, false);
        std::vector<double> rip, wavRip, program;
        for (int i = 0; i < g_runs && !flacPath.isEmpty(); ++i) {
            rip.push_back(seconds([&] {
                              ripTrack(ten.cuePath, work + "/rip.wav", false, true, CdRipApi::library(), true,
                                       true);
                          }).cpu);
            // The same rip without the encoding: the reading and the checksums the program does not do.
            wavRip.push_back(seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", false, true); }).cpu);
            rusage before{}, after{};
            getrusage(RUSAGE_CHILDREN, &before);
            QProcess::execute(flacPath,
                              {"-8", "-V", "-s", "-f", "-o", work + "/program.flac", wav.fileName()});
            getrusage(RUSAGE_CHILDREN, &after);
            const auto cpu = [](const rusage &u) {
                return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                       double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
            };
            program.push_back(cpu(after) - cpu(before));
        }
        if (flacPath.isEmpty()) {
            std::printf("(i) the flac program is not installed: skipped\n");
        } else {
            const double r = median(rip), w = median(wavRip), f = median(program);
            std::printf("  processor: rip to FLAC %.2f s, rip to WAV %.2f s, flac -8 -V %.2f s\n", r, w, f);
            report("(i) rip 10 min to FLAC / flac -8 -V on the same PCM, processor", r / f, "x", "<= 1.0",
                   r / f <= 1.0);
            // Each run's three sides ran one after the other, so their ratio is free of the machine's
            // drift between runs.
            std::vector<double> encoding;
            for (size_t run = 0; run < rip.size(); ++run)
                encoding.push_back((rip[run] - wavRip[run]) / program[run]);
            const double e = median(encoding);
            report("(i) the rip's encoding (FLAC rip - WAV rip) / flac -8 -V, median of the runs'", e, "x",
                   "<= 1.0", e <= 1.0);
        }
    }

    // (j) Ripping to FLAC from a drive that reads at 20x real time, against reading alone from it.
    if (wanted('j')) {
        const CdRipApi drive = driveAtSpeed(20);
        std::vector<double> rip, read;
        for (int i = 0; i < std::min(g_runs, 3); ++i) {
            rip.push_back(seconds([&] {
                              ripTrack(ten.cuePath, work + "/rip.wav", false, true, drive, true, true);
                          }).wall);
            read.push_back(seconds([&] { readTrack(ten.cuePath, drive); }).wall);
        }
        const double r = median(rip), alone = median(read);
        std::printf("  rip to FLAC %.2f s, reading alone %.2f s\n", r, alone);
        report("(j) rip 10 min to FLAC at 20x / reading alone at 20x", r / alone, "x", "<= 1.02",
               r / alone <= 1.02);
    }

    // (k) ReplayGain's measurement of 10 minutes, fed in the library's chunks as a rip feeds it, against
    // the processor time of the rip to MP3 of (a).
    if (wanted('k')) {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        const auto *samples = reinterpret_cast<const int16_t *>(pcm.constData());
        const size_t count = size_t(pcm.size() / 2);
        const size_t chunk = size_t(CdRipChunkSectors) * TAccurateRipChecksum::FramesPerSector * 2;
        std::vector<double> gain, mp3;
        for (int i = 0; i < g_runs; ++i) {
            gain.push_back(seconds([&] {
                               TReplayGainTrack track(44100, 2);
                               for (size_t at = 0; at < count; at += chunk)
                                   track.Add(samples + at, std::min(chunk, count - at));
                               track.Finish();
                           }).cpu);
            mp3.push_back(seconds([&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true); }).cpu);
        }
        std::printf("  processor: ReplayGain of 10 min %.3f s, rip to MP3 %.2f s\n", median(gain),
                    median(mp3));
        const double share = 100 * median(gain) / median(mp3);
        report("(k) ReplayGain / rip 10 min to MP3, processor", share, "%", "<= 1", share <= 1);
    }

    // (h) Peak memory of a lookup whose server answers 16 MiB of line breaks: the documents are bounded.
    if (wanted('h')) {
        std::vector<double> peaks;
        std::vector<double> musicBrainz;
        const QByteArray answer = musicBrainzAnswer();
        const QByteArray head =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + QByteArray::number(answer.size()) +
            "\r\n\r\n";
        for (int i = 0; i < std::min(g_runs, 3); ++i) {
            peaks.push_back(lookupPeakMiB("--child-lookup", work,
                                          "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
                                          QByteArray(64 * 1024, '\n'), 16 * 16));
            musicBrainz.push_back(lookupPeakMiB("--child-musicbrainz", work, head, answer, 1));
        }
        const double peak = median(peaks);
        report("(h) peak memory, lookup answered with 16 MiB of line breaks", peak, "MiB", "< 64",
               peak > 0 && peak < 64);
        const double mb = median(musicBrainz);
        std::printf("    (MusicBrainz answer of %lld bytes)\n", static_cast<long long>(answer.size()));
        report("(h) peak memory, MusicBrainz lookup answered with 100 releases in 1 MiB", mb, "MiB", "< 64",
               mb > 0 && mb < 64);
    }
    return 0;
}
