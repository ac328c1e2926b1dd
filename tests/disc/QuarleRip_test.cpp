#include "disc/Quarle.h"

#include "FakeCdRip.h"
#include "Mp3Decode.h"
#include "TestDisc.h"
#include "disc/WavHeader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <stdexcept>
#include <thread>

namespace
{

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

uint32_t le32(const QByteArray &b, int at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

// The AccurateRip checksums of whole samples, and those the ripper accumulated during its latest rip.
std::pair<uint32_t, uint32_t> checksumsOf(const QByteArray &samples, bool firstTrack, bool lastTrack)
{
    TAccurateRipChecksum sum;
    sum.Start(uint32_t(samples.size() / 4), firstTrack, lastTrack);
    sum.Add(reinterpret_cast<const uint8_t *>(samples.constData()), size_t(samples.size() / 4));
    return {sum.V1(), sum.V2()};
}

std::pair<uint32_t, uint32_t> checksumsOf(const TQuarle &quarle)
{
    const TAccurateRipChecksum *sum = quarle.TrackChecksum();
    return sum ? std::pair{sum->V1(), sum->V2()} : std::pair{0u, 0u};
}

std::string ripError(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ECDRIPError &e) {
        return e.what();
    }
    return "<no error>";
}

// A ripper over the real library whose table the test may wrap.
struct Ripper {
    CdRipApi api = CdRipApi::library();
    std::unique_ptr<TQuarle> quarle;
    QStringList events;

    void start()
    {
        quarle = std::make_unique<TQuarle>(nullptr, api);
        quarle->setActiveCdRomNum(0);
        quarle->setWriteWav(true);
        quarle->OnBeginTrack = [this](QObject *, uint16_t n) { events << QString("begin %1").arg(n); };
        quarle->OnEndTrack = [this](QObject *, uint16_t n) { events << QString("end %1").arg(n); };
    }
};

// The encoder, with one call of the be* layer made to fail when asked.
struct FailingLame {
    static inline BE_ERR initCode = 0;
    static inline BE_ERR encodeCode = 0;
    static inline BE_ERR deinitCode = 0;
    static inline int closes = 0;

    static LameApi api()
    {
        LameApi a = DefaultLameApi();
        a.beInitStream = [](BE_CONFIG *c, uint32_t *s, uint32_t *b, HBE_STREAM *h) -> BE_ERR {
            return initCode ? initCode : DefaultLameApi().beInitStream(c, s, b, h);
        };
        a.beEncodeChunk = [](HBE_STREAM h, uint32_t n, const int16_t *in, uint8_t *out,
                             uint32_t *o) -> BE_ERR {
            *o = 0;
            return encodeCode ? encodeCode : DefaultLameApi().beEncodeChunk(h, n, in, out, o);
        };
        a.beDeinitStream = [](HBE_STREAM h, uint8_t *out, uint32_t *o) -> BE_ERR {
            const BE_ERR r = DefaultLameApi().beDeinitStream(h, out, o);
            return deinitCode ? deinitCode : r;
        };
        a.beCloseStream = [](HBE_STREAM h) -> BE_ERR {
            ++closes;
            return DefaultLameApi().beCloseStream(h);
        };
        return a;
    }
};

// What the ripper's coder makes of pcm: whole calls of SamplesPerChunk samples, then (with tail) the
// rest in one shorter call, then the flush.
QByteArray encodeInCalls(TMP3Coder &coder, const QByteArray &pcm, bool tail)
{
    EXPECT_EQ(coder.InitStream(), 0);
    std::vector<uint8_t> out(coder.Mp3BufferSize());
    QByteArray mp3;
    const qsizetype call = qsizetype(coder.SamplesPerChunk()) * 2;
    for (qsizetype at = 0; at < pcm.size(); at += call) {
        const qsizetype n = std::min(call, pcm.size() - at);
        if (n < call && !tail)
            break;
        uint32_t bytes = 0;
        EXPECT_EQ(coder.EncodeChunk(uint32_t(n / 2), reinterpret_cast<const int16_t *>(pcm.constData() + at),
                                    out.data(), bytes),
                  0);
        mp3.append(reinterpret_cast<const char *>(out.data()), bytes);
    }
    uint32_t bytes = 0;
    EXPECT_EQ(coder.DeinitStream(out.data(), bytes), 0);
    mp3.append(reinterpret_cast<const char *>(out.data()), bytes);
    // The Info frame goes over the first frame once the stream is flushed, as a rip does it.
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
    const uint8_t expected[44] = {0x52, 0x49, 0x46, 0x46, 0x94, 0xe1, 0x1a, 0x00, 0x57, 0x41, 0x56,
                                  0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                                  0x02, 0x00, 0x44, 0xac, 0x00, 0x00, 0x10, 0xb1, 0x02, 0x00, 0x04,
                                  0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x70, 0xe1, 0x1a, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), std::vector<uint8_t>(expected, expected + 44));

    const WavHeader mono = MakeWavHeaderForRange(TOutputFormat::MONO11025, 10, 10);
    const QByteArray m(reinterpret_cast<const char *>(mono.data()), 44);
    EXPECT_EQ(le32(m, 4), 36u);
    EXPECT_EQ(le32(m, 40), 0u);
    EXPECT_EQ(le32(m, 24), 11025u);
    EXPECT_EQ(le32(m, 28), 22050u);
    EXPECT_EQ(uint8_t(m[22]), 1);
    EXPECT_EQ(uint8_t(m[32]), 2);
    EXPECT_EQ(uint8_t(m[34]), 16);
}

TEST(QuarleRip, WavAndPcmHoldTheTrackExactly)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(200, 440), DiscTrack::tone(301, 1000)};
    TestDisc disc(tracks);
    Ripper r;
    r.start();
    const QByteArray samples = trackAudioBytes(tracks[1]);

    for (bool jitter : {true, false}) {
        r.quarle->setJitterCorrect(jitter);
        const QString wav = disc.dir() + "/Track 02.wav";
        r.quarle->RipTrack(2, wav);
        const QByteArray file = readFile(wav);
        ASSERT_EQ(file.size(), 44 + samples.size());
        EXPECT_TRUE(file.mid(44) == samples);
        EXPECT_EQ(le32(file, 4), uint32_t(file.size() - 8)) << "RIFF size matches the file";
        EXPECT_EQ(le32(file, 40), uint32_t(samples.size())) << "data size matches the samples";
        EXPECT_TRUE(file.startsWith("RIFF"));
        EXPECT_EQ(checksumsOf(*r.quarle), checksumsOf(samples, false, true)) << "the disc's last track";
    }

    r.quarle->setWriteWav(false);
    const QString pcm = disc.dir() + "/Track 01.pcm";
    r.quarle->RipTrack(1, pcm);
    EXPECT_TRUE(readFile(pcm) == trackAudioBytes(tracks[0]));
    EXPECT_EQ(checksumsOf(*r.quarle), checksumsOf(trackAudioBytes(tracks[0]), true, false));
    EXPECT_EQ(r.events, QStringList({"begin 2", "end 2", "begin 2", "end 2", "begin 1", "end 1"}));
    EXPECT_FALSE(QFileInfo::exists(disc.dir() + "/Track 01jitt")) << "no jitter, no log";
}

TEST(QuarleRip, OutputFormatsDeliverTheirSampleCounts)
{
    TestDisc disc({DiscTrack::tone(150, 440)});
    Ripper r;
    r.start();
    struct Case {
        TOutputFormat format;
        int channels;
        uint32_t rate;
    } cases[] = {{TOutputFormat::MONO44100, 1, 44100},
                 {TOutputFormat::STEREO22050, 2, 22050},
                 {TOutputFormat::MONO11025, 1, 11025}};
    for (const Case &c : cases) {
        r.quarle->setOutputFormat(c.format);
        const QString wav = disc.dir() + "/out.wav";
        r.quarle->RipTrack(1, wav);
        const QByteArray file = readFile(wav);
        EXPECT_EQ(file.size(), 44 + int64_t(150) * 588 * 2 * c.channels * c.rate / 44100) << int(c.format);
        EXPECT_EQ(uint8_t(file[22]), c.channels);
        EXPECT_EQ(le32(file, 24), c.rate);
        EXPECT_EQ(le32(file, 40), uint32_t(file.size() - 44));
        EXPECT_FALSE(r.quarle->TrackChecksum()) << "no checksums of converted samples";
    }
}

TEST(QuarleRip, Mp3PlaysAtTheLengthAndPitchOfTheTrack)
{
    // 11 s and a bit: not a whole number of encoder calls.
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(833, 660)};
    TestDisc disc(tracks);
    Ripper r;
    r.start();
    TMP3Coder coder;
    r.quarle->setCoder(&coder);
    r.quarle->setEncode(true);
    struct Case {
        TOutputFormat format;
        const char *name;
        int channels;
    } cases[] = {{TOutputFormat::STEREO44100, "stereo.wav", 2},
                 {TOutputFormat::MONO44100, "mono", 1},
                 {TOutputFormat::STEREO22050, "half.pcm", 2}};
    for (const Case &c : cases) {
        r.quarle->setOutputFormat(c.format);
        r.quarle->RipTrack(1, disc.dir() + "/" + c.name);
        const QString mp3 = disc.dir() + "/" + QFileInfo(c.name).completeBaseName() + ".mp3";
        ASSERT_TRUE(QFileInfo::exists(mp3)) << c.name;
        const TestPcm pcm = DecodeMp3(mp3);
        const double seconds = 833 / 75.0;
        // One frame of padding at each end and the encoder's delay at most.
        EXPECT_NEAR(pcm.seconds(), seconds, 1152.0 * 2 / pcm.rate + 0.01) << c.name;
        EXPECT_EQ(pcm.channels, c.channels) << c.name;
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), 660.0, 3.0) << c.name;
        EXPECT_FALSE(readFile(mp3).startsWith("RIFF")) << "no WAV header in an MP3";
        const auto expected = c.format == TOutputFormat::STEREO44100
                                  ? checksumsOf(trackAudioBytes(tracks[0]), true, true)
                                  : std::pair{0u, 0u};
        EXPECT_EQ(checksumsOf(*r.quarle), expected) << c.name;
    }
}

TEST(QuarleRip, CancelBeforeTheFirstChunkAndMidTrack)
{
    TestDisc disc({DiscTrack::tone(400, 440)});
    Ripper r;
    TQuarle *quarle = nullptr;
    int chunks = 0;
    int cancelAfter = 0; // chunks; 0 cancels as the run opens
    const auto open = r.api.CR_OpenRipper;
    r.api.CR_OpenRipper = [&](int32_t *size, int32_t first, int32_t last) {
        chunks = 0;
        const int32_t result = open(size, first, last);
        if (cancelAfter == 0)
            quarle->CancelRip();
        return result;
    };
    const auto rip = r.api.CR_RipChunk;
    r.api.CR_RipChunk = [&](uint8_t *b, int32_t *n) {
        const int32_t result = rip(b, n);
        if (++chunks == cancelAfter)
            quarle->CancelRip();
        return result;
    };
    r.start();
    quarle = r.quarle.get();
    TMP3Coder coder;
    quarle->setCoder(&coder);

    const QString wav = disc.dir() + "/a.wav", pcm = disc.dir() + "/a.pcm";
    quarle->RipTrack(1, wav);
    EXPECT_EQ(readFile(wav).size(), 44) << "the header alone";
    EXPECT_EQ(le32(readFile(wav), 40), 0u);
    quarle->setWriteWav(false);
    quarle->RipTrack(1, pcm);
    EXPECT_EQ(readFile(pcm).size(), 0);
    quarle->setEncode(true);
    quarle->RipTrack(1, pcm);
    EXPECT_EQ(DecodeMp3(disc.dir() + "/a.mp3").samples.size(), 0u) << "only the flush";
    EXPECT_EQ(r.events.count("end 1"), 3) << "OnEndTrack fires after a cancel";

    // Cancelled after three chunks: the WAV header tells the truth about the shorter file.
    cancelAfter = 3;
    quarle->setEncode(false);
    quarle->setWriteWav(true);
    quarle->RipTrack(1, wav);
    const QByteArray file = readFile(wav);
    EXPECT_EQ(file.size(), 44 + 3 * CdRipChunkSectors * 2352);
    EXPECT_EQ(le32(file, 40), uint32_t(file.size() - 44));
    EXPECT_EQ(le32(file, 4), uint32_t(file.size() - 8));
    // The next rip clears the request and runs whole.
    cancelAfter = -1;
    quarle->RipTrack(1, wav);
    EXPECT_EQ(readFile(wav).size(), 44 + 400 * 2352);
}

TEST(QuarleRip, Mp3IsTheCoderOnTheTrackPcmWhateverThePace)
{
    // 12 s and a bit, not a whole number of chunks nor of encoder calls.
    const std::vector<DiscTrack> tracks = {DiscTrack::music(901, 220)};
    TestDisc disc(tracks);
    Ripper r;
    QList<int> percents; // as the library answered, on whichever thread asked
    std::atomic<int> readerPause{0}, chunks{0};
    const auto rip = r.api.CR_RipChunk;
    r.api.CR_RipChunk = [&](uint8_t *b, int32_t *n) {
        if (readerPause && ++chunks % 7 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(readerPause));
        return rip(b, n);
    };
    const auto percent = r.api.CR_GetPercentCompleted;
    r.api.CR_GetPercentCompleted = [&] {
        const int32_t p = percent();
        percents << p;
        return p;
    };
    r.start();
    TMP3Coder coder;
    r.quarle->setCoder(&coder);
    r.quarle->setEncode(true);
    const QByteArray expected = encodeInCalls(coder, trackAudioBytes(tracks[0]), true);
    QList<int> progress;
    bool elsewhere = false;
    int encoderPause = 0;
    const auto caller = std::this_thread::get_id();
    r.quarle->OnProgress = [&](QObject *, uint16_t p, uint16_t) {
        progress << p;
        elsewhere |= std::this_thread::get_id() != caller;
        std::this_thread::sleep_for(std::chrono::milliseconds(encoderPause));
    };

    // A slow drive, a slow coder (the ring full), neither; jitter correction on and off.
    const struct {
        bool jitter;
        int reader, encoder;
    } cases[] = {{true, 0, 0}, {false, 30, 0}, {true, 0, 3}};
    for (const auto &c : cases) {
        r.quarle->setJitterCorrect(c.jitter);
        readerPause = c.reader;
        encoderPause = c.encoder;
        percents.clear();
        progress.clear();
        r.events.clear();
        r.quarle->RipTrack(1, disc.dir() + "/t.wav");
        EXPECT_TRUE(readFile(disc.dir() + "/t.mp3") == expected) << c.jitter << c.reader << c.encoder;
        EXPECT_EQ(progress, percents) << "one event per chunk, with the percentage asked right after it";
        EXPECT_EQ(progress.size(), (901 + CdRipChunkSectors - 1) / CdRipChunkSectors);
        EXPECT_EQ(r.events, QStringList({"begin 1", "end 1"}));
    }
    EXPECT_FALSE(elsewhere) << "events fire on the thread that called RipTrack";
}

TEST(QuarleRip, CancelOrFailedReadInAPipelinedRip)
{
    QTemporaryDir dir;
    FakeCdRip fake;
    fake.drives = {FakeCdRip::record("FAKE")};
    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(1000, 0)};
    fake.chunkResults = std::vector<int32_t>(40, CR_OK);
    TQuarle quarle(nullptr, fake.api());
    quarle.setActiveCdRomNum(0);
    TMP3Coder coder(FailingLame::api());
    quarle.setCoder(&coder);
    quarle.setEncode(true);
    QStringList events;
    quarle.OnEndTrack = [&](QObject *, uint16_t) { events << "end"; };
    // The coder is slower than the drive, so the reader is ahead when the cancel or the failure comes.
    quarle.OnProgress = [&](QObject *, uint16_t, uint16_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };

    enum Stop { AtBeginTrack, Cancel, Throw };
    for (const Stop stop : {AtBeginTrack, Cancel, Throw}) {
        quarle.OnBeginTrack = [&](QObject *, uint16_t) {
            if (stop == AtBeginTrack)
                quarle.CancelRip();
        };
        fake.onChunk = [&](size_t i) {
            if (i == 5 && stop == Cancel)
                quarle.CancelRip();
            if (i == 5 && stop == Throw)
                throw std::runtime_error("drive gone");
        };
        fake.calls.clear();
        events.clear();
        FailingLame::closes = 0;
        std::string error = "<no error>";
        try {
            quarle.RipTrack(1, dir.filePath("a.wav"));
        } catch (const std::runtime_error &e) {
            error = e.what();
        }
        const qsizetype calls = fake.calls.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(fake.calls.size(), calls) << stop << ": nothing left running";
        EXPECT_EQ(fake.calls.count("CR_RipChunk"), stop == AtBeginTrack ? 0 : 6) << stop;
        EXPECT_EQ(fake.calls.last(), "CR_CloseRipper") << stop;
        EXPECT_EQ(FailingLame::closes, 1) << stop << ": the stream is closed";
        EXPECT_EQ(error, stop == Throw ? "drive gone" : "<no error>");
        EXPECT_EQ(events, stop == Throw ? QStringList() : QStringList({"end"})) << stop;
        // The file holds the chunks read before the stop, encoded and flushed.
        QByteArray pcm;
        for (int i = 0; i < (stop == Cancel ? 6 : stop == Throw ? 5 : 0); ++i)
            pcm += QByteArray(fake.chunkBytes, char(i + 1));
        EXPECT_TRUE(readFile(dir.filePath("a.mp3")) == encodeInCalls(coder, pcm, false)) << stop;
    }
}

TEST(QuarleRip, ScriptedLibraryFailuresAndJitter)
{
    QTemporaryDir dir;
    FakeCdRip fake;
    fake.drives = {FakeCdRip::record("FAKE")};
    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(1000, 0x10), FakeCdRip::entry(2000, 0)};
    TQuarle quarle(nullptr, fake.api());
    quarle.setActiveCdRomNum(0);
    quarle.setWriteWav(false);
    QList<int> progress;
    QStringList events;
    quarle.OnProgress = [&](QObject *, uint16_t percent, uint16_t track) {
        progress << percent;
        EXPECT_EQ(track, 2);
    };
    quarle.OnEndTrack = [&](QObject *, uint16_t n) { events << QString("end %1").arg(n); };

    // Chunks that keep failing: progress keeps coming until a cancel; nothing is written for them.
    fake.chunkResults = std::vector<int32_t>(50, CR_ERROR);
    fake.onChunk = [&](size_t i) {
        if (i == 11)
            quarle.CancelRip();
    };
    quarle.RipTrack(2, dir.filePath("fail.pcm"));
    EXPECT_EQ(progress.size(), 12);
    EXPECT_EQ(progress.last(), 100);
    EXPECT_EQ(readFile(dir.filePath("fail.pcm")).size(), 0);
    EXPECT_TRUE(fake.calls.contains("CR_OpenRipper(1000,1999)"));
    fake.onChunk = nullptr;
    quarle.OnProgress = nullptr;

    // Jitter: positions logged as unsigned decimals; the log grows over rips and lands in "...jitt".
    fake.chunkResults = {CR_OK, CR_JITTER, CR_RIP_DONE};
    fake.jitterFirst = 1234;
    fake.jitterLast = -1;
    fake.jitterErrors = 1;
    quarle.RipTrack(2, dir.filePath("Track 02.pcm"));
    EXPECT_EQ(quarle.JitterErrors(), 1);
    EXPECT_EQ(readFile(dir.filePath("Track 02jitt")), "1234 4294967295\r\n");
    fake.chunkResults = {CR_OK, CR_RIP_DONE};
    quarle.RipTrack(1, dir.filePath("Track 01.pcm"));
    EXPECT_EQ(readFile(dir.filePath("Track 01jitt")), "1234 4294967295\r\n") << "the first rip's lines too";
    EXPECT_EQ(readFile(dir.filePath("Track 01.pcm")).size(), 2 * fake.chunkBytes);

    // A jitter log that cannot be written fails the rip like any other file: a folder in the way, a
    // full disk.
    ASSERT_TRUE(QDir(dir.path()).mkdir("blockedjitt"));
    ASSERT_TRUE(QFile::link("/dev/full", dir.filePath("fulljitt")));
    for (const char *name : {"blocked.pcm", "full.pcm"}) {
        fake.chunkResults = {CR_OK, CR_RIP_DONE};
        const std::string error = ripError([&] { quarle.RipTrack(1, dir.filePath(name)); });
        EXPECT_TRUE(error.starts_with("Cannot create file") || error == "Write error")
            << name << ": " << error;
    }

    // A cancel asked from the begin-track event ends that very rip before its first chunk.
    quarle.OnBeginTrack = [&](QObject *, uint16_t) { quarle.CancelRip(); };
    fake.calls.clear();
    quarle.RipTrack(1, dir.filePath("begin.pcm"));
    EXPECT_FALSE(fake.calls.contains("CR_RipChunk"));
    EXPECT_EQ(readFile(dir.filePath("begin.pcm")).size(), 0);
    quarle.OnBeginTrack = nullptr;

    // Parameters refused, or a failure inside the call.
    fake.setParametersResult = CR_ERROR;
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, dir.filePath("p.pcm")); }), "Invalid CD-ROM parameters");
    fake.setParametersResult = CR_OK;
    fake.throwInSetParameters = true;
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, dir.filePath("p.pcm")); }), "Error setting parameters");
    fake.throwInSetParameters = false;
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("p.pcm")));

    // The ripping run does not open: no file, no error, OnEndTrack all the same.
    fake.openResult = CR_ERROR;
    events.clear();
    quarle.RipTrack(1, dir.filePath("q.pcm"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("q.pcm")));
    EXPECT_EQ(events, QStringList({"end 1"}));
    fake.openResult = CR_OK;

    // A disk that is full: "Write error", the run closed, no jitter file, no OnEndTrack.
    fake.chunkResults = {CR_JITTER, CR_RIP_DONE};
    fake.calls.clear();
    events.clear();
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, "/dev/full"); }), "Write error");
    EXPECT_TRUE(fake.calls.endsWith("CR_CloseRipper"));
    EXPECT_TRUE(fake.calls.contains("CR_GetNumberOfJitterErrors"));
    EXPECT_FALSE(QFileInfo::exists("/dev/fulljitt"));
    EXPECT_TRUE(events.isEmpty());

    // A track number outside the list fails after OnBeginTrack, before any library call.
    fake.calls.clear();
    EXPECT_EQ(ripError([&] { quarle.RipTrack(3, dir.filePath("x.pcm")); }), "List index out of bounds (2)");
    EXPECT_TRUE(fake.calls.isEmpty());
}

TEST(QuarleRip, EncoderFailures)
{
    QTemporaryDir dir;
    FakeCdRip fake;
    fake.drives = {FakeCdRip::record("FAKE")};
    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(1000, 0)};
    fake.chunkResults = {CR_OK, CR_OK, CR_RIP_DONE};
    TQuarle quarle(nullptr, fake.api());
    quarle.setActiveCdRomNum(0);
    TMP3Coder coder(FailingLame::api());
    quarle.setCoder(&coder);
    quarle.setEncode(true);

    // Encode without a coder: an empty MP3 file, nothing encoded.
    quarle.setCoder(nullptr);
    quarle.RipTrack(1, dir.filePath("none.wav"));
    EXPECT_EQ(readFile(dir.filePath("none.mp3")).size(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("none.mp3")));
    quarle.setCoder(&coder);

    FailingLame::initCode = 2;
    fake.calls.clear();
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, dir.filePath("a.wav")); }),
              "The MP3 encoder could not start (error 2)");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.mp3"))) << "refused before the file is created";
    EXPECT_TRUE(fake.calls.endsWith("CR_CloseRipper"));
    FailingLame::initCode = 0;

    FailingLame::encodeCode = 5;
    FailingLame::closes = 0;
    fake.calls.clear();
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, dir.filePath("b.wav")); }), "beEncodeChunk failed 5");
    EXPECT_EQ(FailingLame::closes, 1) << "the stream is closed";
    EXPECT_TRUE(fake.calls.endsWith("CR_CloseRipper"));
    FailingLame::encodeCode = 0;

    FailingLame::deinitCode = 4;
    EXPECT_EQ(ripError([&] { quarle.RipTrack(1, dir.filePath("c.wav")); }), "beDeinitStream failed 4");
    FailingLame::deinitCode = 0;
    EXPECT_GT(readFile(dir.filePath("c.mp3")).size(), 0);
}

TEST(QuarleRip, TheRipperKeepsItsCoderInStep)
{
    FakeCdRip fake;
    fake.drives = {FakeCdRip::record("FAKE", 0, uint8_t(TOutputFormat::MONO22050))};
    TQuarle quarle(nullptr, fake.api());
    TMP3Coder coder;
    quarle.setCoder(&coder);
    EXPECT_EQ(coder.Mode(), MONO) << "set from the library's output format";
    EXPECT_EQ(coder.SampleRate(), 22050u);

    coder.setMode(JSTEREO);
    coder.setSampleRate(32000);
    quarle.setOutputFormat(TOutputFormat::MONO22050);
    EXPECT_EQ(coder.Mode(), JSTEREO) << "the same format leaves the coder alone";
    quarle.setOutputFormat(TOutputFormat::STEREO11025);
    EXPECT_EQ(coder.Mode(), STEREO);
    EXPECT_EQ(coder.SampleRate(), 11025u);
    EXPECT_EQ(coder.InputChannels(), 2);
    coder.setSampleRate(44100);
    quarle.setCoder(&coder);
    EXPECT_EQ(coder.SampleRate(), 11025u) << "setting the coder always configures it";
}
