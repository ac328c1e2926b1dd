// Real conversions: libmp3lame encodes, mpg123 decodes, and the result must have the rate, channels,
// length and pitch a listener expects, and frame headers that carry the coder's settings.
#include "Mp3Decode.h"
#include "WavTestFile.h"
#include "encoder/MP3Coder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace
{

using W = WavTestFile;

// LAME adds its encoder delay (576 samples) and the decoder adds 529 more; the last frame is padded.
constexpr double kMaxExtraFrames = 1152 + 576 + 529;

// Without resampling, the MP3's Info frame (delay and padding) lets mpg123 give back exactly the
// samples that went in.
void ExpectSounds(const QString &mp3, uint32_t rate, int channels, double inputSeconds, double hz, bool exact)
{
    const TestPcm out = DecodeMp3(mp3);
    ASSERT_FALSE(out.samples.empty()) << "mpg123 could not decode " << mp3.toStdString();
    EXPECT_EQ(out.rate, rate);
    EXPECT_EQ(out.channels, channels);
    if (exact) {
        EXPECT_EQ(double(out.frames()), std::round(inputSeconds * rate));
    }
    EXPECT_GE(double(out.frames()), inputSeconds * rate - 1);
    EXPECT_LE(double(out.frames()), inputSeconds * rate + kMaxExtraFrames);
    for (int c = 0; c < out.channels; ++c)
        EXPECT_NEAR(W::ToneFrequency(out, c), hz, hz * 0.01) << "channel " << c;
}

} // namespace

TEST(MP3CoderConversion, FilesPlayAtTheirOwnSpeedAndLengthWithTheCodersHeader)
{
    QTemporaryDir dir;
    const QByteArray list = W::Chunk("LIST", QByteArray("INFO") + W::Chunk("ICMT", QByteArray(40000, 'x')));
    const TestPcm stereo44 = W::Tone(44100, 2, 1000, 2.0), mono22 = W::Tone(22050, 1, 440, 1.5);
    const TestPcm stereo48 = W::Tone(48000, 2, 880, 1.0), mono44 = W::Tone(44100, 1, 660, 1.0);
    const TestPcm six = W::Tone(32000, 6, 500, 1.0);
    // Header bits: crc, private, copyright, original; kbps and the frame's bitrate index.
    struct Case {
        const char *name;
        QByteArray bytes;
        TMP3CoderMode mode;
        uint32_t rate, kbps;
        bool crc, priv, copy, orig;
        int bitrateIndex;
        double seconds, hz;
        bool vbr = false;
    };
    const Case cases[] = {
        {"stereo44.wav", W::WavBytes(stereo44), STEREO, 44100, 128, 1, 0, 0, 0, 9, 2.0, 1000},
        {"mono22.wav", W::WavBytes(mono22), STEREO, 44100, 128, 1, 0, 0, 0, 9, 1.5, 440},
        {"list-after.wav", W::WavBytes(stereo44, {}, list), JSTEREO, 44100, 160, 0, 0, 1, 0, 10, 2.0, 1000},
        {"ext-list-before.wav", W::WavBytes(stereo48, list, {}, true), DUALCHANNEL, 48000, 192, 1, 1, 0, 1,
         11, 1.0, 880},
        {"six-channels.wav", W::WavBytes(six), STEREO, 44100, 128, 1, 0, 0, 0, 9, 1.0, 500},
        {"raw-stereo.pcm", W::RawBytes(stereo44), STEREO, 44100, 128, 1, 0, 0, 0, 9, 2.0, 1000},
        {"raw-mono.pcm", W::RawBytes(mono44), MONO, 44100, 64, 0, 1, 1, 1, 5, 1.0, 660},
        {"vbr.wav", W::WavBytes(stereo44), JSTEREO, 44100, 128, 1, 0, 0, 0, 9, 2.0, 1000, true},
    };
    // One file per batch, since the MP3 format changes between cases.
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = dir.path() + "/" + c.name;
        ASSERT_TRUE(W::Write(input, c.bytes));
        TMP3Coder coder;
        coder.setMode(c.mode);
        coder.setSampleRate(c.rate);
        coder.setBitrate(c.kbps);
        coder.setCRC(c.crc);
        coder.setPrivate(c.priv);
        coder.setCopyright(c.copy);
        coder.setOriginal(c.orig);
        coder.setEnableVBR(c.vbr);
        coder.setInputFiles({input});
        ASSERT_NO_THROW(coder.ProcessFiles());
        const uint32_t inputRate = c.bytes.startsWith("RIFF") ? W::Read(input).rate : c.rate;
        ExpectSounds(coder.OutputFiles().first(), c.rate, c.mode == MONO ? 1 : 2, c.seconds, c.hz,
                     inputRate == c.rate);
        const Mp3FrameHeader h = FirstMp3Frame(coder.OutputFiles().first());
        ASSERT_TRUE(h.found);
        EXPECT_EQ(std::tuple(h.version, h.layer, h.sampleRate, h.mode, h.bitrateIndex),
                  std::tuple(1, 3, int(c.rate), int(c.mode), c.bitrateIndex));
        EXPECT_EQ(std::tuple(h.crc, h.privateBit, h.copyright, h.original),
                  std::tuple(c.crc, c.priv, c.copy, c.orig));
    }
}

// The ripper's way: Mode/SampleRate for the MP3, InputChannels/InputSampleRate for what it delivers,
// full calls of exactly SamplesPerChunk input samples, a shorter last one, the flush, the Info frame,
// the close.
TEST(MP3CoderConversion, StreamOperationsConvertTheRippersFormat)
{
    struct Case {
        uint32_t inRate;
        int inChannels;
        TMP3CoderMode mode;
        uint32_t outRate;
    };
    QTemporaryDir dir;
    for (const Case &c :
         {Case{44100, 2, STEREO, 44100}, {22050, 1, JSTEREO, 44100}, {44100, 2, MONO, 22050}}) {
        SCOPED_TRACE(std::to_string(c.inRate) + "x" + std::to_string(c.inChannels) + " mode " +
                     std::to_string(c.mode));
        TMP3Coder coder;
        coder.setMode(c.mode);
        coder.setSampleRate(c.outRate);
        coder.setInputSampleRate(c.inRate);
        coder.setInputChannels(c.inChannels);
        ASSERT_EQ(coder.InitStream(), 0);
        const uint32_t spc = coder.SamplesPerChunk();
        ASSERT_GT(spc, 0u);
        ASSERT_EQ(spc % uint32_t(c.inChannels), 0u);
        std::vector<uint8_t> out(coder.Mp3BufferSize());
        const TestPcm tone = W::Tone(c.inRate, c.inChannels, 700, 1.3);
        QFile mp3(dir.path() + "/track.mp3");
        ASSERT_TRUE(mp3.open(QIODevice::WriteOnly | QIODevice::Truncate));
        uint32_t outBytes = 0;
        for (size_t pos = 0; pos < tone.samples.size(); pos += spc) {
            const auto n = uint32_t(std::min<size_t>(spc, tone.samples.size() - pos));
            ASSERT_EQ(coder.EncodeChunk(n, tone.samples.data() + pos, out.data(), outBytes), 0);
            ASSERT_LE(outBytes, out.size());
            mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        }
        ASSERT_EQ(coder.DeinitStream(out.data(), outBytes), 0);
        mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        mp3.close();
        ASSERT_EQ(coder.WriteInfoFrame(mp3.fileName()), 0);
        coder.CloseStream();
        ExpectSounds(mp3.fileName(), c.outRate, c.mode == MONO ? 1 : 2, tone.seconds(), 700,
                     c.inRate == c.outRate);
    }
}
