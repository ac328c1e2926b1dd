// Real conversions: libmp3lame encodes, mpg123 decodes, and the result must have the rate, channels,
// length and pitch a listener expects, and frame headers that carry the coder's settings.
#include "Mp3Decode.h"
#include "encoder/MP3Coder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace
{

using W = WavTestFile;

// Without resampling, the MP3's Info frame (delay and padding) lets mpg123 give back exactly the
// samples that went in; with it, LAME's delay (576), the decoder's (529) and a padded frame may be added.
void ExpectSounds(const QString &mp3, uint32_t rate, int channels, double seconds, double hz, bool exact)
{
    const TestPcm out = DecodeMp3(mp3);
    ASSERT_EQ(std::tuple(out.rate, out.channels), std::tuple(rate, channels));
    const double frames = double(out.frames()), expected = std::round(seconds * rate);
    EXPECT_EQ(frames, exact ? expected : std::clamp(frames, expected - 1, expected + 1152 + 576 + 529));
    for (int c = 0; c < out.channels; ++c)
        EXPECT_NEAR(W::ToneFrequency(out, c), hz, hz * 0.01) << "channel " << c;
}

} // namespace

TEST(MP3CoderConversion, FilesPlayAtTheirOwnSpeedAndLengthWithTheCodersHeader)
{
    QTemporaryDir dir;
    const QByteArray list = W::Chunk("LIST", QByteArray("INFO") + W::Chunk("ICMT", QByteArray(40000, 'x')));
    // The first frame's header without its padding and mode extension: MPEG-1 layer III, the CRC,
    // bitrate, rate, private, mode, copyright and original bits; the coder is set up from its bits.
    struct Case {
        const char *name;
        QByteArray bytes;
        uint32_t rate, kbps, header;
        bool vbr, exact;
        double seconds, hz;
    };
    const Case cases[] = {
        {"mono22.wav", W::WavBytes(W::Tone(22050, 1, 440, 1.5)), 44100, 128, 0xFFFA9000, 0, 0, 1.5, 440},
        {"six.wav", W::WavBytes(W::Tone(32000, 6, 500, 1.0)), 44100, 128, 0xFFFA9000, 0, 0, 1.0, 500},
        {"ext-list-before.wav", W::WavBytes(W::Tone(48000, 2, 880, 1.0), list, {}, true), 48000, 192,
         0xFFFAB584, 0, 1, 1.0, 880},
        {"raw.pcm", W::WavBytes(W::Tone(44100, 1, 660, 1.0)).mid(44), 44100, 64, 0xFFFB51CC, 0, 1, 1.0, 660},
        {"vbr-list-after.wav", W::WavBytes(W::Tone(44100, 2, 1000, 2.0), {}, list), 44100, 128, 0xFFFA9048, 1,
         1, 2.0, 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = dir.path() + "/" + c.name;
        ASSERT_TRUE(W::Write(input, c.bytes));
        TMP3Coder coder;
        const auto mode = TMP3CoderMode(c.header >> 6 & 3);
        coder.setMode(mode);
        coder.setSampleRate(c.rate);
        coder.setBitrate(c.kbps);
        coder.setCRC(!(c.header & 0x10000));
        coder.setPrivate(c.header & 0x100);
        coder.setCopyright(c.header & 8);
        coder.setOriginal(c.header & 4);
        coder.setEnableVBR(c.vbr);
        coder.setInputFiles({input});
        ASSERT_NO_THROW(coder.ProcessFiles());
        const QString mp3 = coder.OutputFiles().first();
        ExpectSounds(mp3, c.rate, mode == MONO ? 1 : 2, c.seconds, c.hz, c.exact);
        EXPECT_EQ(FirstMp3Header(mp3) & ~0x230u, c.header);
    }
}

// The ripper's way: Mode/SampleRate for the MP3, InputChannels/InputSampleRate for what it delivers,
// full calls of exactly SamplesPerChunk input samples, a shorter last one, the flush, the Info frame.
TEST(MP3CoderConversion, StreamOperationsConvertTheRippersFormat)
{
    QTemporaryDir dir;
    for (const auto &[mode, outRate] : {std::pair{STEREO, 44100u}, {MONO, 22050u}}) {
        TMP3Coder coder;
        coder.setMode(mode);
        coder.setSampleRate(outRate);
        ASSERT_EQ(coder.InitStream(), 0);
        const uint32_t spc = coder.SamplesPerChunk();
        ASSERT_EQ(spc % 2, 0u);
        std::vector<uint8_t> out(coder.Mp3BufferSize());
        const TestPcm tone = W::Tone(44100, 2, 700, 1.3);
        QFile mp3(dir.path() + "/track.mp3");
        ASSERT_TRUE(mp3.open(QIODevice::WriteOnly | QIODevice::Truncate));
        uint32_t outBytes = 0;
        for (size_t pos = 0; pos < tone.samples.size(); pos += spc) {
            const auto n = uint32_t(std::min<size_t>(spc, tone.samples.size() - pos));
            ASSERT_EQ(coder.EncodeChunk(n, tone.samples.data() + pos, out.data(), outBytes), 0);
            mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        }
        ASSERT_EQ(coder.DeinitStream(out.data(), outBytes), 0);
        mp3.write(reinterpret_cast<const char *>(out.data()), outBytes);
        mp3.close();
        ASSERT_EQ(coder.WriteInfoFrame(mp3.fileName()), 0);
        ExpectSounds(mp3.fileName(), outRate, mode == MONO ? 1 : 2, tone.seconds(), 700, outRate == 44100);
    }
}
