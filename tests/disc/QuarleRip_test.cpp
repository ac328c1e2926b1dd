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

// A ripper over the scripted library: one audio track of 1000 sectors, the failing encoder at hand.
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
    const uint8_t expected[44] = {0x52, 0x49, 0x46, 0x46, 0x94, 0xe1, 0x1a, 0x00, 0x57, 0x41, 0x56,
                                  0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                                  0x02, 0x00, 0x44, 0xac, 0x00, 0x00, 0x10, 0xb1, 0x02, 0x00, 0x04,
                                  0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x70, 0xe1, 0x1a, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), std::vector<uint8_t>(expected, expected + 44));
}

// Over the real library: the samples and checksums of the disc's first and last tracks, and MP3s of
// converted samples that play at the track's length and pitch.
TEST(QuarleRip, RipsOfAGeneratedImage)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(200, 440), DiscTrack::tone(833, 660)};
    TestDisc disc(tracks);
    TQuarle quarle;
    quarle.setActiveCdRomNum(0);
    quarle.setWriteWav(true);
    quarle.RipTrack(2, disc.dir() + "/Track 02.wav");
    const QByteArray samples = trackAudioBytes(tracks[1]);
    EXPECT_TRUE(readFile(disc.dir() + "/Track 02.wav").mid(44) == samples);
    EXPECT_EQ(checksumsOf(quarle), checksumsOf(samples, false, true));
    quarle.setWriteWav(false);
    quarle.RipTrack(1, disc.dir() + "/Track 01.pcm");
    EXPECT_TRUE(readFile(disc.dir() + "/Track 01.pcm") == trackAudioBytes(tracks[0]));
    EXPECT_EQ(checksumsOf(quarle), checksumsOf(trackAudioBytes(tracks[0]), true, false));

    TMP3Coder coder;
    quarle.setCoder(&coder);
    quarle.setEncode(true);
    for (const auto &[format, channels] :
         {std::pair{TOutputFormat::MONO44100, 1}, {TOutputFormat::STEREO22050, 2}}) {
        quarle.setOutputFormat(format);
        quarle.RipTrack(2, disc.dir() + "/t.wav");
        const TestPcm pcm = DecodeMp3(disc.dir() + "/t.mp3");
        // 11 s and a bit, not a whole number of encoder calls.
        EXPECT_NEAR(pcm.seconds(), 833 / 75.0, 1152.0 * 2 / pcm.rate + 0.01) << channels;
        EXPECT_EQ(pcm.channels, channels);
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), 660.0, 3.0) << channels;
    }
}

// The header was written for the whole range before ripping: its sizes must tell what the file holds.
TEST(QuarleRip, WavHeaderTellsTheBytesWrittenHoweverTheRipEnds)
{
    QTemporaryDir dir;
    enum End { Finished, Cancelled, Failed };
    for (const End end : {Finished, Cancelled, Failed}) {
        FakeRipper r;
        r.fake.chunkResults = std::vector<int32_t>(3, CR_OK);
        r.fake.onChunk = [&](size_t i) {
            if (i == 2 && end == Cancelled)
                r.quarle->CancelRip();
            if (i == 2 && end == Failed)
                throw std::runtime_error("drive gone");
        };
        r.quarle->setWriteWav(true);
        try {
            r.quarle->RipTrack(1, dir.filePath("a.wav"));
        } catch (const std::runtime_error &) {
        }
        const QByteArray file = readFile(dir.filePath("a.wav"));
        EXPECT_EQ(file.size(), 44 + (end == Finished    ? 4
                                     : end == Cancelled ? 3
                                                        : 2) *
                                        r.fake.chunkBytes)
            << end;
        EXPECT_EQ(le32(file, 40), uint32_t(file.size() - 44)) << end;
        EXPECT_EQ(le32(file, 4), uint32_t(file.size() - 8)) << end;
    }
}

// Every failure is raised after the run, the coder's stream and the file are closed.
TEST(QuarleRip, FailuresEndTheRipCleanly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("blockedjitt"));
    ASSERT_TRUE(QFile::link("/dev/full", dir.filePath("fulljitt")));
    ASSERT_TRUE(QFile::link("/dev/full", dir.filePath("disk.mp3")));
    const struct {
        const char *name;
        std::function<void(FakeRipper &)> setup;
        std::string error; // its start
        bool mp3Exists;
        int closes;
    } rows[] = {
        {"nochunk", [](FakeRipper &r) { r.fake.chunkBytes = 0; },
         "The CD-reading library reported no chunk size", false, 0},
        {"init", [](FakeRipper &) { FailingLame::initCode = 2; }, "The MP3 encoder could not start (error 2)",
         false, 0},
        {"encode", [](FakeRipper &) { FailingLame::encodeCode = 5; }, "beEncodeChunk failed 5", true, 1},
        {"deinit", [](FakeRipper &) { FailingLame::deinitCode = 4; }, "beDeinitStream failed 4", true, 1},
        {"disk", [](FakeRipper &) {}, "Write error", true, 1},
        {"blocked", [](FakeRipper &) {}, "Cannot create file", true, 1},
        {"full", [](FakeRipper &) {}, "Write error", true, 1},
    };
    for (const auto &row : rows) {
        FakeRipper r;
        r.fake.chunkResults = {CR_OK, CR_JITTER, CR_OK};
        r.quarle->setEncode(true);
        row.setup(r);
        std::string error = "<no error>";
        try {
            r.quarle->RipTrack(1, dir.filePath(QString(row.name) + ".wav"));
        } catch (const ECDRIPError &e) {
            error = e.what();
        }
        EXPECT_TRUE(error.starts_with(row.error)) << row.name << ": " << error;
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QString(row.name) + ".mp3")), row.mp3Exists) << row.name;
        EXPECT_EQ(FailingLame::closes, row.closes) << row.name;
        EXPECT_EQ(r.fake.calls.last(), "CR_CloseRipper") << row.name;
    }

    // A rip that succeeds logs the jitter positions as unsigned decimals next to the file.
    FakeRipper r;
    r.fake.chunkResults = {CR_OK, CR_JITTER, CR_RIP_DONE};
    r.fake.jitterFirst = 1234;
    r.fake.jitterLast = -1;
    r.quarle->RipTrack(1, dir.filePath("Track 01.pcm"));
    EXPECT_EQ(readFile(dir.filePath("Track 01jitt")), "1234 4294967295\r\n");
}

TEST(QuarleRip, Mp3IsTheCoderOnTheTrackPcmWhateverThePace)
{
    // 12 s and a bit, not a whole number of chunks nor of encoder calls.
    const std::vector<DiscTrack> tracks = {DiscTrack::music(901, 220)};
    TestDisc disc(tracks);
    CdRipApi api = CdRipApi::library();
    std::atomic<int> readerPause{0}, chunks{0};
    const auto rip = api.CR_RipChunk;
    api.CR_RipChunk = [&](uint8_t *b, int32_t *n) {
        if (readerPause && ++chunks % 7 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(readerPause));
        return rip(b, n);
    };
    TQuarle quarle(nullptr, api);
    quarle.setActiveCdRomNum(0);
    TMP3Coder coder;
    quarle.setCoder(&coder);
    quarle.setEncode(true);
    const QByteArray expected = encodeInCalls(coder, trackAudioBytes(tracks[0]), true);
    bool elsewhere = false;
    int encoderPause = 0;
    const auto caller = std::this_thread::get_id();
    quarle.OnProgress = [&](QObject *, uint16_t, uint16_t) {
        elsewhere |= std::this_thread::get_id() != caller;
        std::this_thread::sleep_for(std::chrono::milliseconds(encoderPause));
    };

    // A slow drive, a slow coder (the ring full), neither; jitter correction on and off.
    const struct {
        bool jitter;
        int reader, encoder;
    } cases[] = {{true, 0, 0}, {false, 30, 0}, {true, 0, 3}};
    for (const auto &c : cases) {
        quarle.setJitterCorrect(c.jitter);
        readerPause = c.reader;
        encoderPause = c.encoder;
        quarle.RipTrack(1, disc.dir() + "/t.wav");
        EXPECT_TRUE(readFile(disc.dir() + "/t.mp3") == expected) << c.jitter << c.reader << c.encoder;
        EXPECT_EQ(checksumsOf(quarle), checksumsOf(trackAudioBytes(tracks[0]), true, true));
    }
    EXPECT_FALSE(elsewhere) << "events fire on the thread that called RipTrack";
}

TEST(QuarleRip, CancelOrFailedReadInAPipelinedRip)
{
    QTemporaryDir dir;
    FakeRipper r;
    TQuarle &quarle = *r.quarle;
    quarle.setEncode(true);
    QStringList events;
    quarle.OnEndTrack = [&](QObject *, uint16_t) { events << "end"; };
    // The coder is slower than the drive, so the reader is ahead when the cancel or the failure comes.
    quarle.OnProgress = [&](QObject *, uint16_t, uint16_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };

    enum Stop { AtBeginTrack, Cancel, Throw };
    for (const Stop stop : {AtBeginTrack, Cancel, Throw}) {
        r.fake.chunkResults = std::vector<int32_t>(40, CR_OK);
        quarle.OnBeginTrack = [&](QObject *, uint16_t) {
            if (stop == AtBeginTrack)
                quarle.CancelRip();
        };
        r.fake.onChunk = [&](size_t i) {
            if (i == 5 && stop == Cancel)
                quarle.CancelRip();
            if (i == 5 && stop == Throw)
                throw std::runtime_error("drive gone");
        };
        r.fake.calls.clear();
        events.clear();
        FailingLame::closes = 0;
        std::string error = "<no error>";
        try {
            quarle.RipTrack(1, dir.filePath("a.wav"));
        } catch (const std::runtime_error &e) {
            error = e.what();
        }
        const qsizetype calls = r.fake.calls.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(r.fake.calls.size(), calls) << stop << ": nothing left running";
        EXPECT_EQ(r.fake.calls.count("CR_RipChunk"), stop == AtBeginTrack ? 0 : 6) << stop;
        EXPECT_EQ(r.fake.calls.last(), "CR_CloseRipper") << stop;
        EXPECT_EQ(FailingLame::closes, 1) << stop << ": the stream is closed";
        EXPECT_EQ(error, stop == Throw ? "drive gone" : "<no error>");
        EXPECT_EQ(events, stop == Throw ? QStringList() : QStringList({"end"})) << stop;
        // The file holds the chunks read before the stop, encoded and flushed.
        QByteArray pcm;
        for (int i = 0; i < (stop == Cancel ? 6 : stop == Throw ? 5 : 0); ++i)
            pcm += QByteArray(r.fake.chunkBytes, char(i + 1));
        EXPECT_TRUE(readFile(dir.filePath("a.mp3")) == encodeInCalls(r.coder, pcm, false)) << stop;
    }
}

TEST(QuarleRip, TheCoderFollowsTheOutputFormat)
{
    FakeCdRip fake;
    fake.drives = {FakeCdRip::record("FAKE", 0, uint8_t(TOutputFormat::MONO22050))};
    TQuarle quarle(nullptr, fake.api());
    TMP3Coder coder;
    quarle.setCoder(&coder);
    EXPECT_EQ(coder.Mode(), MONO) << "set from the library's output format";
    EXPECT_EQ(coder.SampleRate(), 22050u);
    quarle.setOutputFormat(TOutputFormat::STEREO11025);
    EXPECT_EQ(coder.Mode(), STEREO);
    EXPECT_EQ(coder.SampleRate(), 11025u);
}
