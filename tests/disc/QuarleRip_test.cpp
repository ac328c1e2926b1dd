#include "disc/Quarle.h"

#include "FakeCdRip.h"
#include "FlacDecode.h"
#include "Mp3Decode.h"
#include "TestDisc.h"
#include "disc/WavHeader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace
{

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Rips a track; the error it raised, if any.
std::string rip(TQuarle &quarle, uint16_t track, const QString &name)
{
    try {
        quarle.RipTrack(track, name);
    } catch (const std::runtime_error &e) {
        return e.what();
    }
    return "<no error>";
}

// The AccurateRip checksums of the first samples of a track of trackFrames frames (all of it by default).
std::pair<uint32_t, uint32_t> checksumsOf(const QByteArray &samples, bool firstTrack, bool lastTrack,
                                          uint32_t trackFrames = 0)
{
    TAccurateRipChecksum sum;
    sum.Start(trackFrames ? trackFrames : uint32_t(samples.size() / 4), firstTrack, lastTrack);
    sum.Add(reinterpret_cast<const uint8_t *>(samples.constData()), size_t(samples.size() / 4), 0);
    return {sum.V1(), sum.V2()};
}

// The encoder, with one call of the be* layer made to fail when asked.
struct FailingLame {
    static inline BE_ERR initCode = 0, encodeCode = 0, deinitCode = 0;
    static inline int closes = 0;

    static LameApi api()
    {
        LameApi a = DefaultLameApi();
        a.beInitStream = [](BE_CONFIG *c, uint32_t *s, uint32_t *b, HBE_STREAM *h) -> BE_ERR {
            return initCode ? initCode : DefaultLameApi().beInitStream(c, s, b, h);
        };
        a.beEncodeChunk = [](HBE_STREAM h, uint32_t n, const int16_t *in, uint8_t *out,
                             uint32_t *o) -> BE_ERR {
            return encodeCode ? encodeCode : DefaultLameApi().beEncodeChunk(h, n, in, out, o);
        };
        a.beDeinitStream = [](HBE_STREAM h, uint8_t *out, uint32_t *o) -> BE_ERR {
            return std::max(DefaultLameApi().beDeinitStream(h, out, o), deinitCode); // flushed all the same
        };
        a.beCloseStream = [](HBE_STREAM h) -> BE_ERR {
            ++closes;
            return DefaultLameApi().beCloseStream(h);
        };
        return a;
    }
};

// An MP3 ripper over the scripted library: one audio track of 1000 sectors, the failing encoder.
struct FakeRipper {
    FakeCdRip fake;
    TMP3Coder coder{FailingLame::api()};
    std::unique_ptr<TQuarle> quarle;

    FakeRipper()
    {
        fake.drives = {FakeCdRip::record("FAKE")};
        fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(1000, 0)};
        quarle = std::make_unique<TQuarle>(nullptr, fake.api());
        quarle->setActiveCdRomNum(0);
        quarle->setCoder(&coder);
        quarle->setFormat(AudioFormat::Mp3);
        FailingLame::initCode = FailingLame::encodeCode = FailingLame::deinitCode = 0;
        FailingLame::closes = 0;
    }
};

// What the ripper's coder makes of pcm: whole calls of SamplesPerChunk samples, then (with tail) the
// rest in one shorter call, then the flush and the Info frame over the first frame.
QByteArray encodeInCalls(TMP3Coder &coder, const QByteArray &pcm, bool tail)
{
    EXPECT_EQ(coder.InitStream(), 0);
    std::vector<uint8_t> out(coder.Mp3BufferSize());
    QByteArray mp3;
    const qsizetype call = qsizetype(coder.SamplesPerChunk()) * 2;
    for (qsizetype at = 0; at < pcm.size() && (tail || pcm.size() - at >= call); at += call) {
        uint32_t bytes = 0;
        EXPECT_EQ(coder.EncodeChunk(uint32_t(std::min(call, pcm.size() - at) / 2),
                                    reinterpret_cast<const int16_t *>(pcm.constData() + at), out.data(),
                                    bytes),
                  0);
        mp3.append(reinterpret_cast<const char *>(out.data()), bytes);
    }
    uint32_t bytes = 0;
    EXPECT_EQ(coder.DeinitStream(out.data(), bytes), 0);
    mp3.append(reinterpret_cast<const char *>(out.data()), bytes);
    QTemporaryDir dir;
    QFile file(dir.filePath("expected.mp3"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(mp3) == mp3.size());
    file.close();
    EXPECT_EQ(coder.WriteInfoFrame(file.fileName()), 0);
    coder.CloseStream();
    return readFile(file.fileName());
}

} // namespace

TEST(QuarleRip, WavHeaderOfTheWorkedExample)
{
    const WavHeader h = MakeWavHeaderForRange(TOutputFormat::STEREO44100, 150, 899);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(h.data()), 44).toHex(),
              "5249464694e11a0057415645666d74201000000001000200"
              "44ac000010b10200040010006461746170e11a00");
}

// Over the real library: the samples and checksums of the audio before track 1 (track 0, never taken for
// track 1) and of the disc's first and last tracks, as bare PCM and as FLAC (decoded by libFLAC).
TEST(QuarleRip, RipsOfAGeneratedImage)
{
    std::vector<DiscTrack> tracks = {DiscTrack::tone(200, 440), DiscTrack::music(833, 660)};
    tracks[0].gap = 77;
    tracks[0].gapFrequency = 1000;
    TestDisc disc(tracks);
    TQuarle quarle;
    quarle.setActiveCdRomNum(0);
    ASSERT_EQ(quarle.HiddenTrack()->EndSector, 76);
    // A window in track 2's first 300 sectors (from sector 277): a rip of it gives its CRC too, unless
    // converted.
    quarle.setCrcWindows({{(77 + 200) * 588 + 100, (77 + 200 + 300) * 588}});
    for (const uint16_t n : {0, 1, 2}) {
        quarle.setFormat(AudioFormat::Flac);
        quarle.RipTrack(n, disc.dir() + "/t.pcm");
        const std::vector<int16_t> flac = DecodeFlac(disc.dir() + "/t.flac");
        quarle.setFormat(AudioFormat::Pcm);
        quarle.RipTrack(n, disc.dir() + "/t.pcm");
        const QByteArray samples = n ? trackAudioBytes(tracks[n - 1]) : gapAudioBytes(tracks[0]);
        EXPECT_TRUE(readFile(disc.dir() + "/t.pcm") == samples) << n;
        EXPECT_TRUE(QByteArray(reinterpret_cast<const char *>(flac.data()), qsizetype(flac.size() * 2)) ==
                    samples);
        const TAccurateRipChecksum *sum = quarle.TrackChecksum();
        EXPECT_EQ(std::pair(sum->V1(), sum->V2()), checksumsOf(samples, n == 1, n == 2)) << n;
        const QByteArray window = samples.mid(400, (300 * 588 - 100) * 4);
        EXPECT_EQ(quarle.WindowCrc(),
                  n == 2
                      ? std::optional(uint32_t(crc32_z(0, reinterpret_cast<const Bytef *>(window.constData()),
                                                       size_t(window.size()))))
                      : std::nullopt)
            << n;
    }
    quarle.setOutputFormat(TOutputFormat::MONO44100);
    quarle.RipTrack(2, disc.dir() + "/t.pcm");
    EXPECT_FALSE(quarle.WindowCrc());
}

// Every failure is raised after the run, the coder's stream and the file are closed; the new file goes
// and a file at the track's name stays as it was. A full disk is told by the system's words.
TEST(QuarleRip, FailuresEndTheRipCleanly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("blockedjitt"));
    const QByteArray old = "the user's own file";
    const struct {
        const char *name;
        int32_t chunkBytes;
        BE_ERR *code; // of the encoder call made to fail
        BE_ERR value;
        rlim_t fileSize;   // the largest file the rip may write; 0 for no bound
        std::string error; // its start
        bool streamOpened;
    } rows[] = {
        {"nochunk", 0, nullptr, 0, 0, "The CD-reading library reported no chunk size", false},
        {"init", 9408, &FailingLame::initCode, 2, 0, "The MP3 encoder could not start (error 2)", false},
        {"encode", 9408, &FailingLame::encodeCode, 5, 0, "beEncodeChunk failed 5", true},
        {"deinit", 9408, &FailingLame::deinitCode, 4, 0, "beDeinitStream failed 4", true},
        {"blocked", 9408, nullptr, 0, 0,
         "Cannot create file \"" + dir.filePath("blockedjitt").toStdString() + "\"", true},
        {"diskfull", 9408, nullptr, 0, 1000, "Write error (File too large)", true},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto &row : rows) {
        FakeRipper r;
        r.fake.chunkResults = {CR_OK, CR_JITTER, CR_OK};
        r.fake.chunkBytes = row.chunkBytes;
        if (row.code)
            *row.code = row.value;
        const QString mp3 = dir.filePath(QString(row.name) + ".mp3");
        QFile file(mp3);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit bound{row.fileSize ? row.fileSize : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &bound);
        const std::string error = rip(*r.quarle, 1, dir.filePath(QString(row.name) + ".wav"));
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(error.starts_with(row.error)) << row.name << ": " << error;
        EXPECT_TRUE(readFile(mp3) == old) << row.name;
        EXPECT_EQ(FailingLame::closes, int(row.streamOpened)) << row.name;
        EXPECT_EQ(r.fake.calls.last(), "CR_CloseRipper") << row.name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".quarle"), QStringList());
}

// A rip reads on a thread of its own: whatever the pace of the drive and of the coder, the file is the
// coder's output on the chunks read, each summed once into the checksums by one thread or the other,
// and a cancel or a failed read ends the rip within a chunk.
TEST(QuarleRip, PipelinedMp3Rip)
{
    QTemporaryDir dir;
    FakeRipper r;
    TQuarle &quarle = *r.quarle;
    QStringList events;
    quarle.OnEndTrack = [&](QObject *, uint16_t) { events << "end"; };
    bool elsewhere = false;
    const auto caller = std::this_thread::get_id();

    // With a stop, the coder is slower than the drive, so the reader is ahead when the stop comes.
    enum Stop { None, AtBeginTrack, Cancel, Throw };
    const struct {
        Stop stop;
        int reader, coder; // pauses, ms
        int chunks;        // read, and written to the file
    } rows[] = {{None, 0, 0, 41},        {None, 30, 0, 41}, {None, 0, 3, 41},
                {AtBeginTrack, 0, 2, 0}, {Cancel, 0, 2, 6}, {Throw, 0, 2, 5}};
    for (const auto &row : rows) {
        r.fake.chunkResults = std::vector<int32_t>(40, CR_OK);
        quarle.OnBeginTrack = [&](QObject *, uint16_t) {
            if (row.stop == AtBeginTrack)
                quarle.CancelRip();
        };
        r.fake.onChunk = [&](size_t i) {
            if (row.reader && i % 7 == 6)
                std::this_thread::sleep_for(std::chrono::milliseconds(row.reader));
            if (i == 5 && row.stop == Cancel)
                quarle.CancelRip();
            if (i == 5 && row.stop == Throw)
                throw std::runtime_error("drive gone");
        };
        quarle.OnProgress = [&](QObject *, uint16_t, uint16_t) {
            elsewhere |= std::this_thread::get_id() != caller;
            std::this_thread::sleep_for(std::chrono::milliseconds(row.coder));
        };
        r.fake.calls.clear();
        events.clear();
        FailingLame::closes = 0;
        const QByteArray before = readFile(dir.filePath("a.mp3"));
        const std::string error = rip(quarle, 1, dir.filePath("a.wav"));
        const qsizetype calls = r.fake.calls.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(r.fake.calls.size(), calls) << row.stop << ": nothing left running";
        EXPECT_EQ(r.fake.calls.count("CR_RipChunk"), row.stop == Throw ? 6 : row.chunks) << row.stop;
        EXPECT_EQ(r.fake.calls.last(), "CR_CloseRipper") << row.stop;
        EXPECT_EQ(FailingLame::closes, 1) << row.stop << ": the stream is closed";
        EXPECT_EQ(error, row.stop == Throw ? "drive gone" : "<no error>");
        EXPECT_EQ(events, row.stop == Throw ? QStringList() : QStringList({"end"})) << row.stop;
        QByteArray pcm;
        for (int i = 0; i < row.chunks; ++i)
            pcm += QByteArray(r.fake.chunkBytes, char(i + 1));
        // A failure leaves the file of the rip before as it was.
        EXPECT_TRUE(readFile(dir.filePath("a.mp3")) ==
                    (row.stop == Throw ? before : encodeInCalls(r.coder, pcm, row.stop == None)))
            << row.stop << row.reader << row.coder;
        const TAccurateRipChecksum *sum = quarle.TrackChecksum();
        EXPECT_EQ(std::pair(sum->V1(), sum->V2()), checksumsOf(pcm, true, true, 1000 * 588))
            << row.stop << row.reader << row.coder;
    }
    EXPECT_FALSE(elsewhere) << "events fire on the thread that called RipTrack";
}
