// TMP3Coder against a scripted encoder: settings, the recorded configuration, the batch's events,
// failures and clean-up, and the stream operations' channel handling.
#include "FakeLame.h"
#include "WavTestFile.h"
#include "encoder/MP3Coder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace
{

// How many of this process's descriptors point at the file: a file left open by the coder shows here.
int OpenDescriptors(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    for (const QFileInfo &fd :
         QDir("/proc/self/fd").entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (!target.isEmpty() && fd.symLinkTarget() == target)
            ++count;
    return count;
}

QString Join(const std::vector<std::string> &events)
{
    QStringList list;
    for (const std::string &e : events)
        list << QString::fromStdString(e);
    return list.join(' ');
}

// Records every event of a batch as a word: B, F0:<name>, P40, E0:<name>, Z.
struct EventLog {
    std::vector<std::string> events;
    explicit EventLog(TMP3Coder &coder)
    {
        coder.OnBeginProcess = [this](QObject *) { events.push_back("B"); };
        coder.OnBeginFile = [this](QObject *, uint16_t n, const QString &f) {
            events.push_back("F" + std::to_string(n) + ":" + QFileInfo(f).fileName().toStdString());
        };
        coder.OnProgress = [this](QObject *, uint16_t p) { events.push_back("P" + std::to_string(p)); };
        coder.OnEndFile = [this](QObject *, uint16_t n, const QString &f) {
            events.push_back("E" + std::to_string(n) + ":" + QFileInfo(f).fileName().toStdString());
        };
        coder.OnEndProcess = [this](QObject *) { events.push_back("Z"); };
    }
};

qint64 SizeOf(const QString &path)
{
    return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

} // namespace

TEST(MP3Coder, OutputNamesAreDerivedFromTheInputs)
{
    const struct {
        const char *input, *output;
    } cases[] = {
        {"/musica/brano.wav", "/musica/brano.mp3"},
        {"/a.b/brano", "/a.b/brano.mp3"},
        {"/x/disco.1.pcm", "/x/disco.1.mp3"},
        {"relative.WAV", "relative.mp3"},
        {"/x/.hidden", "/x/.mp3"},
    };
    FakeLame fake;
    TMP3Coder coder(fake.Api());
    QStringList inputs, expected;
    for (const auto &c : cases) {
        inputs << c.input;
        expected << c.output;
    }
    coder.setInputFiles(inputs);
    EXPECT_EQ(coder.OutputFiles(), expected);
}

TEST(MP3Coder, ConfigurationRecordCarriesTheSettings)
{
    FakeLame fake;
    TMP3Coder coder(fake.Api());
    coder.setMode(MONO);
    coder.setQuality(VOICE_QUALITY);
    ASSERT_EQ(coder.InitStream(), 0);
    coder.CloseStream();
    coder.setMode(JSTEREO);
    coder.setCRC(false);
    coder.setCopyright(true);
    coder.setEnableVBR(true);
    coder.setInputSampleRate(22050);
    coder.setInputChannels(1);
    ASSERT_EQ(coder.InitStream(), 0);
    coder.CloseStream();
    ASSERT_EQ(fake.configs.size(), 2u);

    const BE_CONFIG_LHV1 first = fake.configs[0].format.LHV1;
    EXPECT_EQ(fake.configs[0].dwConfig, 256u);
    EXPECT_EQ(std::tuple(first.dwStructVersion, first.dwStructSize, first.dwSampleRate, first.dwReSampleRate,
                         first.dwBitrate, first.dwMaxBitrate, first.dwMpegVersion),
              std::tuple(1u, 331u, 44100u, 0u, 128u, 320u, 1u));
    EXPECT_EQ(std::tuple(first.nMode, first.nPreset, first.bCRC, first.nVBRQuality), std::tuple(3, 3, -1, 4));
    EXPECT_EQ(first.bPrivate | first.bCopyright | first.bOriginal | first.bWriteVBRHeader | first.bEnableVBR,
              0);
    // Never written: the rest of the record stays zero, byte for byte.
    EXPECT_EQ(first.dwPsyModel | first.dwEmphasis | first.dwVbrAbr_bps, 0u);
    EXPECT_EQ(first.nVbrMethod | first.bNoRes | first.bStrictIso | first.nQuality, 0);
    const uint8_t zeros[sizeof first.btReserved] = {};
    EXPECT_EQ(std::memcmp(first.btReserved, zeros, sizeof zeros), 0);

    const BE_CONFIG_LHV1 second = fake.configs[1].format.LHV1;
    EXPECT_EQ(std::tuple(second.dwSampleRate, second.dwReSampleRate), std::tuple(22050u, 44100u));
    EXPECT_EQ(
        std::tuple(second.nMode, second.bCRC, second.bCopyright, second.bEnableVBR, second.bWriteVBRHeader),
        std::tuple(1, 0, -1, -1, -1));
}

// Raw PCM of 5000 bytes in chunks of 2000 bytes (the fake takes 1000 samples a call): 40, 80, 100.
TEST(MP3Coder, BatchEventsProgressAndCancel)
{
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.pcm", b = dir.path() + "/b.pcm", c = dir.path() + "/c.pcm";
    ASSERT_TRUE(WavTestFile::Write(a, QByteArray(5000, 1)));
    ASSERT_TRUE(WavTestFile::Write(b, QByteArray(700, 1)));
    ASSERT_TRUE(WavTestFile::Write(c, QByteArray(5000, 1)));

    {
        FakeLame fake;
        fake.samples = 1000;
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.ProcessFiles();
        EXPECT_EQ(Join(log.events), "B Z");
        EXPECT_EQ(fake.inits, 0);

        coder.CancelProcess(); // forgotten when the batch starts
        coder.setInputFiles({a, b});
        coder.ProcessFiles();
        EXPECT_EQ(Join(log.events), "B Z B F0:a.pcm P40 P80 P100 E0:a.mp3 F1:b.pcm P100 E1:b.mp3 Z");
        EXPECT_EQ(fake.encodeSamples, (std::vector<uint32_t>{1000, 1000, 500, 350}));
        EXPECT_EQ(fake.inits, 2);
        EXPECT_EQ(fake.deinits, 2);
        EXPECT_EQ(fake.closes, 2);
        EXPECT_EQ(SizeOf(dir.path() + "/a.mp3"), 3 * 100 + 10);
    }
    {
        FakeLame fake;
        fake.samples = 1000;
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.OnProgress = [&](QObject *sender, uint16_t p) {
            log.events.push_back("P" + std::to_string(p));
            static_cast<TMP3Coder *>(sender)->CancelProcess();
        };
        coder.setInputFiles({c, b});
        QFile::remove(dir.path() + "/b.mp3");
        coder.ProcessFiles();
        EXPECT_EQ(Join(log.events), "B F0:c.pcm P40");
        EXPECT_EQ(fake.deinits, 0);
        EXPECT_EQ(fake.closes, 1);
        EXPECT_EQ(fake.openStreams, 0);
        EXPECT_EQ(SizeOf(dir.path() + "/c.mp3"), 100); // one chunk, no final frames
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/b.mp3"));
        EXPECT_EQ(OpenDescriptors(c), 0);
    }
}

// Each failure ends the batch with its message; the stream and the files are released, the failing
// file gets no OnEndFile, the batch no OnEndProcess, and the next file is never created.
TEST(MP3Coder, BatchFailuresReleaseEverythingAndStop)
{
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.path() + "/" + name; };
    const TestPcm tone = WavTestFile::Tone(44100, 2, 1000, 0.1);
    QByteArray floatWav = WavTestFile::WavBytes(tone);
    floatWav[20] = 3; // WAVE_FORMAT_IEEE_FLOAT
    QByteArray noBlockAlign = WavTestFile::WavBytes(tone);
    noBlockAlign[32] = 0;
    ASSERT_TRUE(WavTestFile::Write(path("tone.wav"), WavTestFile::WavBytes(tone)));
    ASSERT_TRUE(WavTestFile::Write(path("short.wav"), WavTestFile::WavBytes(tone).left(40)));
    ASSERT_TRUE(WavTestFile::Write(path("float.wav"), floatWav));
    ASSERT_TRUE(WavTestFile::Write(path("zero-align.wav"), noBlockAlign));
    ASSERT_TRUE(WavTestFile::Write(path("next.wav"), WavTestFile::WavBytes(tone)));

    struct Case {
        const char *label;
        QString input, output;
        std::function<void(FakeLame &)> script;
        std::string message;
        bool outputCreated;
    };
    const auto none = [](FakeLame &) {};
    const Case cases[] = {
        {"missing input", path("absent.wav"), path("absent.mp3"), none,
         "Cannot open file \"" + path("absent.wav").toStdString() + "\". No such file or directory", false},
        {"output folder missing", path("tone.wav"), path("no/such/dir.mp3"), none,
         "Cannot create file \"" + path("no/such/dir.mp3").toStdString() + "\". No such file or directory",
         false},
        {"encoder fails", path("tone.wav"), path("tone.mp3"),
         [](FakeLame &f) {
             f.failingCall = 1;
             f.encodeCode = 7;
         },
         "beEncodeChunk failed 7", true},
        {"disk full", path("tone.wav"), "/dev/full", none, "Write Error", true},
        {"disk full at the flush", path("tone.wav"), "/dev/full", [](FakeLame &f) { f.bytesPerCall = 0; },
         "Write error", true},
        {"flush fails", path("tone.wav"), path("tone.mp3"), [](FakeLame &f) { f.deinitCode = 3; },
         "beDeinitStream failed 3", true},
        {"stream refused", path("tone.wav"), path("refused.mp3"), [](FakeLame &f) { f.initCode = 2; },
         "beInitStream failed 2", false},
        {"stream takes no samples", path("tone.wav"), path("zero.mp3"), [](FakeLame &f) { f.samples = 0; },
         "beInitStream failed 2", false},
        {"shorter than a header", path("short.wav"), path("short.mp3"), none, "Read Error", false},
        {"not PCM", path("float.wav"), path("float.mp3"), none,
         "Cannot convert \"" + path("float.wav").toStdString() +
             "\": only 16-bit PCM WAV files are supported",
         false},
        {"block align 0", path("zero-align.wav"), path("zero-align.mp3"), none,
         "Cannot convert \"" + path("zero-align.wav").toStdString() +
             "\": only 16-bit PCM WAV files are supported",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        QFile::remove(path("next.mp3"));
        FakeLame fake;
        c.script(fake);
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.setInputFiles({c.input, path("next.wav")});
        coder.setOutputFiles({c.output, path("next.mp3")});
        std::string message;
        try {
            coder.ProcessFiles();
        } catch (const Exception &e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(fake.openStreams, 0);
        EXPECT_EQ(OpenDescriptors(c.input), 0);
        EXPECT_EQ(QFileInfo::exists(c.output), c.outputCreated);
        EXPECT_FALSE(QFileInfo::exists(path("next.mp3")));
        EXPECT_EQ(log.events.back().rfind("E", 0), std::string::npos) << Join(log.events).toStdString();
    }

    FakeLame fake;
    TMP3Coder coder(fake.Api());
    coder.setInputFiles({path("tone.wav"), path("next.wav")});
    coder.setOutputFiles({path("tone.mp3")});
    try {
        coder.ProcessFiles();
        ADD_FAILURE() << "a missing output name must end the batch";
    } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (1)");
    }
    EXPECT_EQ(fake.openStreams, 0);
}

// What the encoder receives from files at the edges: nothing from a 44-byte WAV, half a sample dropped,
// a chunk of exactly 65536 bytes.
TEST(MP3Coder, BatchEdgeFiles)
{
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.path() + "/" + name; };
    ASSERT_TRUE(WavTestFile::Write(path("empty.wav"), WavTestFile::WavBytes(TestPcm{})));
    ASSERT_TRUE(WavTestFile::Write(path("odd.pcm"), QByteArray(3001, 2)));
    ASSERT_TRUE(WavTestFile::Write(path("big.pcm"), QByteArray(65536 * 2 + 4, 3)));

    struct Case {
        const char *file;
        uint32_t fakeSamples;
        std::vector<uint32_t> calls;
        const char *events;
        qint64 mp3Size;
    };
    const Case cases[] = {
        {"empty.wav", 1000, {}, "B F0:empty.wav E0:empty.mp3 Z", 10},
        {"odd.pcm", 1000, {1000, 500}, "B F0:odd.pcm P66 P100 E0:odd.mp3 Z", 210},
        {"big.pcm", 32768, {32768, 32768, 2}, "B F0:big.pcm P49 P99 P100 E0:big.mp3 Z", 310},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        FakeLame fake;
        fake.samples = c.fakeSamples;
        fake.bufferSize = 1000;
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.setInputFiles({path(c.file)});
        ASSERT_NO_THROW(coder.ProcessFiles());
        EXPECT_EQ(fake.encodeSamples, c.calls);
        EXPECT_EQ(Join(log.events).toStdString(), c.events);
        EXPECT_EQ(SizeOf(coder.OutputFiles().first()), c.mp3Size);
    }
}

// The ripper's stream operations: nothing is encoded without an open stream, SamplesPerChunk counts the
// input's samples, and channels are mixed to what the MP3 carries.
TEST(MP3Coder, StreamOperationsMixChannelsAndRefuseAClosedStream)
{
    FakeLame fake;
    fake.samples = 2304;
    TMP3Coder coder(fake.Api());
    const int16_t stereo[] = {1000, 3000, -2000, -4000, 7, 8};
    std::vector<uint8_t> out(fake.bufferSize);
    uint32_t outBytes = 5;
    EXPECT_EQ(coder.EncodeChunk(6, stereo, out.data(), outBytes), 4);
    EXPECT_EQ(coder.DeinitStream(out.data(), outBytes), 4);
    EXPECT_EQ(outBytes, 0u);
    EXPECT_TRUE(fake.encodeSamples.empty());
    EXPECT_EQ(fake.deinits, 0);

    coder.setMode(MONO);
    coder.setInputChannels(2);
    ASSERT_EQ(coder.InitStream(), 0);
    EXPECT_EQ(coder.SamplesPerChunk(), 2 * 2304u);
    EXPECT_EQ(coder.Mp3BufferSize(), fake.bufferSize);
    EXPECT_EQ(coder.EncodeChunk(5, stereo, out.data(), outBytes), 0); // the half frame is dropped
    EXPECT_EQ(fake.received, (std::vector<int16_t>{2000, -3000}));

    coder.setMode(STEREO);
    coder.setInputChannels(1);
    ASSERT_EQ(coder.InitStream(), 0);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(coder.SamplesPerChunk(), 1152u);
    fake.received.clear();
    EXPECT_EQ(coder.EncodeChunk(3, stereo, out.data(), outBytes), 0);
    EXPECT_EQ(fake.received, (std::vector<int16_t>{1000, 1000, 3000, 3000, -2000, -2000}));
    coder.CloseStream();
    EXPECT_EQ(coder.EncodeChunk(2, stereo, out.data(), outBytes), 4);
    EXPECT_EQ(fake.openStreams, 0);
    EXPECT_EQ(fake.encodeSamples.size(), 2u);
}
