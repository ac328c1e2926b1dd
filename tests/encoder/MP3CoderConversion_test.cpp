// Real conversions: libmp3lame encodes, mpg123 decodes, and the result must have the rate, channels,
// length and pitch a listener expects, and frame headers that carry the coder's settings.
#include "Mp3Decode.h"
#include "encoder/MP3Coder.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>

namespace
{

using W = WavTestFile;

// The four bytes of the first MPEG-1 layer III frame header (the sync bits, MPEG-1, layer III), big-endian.
uint32_t FirstMp3Header(const QString &path)
{
    const QByteArray b = W::Read(path).left(1 << 16);
    for (qsizetype i = 0; i + 4 <= b.size(); ++i) {
        if ((qFromBigEndian<uint32_t>(b.constData() + i) & 0xFFFE0000) == 0xFFFA0000)
            return qFromBigEndian<uint32_t>(b.constData() + i);
    }
    return 0;
}

} // namespace

TEST(MP3CoderConversion, FilesPlayAtTheirOwnSpeedAndLengthWithTheCodersHeader)
{
    QTemporaryDir dir;
    const QByteArray list = W::Chunk("LIST", QByteArray("INFO") + W::Chunk("ICMT", QByteArray(40000, 'x')));
    // The first frame's header without its padding and mode extension: MPEG-1 layer III, the CRC,
    // bitrate, rate, private, mode, copyright and original bits; the coder is set up from its bits.
    const struct {
        const char *name;
        QByteArray bytes;
        uint32_t rate, kbps, header;
        bool vbr, exact;
        double seconds, hz;
    } cases[] = {
        {"mono22.wav", W::WavBytes(W::Tone(22050, 1, 440, 1.5)), 44100, 128, 0xFFFA9000, 0, 0, 1.5, 440},
        {"six.wav", W::WavBytes(W::Tone(32000, 6, 500, 1.0)), 44100, 128, 0xFFFA9000, 0, 0, 1.0, 500},
        {"ext-list-before.wav", W::WavBytes(W::Tone(48000, 2, 880, 1.0), list, {}, true), 48000, 192,
         0xFFFAB584, 0, 1, 1.0, 880},
        {"raw.pcm", W::WavBytes(W::Tone(44100, 1, 660, 1.0)).mid(44), 44100, 64, 0xFFFB51CC, 0, 1, 1.0, 660},
        {"vbr-list-after.wav", W::WavBytes(W::Tone(44100, 2, 1000, 2.0), {}, list), 44100, 128, 0xFFFA9048, 1,
         1, 2.0, 1000},
    };
    for (const auto &c : cases) {
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
        EXPECT_EQ(FirstMp3Header(mp3) & ~0x230u, c.header);
        // Without resampling, the MP3's Info frame (delay and padding) lets mpg123 give back exactly the
        // samples that went in; with it, LAME's delay (576), the decoder's (529) and a padded frame may be
        // added.
        const TestPcm out = DecodeMp3(mp3);
        ASSERT_EQ(std::tuple(out.rate, out.channels), std::tuple(c.rate, mode == MONO ? 1 : 2));
        const double frames = double(out.frames()), expected = std::round(c.seconds * c.rate);
        EXPECT_EQ(frames, c.exact ? expected : std::clamp(frames, expected - 1, expected + 1152 + 576 + 529));
        for (int channel = 0; channel < out.channels; ++channel)
            EXPECT_NEAR(W::ToneFrequency(out, channel), c.hz, c.hz * 0.01) << "channel " << channel;
    }
}
