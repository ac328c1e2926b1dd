// TMP3Coder against a scripted encoder: the recorded configuration, the batch's events, failures and
// clean-up, and the stream operations' channel handling.
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
        count += !target.isEmpty() && fd.symLinkTarget() == target;
    return count;
}

qint64 SizeOf(const QString &path)
{
    return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

QString Word(const char *kind, uint16_t n, const QString &file)
{
    return kind + QString::number(n) + ":" + QFileInfo(file).fileName();
}

// Records every event of a batch as a word: B, F0:<name>, P40, E0:<name>, Z.
struct EventLog {
    QStringList events;
    explicit EventLog(TMP3Coder &coder)
    {
        coder.OnBeginProcess = [this](QObject *) { events << "B"; };
        coder.OnBeginFile = [this](QObject *, uint16_t n, const QString &f) { events << Word("F", n, f); };
        coder.OnProgress = [this](QObject *, uint16_t p) { events << "P" + QString::number(p); };
        coder.OnEndFile = [this](QObject *, uint16_t n, const QString &f) { events << Word("E", n, f); };
        coder.OnEndProcess = [this](QObject *) { events << "Z"; };
    }
    std::string Text() const { return events.join(' ').toStdString(); }
};

} // namespace

TEST(MP3Coder, OutputNamesAreDerivedFromTheInputs)
{
    FakeLame fake;
    TMP3Coder coder(fake.Api());
    coder.setInputFiles({"/musica/brano.wav", "/a.b/brano", "/x/disco.1.pcm", "relative.WAV", "/x/.hidden"});
    EXPECT_EQ(coder.OutputFiles(), QStringList({"/musica/brano.mp3", "/a.b/brano.mp3", "/x/disco.1.mp3",
                                                "relative.mp3", "/x/.mp3"}));
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
    // The header frame is asked for even without VBR: every MP3 starts with LAME's Info frame.
    EXPECT_EQ(std::tuple(first.nMode, first.nPreset, first.bCRC, first.nVBRQuality, first.bWriteVBRHeader),
              std::tuple(3, 3, -1, 4, -1));
    EXPECT_EQ(first.bPrivate | first.bCopyright | first.bOriginal | first.bEnableVBR, 0);
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

// What the encoder receives and the events a batch sends: raw PCM of 5000 bytes in chunks of 2000 bytes
// gives 40, 80, 100; nothing from a 44-byte WAV, half a sample dropped, a chunk of exactly 65536 bytes.
// A cancel from OnProgress: no flush, the stream closed without a deinit, later files untouched.
// A data size of 0 is the rest of the file only when no chunk follows the data.
TEST(MP3Coder, BatchEventsProgressCancelAndEdgeFiles)
{
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.path() + "/" + name; };
    TestPcm frames;
    frames.samples.assign(2000, 9);
    QByteArray streamed = WavTestFile::WavBytes(frames);
    streamed.replace(40, 4, QByteArray(4, 0));
    for (const auto &[name, bytes] :
         {std::pair{"a.pcm", QByteArray(5000, 1)},
          {"b.pcm", QByteArray(700, 1)},
          {"empty.wav", WavTestFile::WavBytes(TestPcm{})},
          {"odd.pcm", QByteArray(3001, 2)},
          {"big.pcm", QByteArray(65536 * 2 + 4, 3)},
          {"streamed.wav", streamed},
          {"list.wav", WavTestFile::WavBytes(TestPcm{}, {}, WavTestFile::Chunk("LIST", "INFOIART"))}})
        ASSERT_TRUE(WavTestFile::Write(path(name), bytes));
    struct Case {
        QStringList files;
        bool cancel;
        uint32_t fakeSamples;
        std::vector<uint32_t> calls;
        const char *events;
        qint64 mp3Size;
    };
    const Case cases[] = {
        {{}, false, 1000, {}, "B Z", -1},
        {{"a.pcm", "b.pcm"},
         false,
         1000,
         {1000, 1000, 500, 350},
         "B F0:a.pcm P40 P80 P100 E0:a.mp3 F1:b.pcm P100 E1:b.mp3 Z",
         3 * 100 + 10},
        {{"a.pcm", "b.pcm"}, true, 1000, {1000}, "B F0:a.pcm P40", 100}, // one chunk, no final frames
        {{"empty.wav"}, false, 1000, {}, "B F0:empty.wav E0:empty.mp3 Z", 10},
        {{"odd.pcm"}, false, 1000, {1000, 500}, "B F0:odd.pcm P66 P100 E0:odd.mp3 Z", 210},
        {{"big.pcm"}, false, 32768, {32768, 32768, 2}, "B F0:big.pcm P49 P99 P100 E0:big.mp3 Z", 310},
        {{"streamed.wav"}, false, 1000, {1000, 1000}, "B F0:streamed.wav P50 P100 E0:streamed.mp3 Z", 210},
        {{"list.wav"}, false, 1000, {}, "B F0:list.wav E0:list.mp3 Z", 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.events);
        QFile::remove(path("b.mp3"));
        FakeLame fake;
        fake.samples = c.fakeSamples;
        fake.bufferSize = 1000;
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.CancelProcess(); // forgotten when the batch starts
        if (c.cancel)
            coder.OnProgress = [&](QObject *sender, uint16_t p) {
                log.events << "P" + QString::number(p);
                static_cast<TMP3Coder *>(sender)->CancelProcess();
            };
        QStringList inputs;
        for (const QString &file : c.files)
            inputs << path(file);
        coder.setInputFiles(inputs);
        ASSERT_NO_THROW(coder.ProcessFiles());
        EXPECT_EQ(log.Text(), c.events);
        EXPECT_EQ(fake.encodeSamples, c.calls);
        EXPECT_EQ(std::tuple(fake.closes, fake.deinits, fake.openStreams),
                  std::tuple(fake.inits, c.cancel ? 0 : fake.inits, 0));
        EXPECT_EQ(SizeOf(inputs.isEmpty() ? "" : coder.OutputFiles().first()), c.mp3Size);
        EXPECT_EQ(QFileInfo::exists(path("b.mp3")), c.files.size() == 2 && !c.cancel);
        EXPECT_EQ(OpenDescriptors(path("a.pcm")), 0);
    }
}

// Each failure ends the batch with its message; the stream and the files are released, the failing
// file gets no OnEndFile, the batch no OnEndProcess, and the next file is never created.
TEST(MP3Coder, BatchFailuresReleaseEverythingAndStop)
{
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.path() + "/" + name; };
    const QByteArray tone = WavTestFile::WavBytes(WavTestFile::Tone(44100, 2, 1000, 0.1));
    QByteArray floatWav = tone, noBlockAlign = tone;
    floatWav[20] = 3; // WAVE_FORMAT_IEEE_FLOAT
    noBlockAlign[32] = 0;
    for (const auto &[name, bytes] : {std::pair{"tone.wav", tone},
                                      {"short.wav", tone.left(40)},
                                      {"float.wav", floatWav},
                                      {"zero-align.wav", noBlockAlign},
                                      {"next.wav", tone}})
        ASSERT_TRUE(WavTestFile::Write(path(name), bytes));
    const auto cannot = [&](const char *verb, const char *name, const char *why) {
        return QString("Cannot %1 \"%2\"%3").arg(verb, path(name), why).toStdString();
    };
    const char *noFile = ". No such file or directory", *notPcm = ": only 16-bit PCM WAV files are supported";

    // The fake's settings: what init reports and returns, which encode call fails and how, the flush's code.
    struct Case {
        QString input, output;
        std::string message;
        bool outputCreated;
        uint32_t samples = 1000;
        BE_ERR init = 0;
        int failingCall = -1;
        BE_ERR encode = 0, deinit = 0;
        uint32_t bytesPerCall = 100;
    };
    const Case cases[] = {
        {path("absent.wav"), path("absent.mp3"), cannot("open file", "absent.wav", noFile), false},
        {path("tone.wav"), path("no/dir.mp3"), cannot("create file", "no/dir.mp3", noFile), false},
        {path("tone.wav"), path("tone.mp3"), "beEncodeChunk failed 7", true, 1000, 0, 1, 7},
        {path("tone.wav"), "/dev/full", "Write Error", true},
        {path("tone.wav"), "/dev/full", "Write error", true, 1000, 0, -1, 0, 0, 0}, // at the flush
        {path("tone.wav"), path("tone.mp3"), "beDeinitStream failed 3", true, 1000, 0, -1, 0, 3},
        {path("tone.wav"), path("refused.mp3"), "beInitStream failed 2", false, 1000, 2},
        {path("tone.wav"), path("zero.mp3"), "beInitStream failed 2", false, 0},
        {path("short.wav"), path("short.mp3"), "Read Error", false},
        {path("float.wav"), path("float.mp3"), cannot("convert", "float.wav", notPcm), false},
        {path("zero-align.wav"), path("zero-align.mp3"), cannot("convert", "zero-align.wav", notPcm), false},
        // A missing output name must end the batch, not read past the list.
        {path("tone.wav"), {}, "List index out of bounds (0)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        QFile::remove(path("next.mp3"));
        FakeLame fake;
        fake.samples = c.samples;
        fake.initCode = c.init;
        fake.failingCall = c.failingCall;
        fake.encodeCode = c.encode;
        fake.deinitCode = c.deinit;
        fake.bytesPerCall = c.bytesPerCall;
        TMP3Coder coder(fake.Api());
        EventLog log(coder);
        coder.setInputFiles({c.input, path("next.wav")});
        coder.setOutputFiles(c.output.isEmpty() ? QStringList() : QStringList{c.output, path("next.mp3")});
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
        EXPECT_TRUE(log.events.isEmpty() || !log.events.back().startsWith("E")) << log.Text();
    }
}

// The ripper's stream operations: nothing is encoded without an open stream, SamplesPerChunk counts the
// input's samples, and channels are mixed to what the MP3 carries.
TEST(MP3Coder, StreamOperationsMixChannelsAndRefuseAClosedStream)
{
    FakeLame fake;
    TMP3Coder coder(fake.Api());
    const int16_t stereo[] = {1000, 3000, -2000, -4000, 7, 8};
    std::vector<uint8_t> out(fake.bufferSize);
    uint32_t outBytes = 5;
    EXPECT_EQ(coder.EncodeChunk(6, stereo, out.data(), outBytes), 4);
    EXPECT_EQ(coder.DeinitStream(out.data(), outBytes), 4);
    EXPECT_EQ(outBytes, 0u);
    EXPECT_EQ(fake.deinits + int(fake.encodeSamples.size()), 0);

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
