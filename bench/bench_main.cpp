// quarle-bench: speed and memory figures of QUARLE on generated disc images, each against its target.
//   quarle-bench [--quick] [WORKDIR]
// A ratio is the median of interleaved pairs' own ratios, any other figure the median of several runs,
// each with its spread (InterleavedRuns.h). The window's figures come from quarle-bench-window.
#include "DiscImage.h"
#include "InterleavedRuns.h"
#include "Report.h"
#include "disc/Quarle.h"
#include "disc/ReadCrc.h"
#include "encoder/MP3Coder.h"
#include "encoder/ReplayGain.h"
#include "lookup/Cddb.h"
#include "lookup/CtdbDb.h"
#include "lookup/DocumentFetcher.h"
#include "lookup/MusicBrainz.h"
#include "platform/CdRipLibrary.h"
#include "platform/NewFile.h"
#include "rip/CueSheet.h"
#include "rip/ExtractionRun.h"
#include "rip/RipVerification.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

// bench/DirectLame.cpp
void encodeDirectly(const QByteArray &pcm, const QString &out);

namespace
{

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
    // A rip into a new name, as most are: one that replaces an old file also puts the new one on the disk
    // (fsync) before the rename, which the sides it is compared with never do.
    for (const char *ext : {".wav", ".mp3", ".flac"})
        QFile::remove(out.left(out.lastIndexOf('.')) + ext);
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

// A disc of `tracks` tracks, each `sectors` long.
DiscImage makeDisc(const QString &base, int tracks, int32_t sectors)
{
    std::vector<DiscTrack> disc;
    for (int i = 0; i < tracks; ++i)
        disc.push_back(DiscTrack::music(sectors, 110.0 + 20 * i));
    DiscImage image;
    QString error;
    if (!writeDiscImage(base, disc, &image, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(base), qPrintable(error));
        std::exit(1);
    }
    return image;
}

// Every track of the disc read through the library and nothing else, jitter correction on (the whole
// track of a disc of one).
void readDisc(const QString &cue, const CdRipApi &api)
{
    qputenv("QUARLE_DRIVES", ("D=" + cue).toLocal8Bit());
    TQuarle quarle(nullptr, api);
    quarle.setActiveCdRomNum(0);
    quarle.setJitterCorrect(true);
    api.CR_SetCDROMParameters(&TQuarle::activeDriveRecord());
    for (int i = 0; i < quarle.Tracks().Count(); ++i) {
        const TTrack *track = quarle.Tracks().object(i);
        int32_t chunkBytes = 0;
        if (api.CR_OpenRipper(&chunkBytes, track->StartSector, track->EndSector) == CR_ERROR)
            std::exit(1);
        std::vector<uint8_t> buffer(static_cast<size_t>(chunkBytes));
        int32_t bytes = 0;
        while (api.CR_RipChunk(buffer.data(), &bytes) != CR_RIP_DONE) {
        }
        api.CR_CloseRipper();
    }
}

// The whole disc extracted to FLAC by a run, as the window makes one (tags, ReplayGain, the log), into
// an empty folder; the database unreachable at once.
void extractDisc(const QString &cue, const CdRipApi &api, const QString &folder, bool testAndCopy)
{
    qputenv("QUARLE_DRIVES", ("D=" + cue).toLocal8Bit());
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    TQuarle quarle(nullptr, api);
    TMP3Coder coder;
    quarle.setActiveCdRomNum(0);
    quarle.setCoder(&coder);
    quarle.setJitterCorrect(true);
    TExtractionPlan plan;
    plan.format = AudioFormat::Flac;
    plan.folder = folder + "/";
    plan.discLabel = "Artista - Album";
    plan.testAndCopy = testAndCopy;
    const int count = quarle.Tracks().Count();
    for (int i = 0; i < count; ++i) {
        Mp3TagFields tags;
        tags.title = QString("Titolo %1").arg(i + 1);
        tags.track = QString("%1/%2").arg(i + 1).arg(count);
        tags.artist = "Artista";
        tags.album = "Album";
        plan.rows.push_back({i, uint16_t(i + 1), tags.title, quarle.Tracks().caption(i), {}, tags});
    }
    NameFiles(plan, false);
    TExtractionRun run(quarle, coder, plan, [](THttpCli &, const ProxySettings &, const QString &, qint64) {
        return TFetchedFile{TFetchedFile::Unreachable, {}};
    });
    run.Start();
    run.Wait();
}

// The first track of `cue` ripped to MP3 or FLAC.
struct PeakRip {
    QString cue;
    bool flac = false;
};

// Peak resident memory, in MiB, of this program making each rip in a child (-1 where a child failed).
// The children run side by side, which shares out the cores and changes no peak: a rip's memory does
// not depend on its pace (its ring of chunks is allocated once, and a full ring makes the reader wait).
std::vector<double> childPeaksMiB(const std::vector<PeakRip> &rips, const QString &work)
{
    std::vector<std::unique_ptr<QProcess>> children;
    for (const PeakRip &rip : rips) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(QCoreApplication::applicationFilePath(),
                               {rip.flac ? "--child-rip-flac" : "--child-rip", rip.cue,
                                work + QString("/peak-%1.wav").arg(children.size())});
    }
    std::vector<double> peaks;
    for (const std::unique_ptr<QProcess> &child : children) {
        const bool done = child->waitForFinished(300 * 1000) && child->exitStatus() == QProcess::NormalExit &&
                          child->exitCode() == 0;
        // "13596 kB"
        peaks.push_back(done ? child->readAllStandardOutput().split(' ').value(0).toDouble() / 1024.0 : -1);
    }
    return peaks;
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

// The AccurateRip checksums every rip of stereo 44100 Hz samples accumulates, alone, over `pcm` fed in
// the library's chunks.
uint32_t checksumsAlone(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const uint8_t *>(pcm.constData());
    const size_t frames = size_t(pcm.size() / 4);
    const size_t chunk = size_t(CdRipChunkSectors) * TAccurateRipChecksum::FramesPerSector;
    TAccurateRipChecksum sum;
    sum.Start(uint32_t(frames), true, true);
    for (size_t at = 0; at < frames; at += chunk)
        sum.Add(samples + at * 4, std::min(chunk, frames - at), at);
    return sum.V1() ^ sum.V2();
}

// The CRCs the CUETools database keeps of `pcm` as the disc's one track, alone, fed in the library's
// chunks: the read's CRC-32 (which the log's copy CRC is too) with the window the database checks, and
// the disc's CRC from the track's.
uint32_t ctdbCrcsAlone(const QByteArray &pcm)
{
    const int32_t sectors = int32_t(pcm.size() / 2352);
    const TCtdbTrackSpan span = CtdbDiscOf({{0, true}}, sectors).tracks.at(0);
    const uint64_t bytes = uint64_t(pcm.size());
    TReadCrc crc(TReadCrc::Window{span.skipFirst * 4u, bytes - span.skipLast * 4u});
    const size_t chunk = size_t(CdRipChunkSectors) * 2352;
    for (size_t at = 0; at < size_t(bytes); at += chunk)
        crc.Add(reinterpret_cast<const uint8_t *>(pcm.constData()) + at, std::min(chunk, size_t(bytes) - at));
    return TReadCrc::Combine(0, crc.WindowCrc().value_or(0), bytes - (span.skipFirst + span.skipLast) * 4u) ^
           crc.Crc();
}

// ReplayGain's measurement of `pcm`, fed in the library's chunks as a rip feeds it.
void replayGainAlone(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const int16_t *>(pcm.constData());
    const size_t count = size_t(pcm.size() / 2);
    const size_t chunk = size_t(CdRipChunkSectors) * TAccurateRipChecksum::FramesPerSector * 2;
    TReplayGainTrack track(44100, 2);
    for (size_t at = 0; at < count; at += chunk)
        track.Add(samples + at, std::min(chunk, count - at));
    track.Finish();
}

// How many times each figure runs. The pairs of a run of a few seconds (an MP3 or FLAC rip, a
// conversion) spread by 10 to 30 % here, the machine's pace changing within a run: 8 pairs. A rip to
// WAV takes a fraction of a second and its pairs spread by 30 % and more: 32. An even number, so that
// as many pairs have each side first; a side that gains from going first or second then pulls the
// median neither way. A rip from the simulated 20x drive takes 30 s, mostly waiting, and its pairs
// agree within 2 %: 3.
struct Counts {
    int pairs = 8;
    int fastPairs = 32;
    int slowPairs = 3;
    int memoryRuns = 3;
};

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
    Counts counts;
    if (args.value(0) == "--quick") {
        counts = {4, 8, 1, 1};
        args.removeFirst();
    }
    QTemporaryDir temp;
    const QString work = args.isEmpty() ? temp.path() : args[0];
    QDir().mkpath(work);
    QElapsedTimer total;
    total.start();

    const int32_t tenMinutes = 10 * 60 * 75;
    const DiscImage ten = makeImage(work + "/ten", tenMinutes);
    const double tenSeconds = tenMinutes / 75.0;
    std::printf("QUARLE benchmarks, %s: ratios are medians of interleaved pairs' own, other figures medians "
                "of runs, with the smallest and largest\n\n",
                qPrintable(work));

    // (a) Ripping to MP3 against encoding the same PCM directly with libmp3lame, jitter correction on and
    // off. (g), (k) and (r): the AccurateRip checksums, ReplayGain's measurement and the CTDB's CRCs of
    // the same 10 minutes, alone, against the rip's processor time; they take a few milliseconds, so they
    // ride along in the same rounds instead of rounds of their own.
    measure("agkr", [&] {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        uint32_t checksums = 0;
        const InterleavedRuns runs(counts.pairs,
                                   {[&] { checksums = checksumsAlone(pcm); }, [&] { replayGainAlone(pcm); },
                                    [&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true); },
                                    [&] { encodeDirectly(pcm, work + "/direct.mp3"); },
                                    [&] { ripTrack(ten.cuePath, work + "/rip.wav", true, false); },
                                    [&] { checksums ^= ctdbCrcsAlone(pcm); }});
        enum { Checksums, Gain, Rip, Lame, RipOff, Ctdb };
        std::printf("  wall: rip to MP3 %.2f s (jitter correction off %.2f s), libmp3lame directly %.2f s\n",
                    runs.side(Rip, &Times::wall).median, runs.side(RipOff, &Times::wall).median,
                    runs.side(Lame, &Times::wall).median);
        std::printf(
            "  processor: rip to MP3 %.2f s (jitter correction off %.2f s), libmp3lame directly %.2f s, "
            "ReplayGain %.3f s (checksums %08x)\n",
            runs.side(Rip, &Times::cpu).median, runs.side(RipOff, &Times::cpu).median,
            runs.side(Lame, &Times::cpu).median, runs.side(Gain, &Times::cpu).median, checksums);
        const Spread wall = runs.ratio(Rip, Lame, &Times::wall);
        report("(a) rip 10 min to MP3 / libmp3lame on the same PCM, wall", wall, "x", "<= 1.02",
               wall.median <= 1.02);
        const Spread off = runs.ratio(RipOff, Lame, &Times::wall);
        report("(a) the same, jitter correction off, wall", off, "x", "<= 1.02", off.median <= 1.02);
        const Spread cpu = runs.ratio(Rip, Lame, &Times::cpu);
        report("(a) rip 10 min to MP3 / libmp3lame, processor", cpu, "x", "<= 1.05", cpu.median <= 1.05);
        note("(g) AccurateRip checksums of 10 min alone, processor",
             runs.side(Checksums, &Times::cpu).scaled(1000), "ms", 1);
        note("(g) the checksums / that rip to MP3, processor",
             runs.ratio(Checksums, Rip, &Times::cpu).scaled(100), "%", 2);
        const Spread gain = runs.ratio(Gain, Rip, &Times::cpu).scaled(100);
        report("(k) ReplayGain / that rip to MP3, processor", gain, "%", "<= 1", gain.median <= 1, 2);
        const Spread ctdb = runs.ratio(Ctdb, Rip, &Times::cpu).scaled(100);
        report("(r) CTDB CRCs / that rip to MP3, processor", ctdb, "%", "<= 1", ctdb.median <= 1, 2);
    });

    // (f) and (j) Ripping to MP3 and to FLAC from a drive that reads at 20x real time, each against
    // reading alone from it, which sits between them in every round.
    measure("fj", [&] {
        const CdRipApi drive = driveAtSpeed(20);
        const InterleavedRuns runs(
            counts.slowPairs,
            {[&] { ripTrack(ten.cuePath, work + "/rip.wav", true, true, drive); },
             [&] { readDisc(ten.cuePath, drive); },
             [&] { ripTrack(ten.cuePath, work + "/rip.wav", false, true, drive, true, true); }});
        enum { Mp3, Read, Flac };
        std::printf("  wall: rip to MP3 %.2f s, reading alone %.2f s, rip to FLAC %.2f s\n",
                    runs.side(Mp3, &Times::wall).median, runs.side(Read, &Times::wall).median,
                    runs.side(Flac, &Times::wall).median);
        const Spread mp3 = runs.ratio(Mp3, Read, &Times::wall);
        report("(f) rip 10 min to MP3 at 20x / reading alone at 20x", mp3, "x", "<= 1.05",
               mp3.median <= 1.05);
        const Spread flac = runs.ratio(Flac, Read, &Times::wall);
        report("(j) rip 10 min to FLAC at 20x / reading alone at 20x", flac, "x", "<= 1.02",
               flac.median <= 1.02);
    });

    // (l) A whole disc of 12 tracks of 30 s to FLAC through the run, from the drive at 20x, against
    // reading the same disc alone: every cost a track adds (its files, tags, the log, verification)
    // weighs most on short tracks. (m) The same with "Prova e copia", which reads every track twice,
    // against reading the disc alone twice.
    measure("lm", [&] {
        const DiscImage disc = makeDisc(work + "/twelve", 12, 30 * 75);
        const CdRipApi drive = driveAtSpeed(20);
        const InterleavedRuns runs(counts.slowPairs,
                                   {[&] { extractDisc(disc.cuePath, drive, work + "/disc", false); },
                                    [&] { readDisc(disc.cuePath, drive); },
                                    [&] { extractDisc(disc.cuePath, drive, work + "/disc", true); }});
        enum { Run, Read, TestAndCopy };
        std::printf("  wall: run %.2f s, reading alone %.2f s, run with Prova e copia %.2f s\n",
                    runs.side(Run, &Times::wall).median, runs.side(Read, &Times::wall).median,
                    runs.side(TestAndCopy, &Times::wall).median);
        const Spread run = runs.ratio(Run, Read, &Times::wall);
        report("(l) 12 tracks to FLAC at 20x through the run / reading alone", run, "x", "<= 1.02",
               run.median <= 1.02);
        const Spread twice = runs.each([](const std::vector<Times> &t) {
            return t[TestAndCopy].wall / (2 * t[Read].wall);
        });
        report("(m) the same with Prova e copia / reading alone twice", twice, "x", "<= 1.02",
               twice.median <= 1.02);
    });

    // (n) The log and the cue sheet of a disc of 99 tracks, made and written into new files, as at a
    // run's end.
    measure("n", [&] {
        TRipVerification::Setup setup;
        TCueDisc cue{.catalog = "8012345678901", .performer = "Artista", .title = "Album", .fileType = "WAVE"};
        for (int i = 0; i < 99; ++i) {
            setup.toc.push_back({i * 3000, true});
            setup.layout.push_back({i % 3 ? 0 : 150, QString("ITA01230%1").arg(i, 4, 10, QChar('0')), i % 7 == 0});
            cue.tracks.push_back({.number = i + 1,
                                  .file = QString("%1 - Titolo della traccia.flac").arg(i + 1, 2, 10, QChar('0')),
                                  .title = "Titolo della traccia",
                                  .performer = "Artista",
                                  .isrc = setup.layout.back().isrc,
                                  .pregapSectors = setup.layout.back().pregapSectors,
                                  .previousFileSectors = 3000});
        }
        setup.leadOutSector = 99 * 3000;
        setup.settings = {"Correzione del jitter: sì", "Prova e copia: sì", "Formato: FLAC, compressione 8"};
        TRipVerification log(setup);
        for (int i = 0; i < 99; ++i) {
            TTrackOutcome complete{TTrackOutcome::Complete, 0, {}};
            log.AddTrack({i + 1, cue.tracks[size_t(i)].file, std::pair(0x1234u * i, 0x5678u * i), 0, complete,
                          0xabcdu * i, 0xabcdu * i, 2, true, 0.98, 0xfeedu * i});
        }
        log.SetAnswer({TFetchedFile::Absent, {}});
        log.SetCtdbAnswer({TFetchedFile::Absent, {}});
        const QString folder = work + "/logs";
        std::vector<double> times;
        for (int run = 0; run < 20; ++run) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            times.push_back(timeOf([&] {
                                log.WriteLog(folder + "/QUARLE.log", QDateTime::currentDateTime());
                                const QByteArray text = CueSheetText(cue);
                                ReplaceFile(folder + "/QUARLE.cue",
                                            [&](TNewFile &file) { return file.write(text) == text.size(); });
                            }).wall *
                            1000);
        }
        const Spread written = Spread::of(times);
        report("(n) log and cue sheet of 99 tracks, made and written", written, "ms", "< 20", written.median < 20, 2);
    });

    QFile wav(work + "/ten.wav");
    if (!wav.exists())
        ripTrack(ten.cuePath, wav.fileName(), false, false);

    // (b) The batch conversion against the lame program at the same settings.
    measure("b", [&] {
        const QString lamePath = QStandardPaths::findExecutable("lame");
        if (lamePath.isEmpty()) {
            std::printf("(b) the lame program is not installed: skipped\n");
            return;
        }
        TMP3Coder coder;
        const InterleavedRuns runs(
            counts.pairs, {[&] {
                               coder.setInputFiles({wav.fileName()});
                               coder.ProcessFiles();
                           },
                           [&] {
                               QProcess::execute(lamePath, {"--quiet", "-b", "128", "-m", "s", "-q", "5",
                                                            "-p", wav.fileName(), work + "/lame.mp3"});
                           }});
        std::printf("  wall: batch %.2f s, lame program %.2f s\n", runs.side(0, &Times::wall).median,
                    runs.side(1, &Times::wall).median);
        const Spread batch = runs.ratio(0, 1, &Times::wall);
        report("(b) batch of a 10 min WAV / the lame program, wall", batch, "x", "<= 1.0",
               batch.median <= 1.0);
    });

    // (c) Ripping to WAV, in multiples of real time. (g) The same rip with and without the AccurateRip
    // checksums, on the wall, and the checksums alone against its processor time. A rip here varies by
    // 10 % and more from run to run, for both sides alike, hence the many pairs.
    measure("cg", [&] {
        const QByteArray pcm = trackAudioBytes(ten.tracks[0]);
        for (bool jitter : {true, false}) {
            ripTrack(ten.cuePath, work + "/rip.wav", false, jitter); // the image into the page cache
            auto rip = [&](bool checksums) {
                ripTrack(ten.cuePath, work + "/rip.wav", false, jitter, CdRipApi::library(), checksums);
            };
            const InterleavedRuns runs(
                counts.fastPairs, {[&] { rip(true); }, [&] { rip(false); }, [&] { checksumsAlone(pcm); }});
            enum { With, Without, Checksums };
            const Spread speed = runs.each(
                [&](const std::vector<Times> &round) { return tenSeconds / round[With].wall; }, "runs");
            if (jitter)
                report("(c) rip 10 min to WAV, jitter correction on (x real time)", speed, "x", ">= 200",
                       speed.median >= 200, 0);
            else
                note("(c) rip 10 min to WAV, jitter correction off (x real time)", speed, "x", 0);
            const Spread ratio = runs.ratio(With, Without, &Times::wall);
            report(jitter ? "(g) that rip / without the checksums, wall"
                          : "(g) the same, jitter correction off",
                   ratio, "x", "<= 1.01", ratio.median <= 1.01);
            note(jitter ? "(g) the checksums / that rip's processor time, jitter on"
                        : "(g) the checksums / that rip's processor time, jitter off",
                 runs.ratio(Checksums, With, &Times::cpu).scaled(100), "%", 2);
        }
    });

    // (d) Peak memory of ripping to MP3 and to FLAC: it must not grow with the track. A track twice as
    // long shows that as well as a longer one would: whatever kept a share of the track would show
    // 10 MiB and more for each 10 minutes of 2 x 44100 x 16 bit.
    measure("d", [&] {
        const DiscImage twenty = makeImage(work + "/twenty", 2 * tenMinutes);
        std::vector<std::vector<double>> peaks(4); // MP3 10 and 20 min, FLAC 10 and 20 min
        for (int i = 0; i < counts.memoryRuns; ++i) {
            const std::vector<double> round = childPeaksMiB(
                {{ten.cuePath, false}, {twenty.cuePath, false}, {ten.cuePath, true}, {twenty.cuePath, true}},
                work);
            for (size_t rip = 0; rip < round.size(); ++rip)
                peaks[rip].push_back(round[rip]);
        }
        for (const bool flac : {false, true}) {
            const std::vector<double> &short_ = peaks[flac ? 2 : 0], &long_ = peaks[flac ? 3 : 1];
            std::vector<double> growth;
            for (size_t i = 0; i < short_.size(); ++i)
                growth.push_back(long_[i] - short_[i]);
            const Spread a = Spread::of(short_), b = Spread::of(long_), d = Spread::of(growth, "pairs");
            report(flac ? "(d) peak memory, rip 10 min to FLAC" : "(d) peak memory, rip 10 min to MP3", a,
                   "MiB", "< 64", a.low > 0 && a.median < 64, 1);
            report(flac ? "(d) peak memory, rip 20 min to FLAC" : "(d) peak memory, rip 20 min to MP3", b,
                   "MiB", "< 64", b.low > 0 && b.median < 64, 1);
            report(flac ? "(d) FLAC: 20 min - 10 min" : "(d) MP3: 20 min - 10 min", d, "MiB", "<= 2",
                   a.low > 0 && b.low > 0 && std::abs(d.median) <= 2, 2);
        }
    });

    // (i) Ripping to FLAC against the flac program at -8 on the same PCM, both verifying what they wrote
    // (the rip always does; the program with -V), in processor time (the program's as a child's). The
    // same rip to WAV in each round gives what the reading and the checksums cost, which the program
    // does not do: the rip's encoding is the FLAC rip less the WAV rip.
    measure("i", [&] {
        const QString flacPath = QStandardPaths::findExecutable("flac");
        if (flacPath.isEmpty()) {
            std::printf("(i) the flac program is not installed: skipped\n");
            return;
        }
        const InterleavedRuns runs(
            counts.pairs,
            {[&] { ripTrack(ten.cuePath, work + "/rip.wav", false, true, CdRipApi::library(), true, true); },
             [&] { ripTrack(ten.cuePath, work + "/rip.wav", false, true); },
             [&] {
                 QProcess::execute(flacPath,
                                   {"-8", "-V", "-s", "-f", "-o", work + "/program.flac", wav.fileName()});
             }});
        enum { Flac, Wav, Program };
        std::printf("  processor: rip to FLAC %.2f s, rip to WAV %.2f s, flac -8 -V %.2f s\n",
                    runs.side(Flac, &Times::cpu).median, runs.side(Wav, &Times::cpu).median,
                    runs.side(Program, &Times::cpu).median);
        const Spread whole = runs.ratio(Flac, Program, &Times::cpu);
        report("(i) rip 10 min to FLAC / flac -8 -V on the same PCM, processor", whole, "x", "<= 1.0",
               whole.median <= 1.0);
        const Spread encoding = runs.each([](const std::vector<Times> &round) {
            return (round[Flac].cpu - round[Wav].cpu) / round[Program].cpu;
        });
        report("(i) the rip's encoding (FLAC rip - WAV rip) / flac -8 -V", encoding, "x", "<= 1.0",
               encoding.median <= 1.0);
    });

    // (h) Peak memory of a lookup whose server answers 16 MiB of line breaks: the documents are bounded.
    // And of a MusicBrainz lookup answered with the largest document it takes.
    measure("h", [&] {
        std::vector<double> peaks;
        std::vector<double> musicBrainz;
        const QByteArray answer = musicBrainzAnswer();
        const QByteArray head =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + QByteArray::number(answer.size()) +
            "\r\n\r\n";
        for (int i = 0; i < counts.memoryRuns; ++i) {
            peaks.push_back(lookupPeakMiB("--child-lookup", work,
                                          "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
                                          QByteArray(64 * 1024, '\n'), 16 * 16));
            musicBrainz.push_back(lookupPeakMiB("--child-musicbrainz", work, head, answer, 1));
        }
        const Spread peak = Spread::of(peaks);
        report("(h) peak memory, lookup answered with 16 MiB of line breaks", peak, "MiB", "< 64",
               peak.low > 0 && peak.median < 64, 1);
        const Spread mb = Spread::of(musicBrainz);
        std::printf("    (MusicBrainz answer of %lld bytes)\n", static_cast<long long>(answer.size()));
        report("(h) peak memory, MusicBrainz lookup of 100 releases in 1 MiB", mb, "MiB", "< 64",
               mb.low > 0 && mb.median < 64, 1);
    });

    std::printf("quarle-bench: %.0f s\n", double(total.elapsed()) / 1000);
    return 0;
}
