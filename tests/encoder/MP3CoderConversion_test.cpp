// Real conversions: libmp3lame encodes, mpg123 decodes, and the result must have the rate, channels,
// length and pitch a listener expects.
#include "Mp3Decode.h"
#include "WavTestFile.h"
#include "encoder/MP3Coder.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace
{

// LAME adds its encoder delay (576 samples) and the decoder adds 529 more; the last frame is padded.
constexpr double kMaxExtraFrames = 1152 + 576 + 529;

struct Expectation {
    uint32_t rate;
    int channels;
    double inputSeconds;
    double hz;
};

void ExpectSounds(const QString &mp3, const Expectation &e, const std::string &label)
{
    SCOPED_TRACE(label);
    const TestPcm out = DecodeMp3(mp3);
    ASSERT_FALSE(out.samples.empty()) << "mpg123 could not decode " << mp3.toStdString();
    EXPECT_EQ(out.rate, e.rate);
    EXPECT_EQ(out.channels, e.channels);
    const double expectedFrames = e.inputSeconds * e.rate;
    EXPECT_GE(static_cast<double>(out.frames()), expectedFrames - 1);
    EXPECT_LE(static_cast<double>(out.frames()), expectedFrames + kMaxExtraFrames);
    for (int c = 0; c < out.channels; ++c)
        EXPECT_NEAR(WavTestFile::ToneFrequency(out, c), e.hz, e.hz * 0.01) << "channel " << c;
}

} // namespace

TEST(MP3CoderConversion, FilesPlayAtTheirOwnSpeedAndLength)
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.path() + "/" + name; };
    const QByteArray listChunk =
        WavTestFile::Chunk("LIST", QByteArray("INFO") + WavTestFile::Chunk("ICMT", QByteArray(40000, 'x')));

    struct Case {
        const char *name;
        QByteArray bytes;
        TMP3CoderMode mode;
        uint32_t sampleRate;
        Expectation expect;
    };
    const TestPcm stereo44 = WavTestFile::Tone(44100, 2, 1000, 2.0);
    const TestPcm mono22 = WavTestFile::Tone(22050, 1, 440, 1.5);
    const TestPcm stereo48 = WavTestFile::Tone(48000, 2, 880, 1.0);
    const TestPcm mono44 = WavTestFile::Tone(44100, 1, 660, 1.0);
    const TestPcm sixChannels = WavTestFile::Tone(32000, 6, 500, 1.0);
    const Case cases[] = {
        {"stereo44.wav", WavTestFile::WavBytes(stereo44), STEREO, 44100, {44100, 2, 2.0, 1000}},
        {"mono22.wav", WavTestFile::WavBytes(mono22), STEREO, 44100, {44100, 2, 1.5, 440}},
        {"list-after.wav",
         WavTestFile::WavBytes(stereo44, {}, listChunk),
         JSTEREO,
         44100,
         {44100, 2, 2.0, 1000}},
        {"extensible-list-before.wav",
         WavTestFile::WavBytes(stereo48, listChunk, {}, true),
         JSTEREO,
         44100,
         {44100, 2, 1.0, 880}},
        {"six-channels.wav", WavTestFile::WavBytes(sixChannels), STEREO, 44100, {44100, 2, 1.0, 500}},
        {"raw-stereo.pcm", WavTestFile::RawBytes(stereo44), STEREO, 44100, {44100, 2, 2.0, 1000}},
        {"raw-mono.pcm", WavTestFile::RawBytes(mono44), MONO, 44100, {44100, 1, 1.0, 660}},
    };

    TMP3Coder coder;
    QStringList inputs;
    for (const Case &c : cases) {
        ASSERT_TRUE(WavTestFile::Write(path(c.name), c.bytes));
        inputs << path(c.name);
    }
    // One file per batch, since the MP3 format changes between cases.
    for (size_t i = 0; i < std::size(cases); ++i) {
        coder.setMode(cases[i].mode);
        coder.setSampleRate(cases[i].sampleRate);
        coder.setInputFiles({inputs[static_cast<int>(i)]});
        ASSERT_NO_THROW(coder.ProcessFiles()) << cases[i].name;
        ExpectSounds(coder.OutputFiles().first(), cases[i].expect, cases[i].name);
    }
}

// The ripper's way: Mode/SampleRate for the MP3, InputChannels/InputSampleRate for what it delivers,
// full calls of exactly SamplesPerChunk input samples, a shorter last one, the flush, the close.
TEST(MP3CoderConversion, StreamOperationsConvertTheRippersFormat)
{
    struct Case {
        uint32_t inRate;
        int inChannels;
        TMP3CoderMode mode;
        uint32_t outRate;
    };
    const Case cases[] = {
        {44100, 2, STEREO, 44100},
        {22050, 1, JSTEREO, 44100},
        {44100, 2, MONO, 22050},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        const std::string label = std::to_string(c.inRate) + "x" + std::to_string(c.inChannels) + " -> " +
                                  std::to_string(c.outRate) + " mode " + std::to_string(c.mode);
        SCOPED_TRACE(label);
        TMP3Coder coder;
        coder.setMode(c.mode);
        coder.setSampleRate(c.outRate);
        coder.setInputSampleRate(c.inRate);
        coder.setInputChannels(c.inChannels);
        ASSERT_EQ(coder.InitStream(), 0);
        const uint32_t spc = coder.SamplesPerChunk();
        ASSERT_GT(spc, 0u);
        ASSERT_EQ(spc % static_cast<uint32_t>(c.inChannels), 0u);
        std::vector<uint8_t> out(coder.Mp3BufferSize());

        const TestPcm tone = WavTestFile::Tone(c.inRate, c.inChannels, 700, 1.3);
        QFile mp3(dir.path() + "/track.mp3");
        ASSERT_TRUE(mp3.open(QIODevice::WriteOnly | QIODevice::Truncate));
        uint32_t outBytes = 0;
        for (size_t pos = 0; pos < tone.samples.size(); pos += spc) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(spc, tone.samples.size() - pos));
            ASSERT_EQ(coder.EncodeChunk(n, tone.samples.data() + pos, out.data(), outBytes), 0);
            ASSERT_LE(outBytes, out.size());
            mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        }
        ASSERT_EQ(coder.DeinitStream(out.data(), outBytes), 0);
        mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        coder.CloseStream();
        mp3.close();
        ExpectSounds(mp3.fileName(), {c.outRate, c.mode == MONO ? 1 : 2, tone.seconds(), 700}, label);
    }
}
