// The be* interface over libmp3lame, called directly.
#include "Mp3Decode.h"
#include "WavTestFile.h"
#include "encoder/MP3Coder.h"
#include "encoder/MP3Coder_Dll.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

namespace
{

BE_CONFIG Lhv1(uint32_t inRate, uint32_t outRate, int32_t mode, uint32_t kbps, bool vbr)
{
    BE_CONFIG c{};
    c.dwConfig = BE_CONFIG_LAME;
    c.format.LHV1.dwStructVersion = 1;
    c.format.LHV1.dwStructSize = sizeof(BE_CONFIG);
    c.format.LHV1.dwSampleRate = inRate;
    c.format.LHV1.dwReSampleRate = outRate;
    c.format.LHV1.nMode = mode;
    c.format.LHV1.dwBitrate = kbps;
    c.format.LHV1.dwMaxBitrate = 320;
    c.format.LHV1.bEnableVBR = vbr ? BE_TRUE : BE_FALSE;
    c.format.LHV1.nVBRQuality = 0;
    return c;
}

} // namespace

// Full-scale noise is the hardest input to compress: calls of twice the preferred size must fit the
// reported buffer even when the encoder upsamples, and a stream handle is good only while it is open.
TEST(LameEncoder, BufferHoldsTwiceTheChunkAndHandlesAreChecked)
{
    struct Case {
        uint32_t inRate, outRate;
        int32_t mode;
        uint32_t kbps;
        bool vbr;
    };
    const Case cases[] = {
        {44100, 0, BE_MP3_MODE_STEREO, 320, false},
        {8000, 48000, BE_MP3_MODE_STEREO, 320, false},
        {11025, 44100, BE_MP3_MODE_MONO, 320, true},
    };
    std::mt19937 random(1);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.inRate) + " -> " + std::to_string(c.outRate));
        BE_CONFIG config = Lhv1(c.inRate, c.outRate, c.mode, c.kbps, c.vbr);
        uint32_t samples = 0, bufferSize = 0;
        HBE_STREAM stream = 0;
        ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
        ASSERT_GT(samples, 0u);
        std::vector<int16_t> noise(2 * samples);
        std::vector<uint8_t> out(bufferSize);
        uint32_t outBytes = 0;
        for (int call = 0; call < 40; ++call) {
            for (int16_t &s : noise)
                s = static_cast<int16_t>(sample(random));
            ASSERT_EQ(beEncodeChunk(stream, 2 * samples, noise.data(), out.data(), &outBytes),
                      BE_ERR_SUCCESSFUL);
        }
        EXPECT_EQ(beDeinitStream(stream, out.data(), &outBytes), BE_ERR_SUCCESSFUL);
        EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
        EXPECT_EQ(beEncodeChunk(stream, samples, noise.data(), out.data(), &outBytes), BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(outBytes, 0u);
        EXPECT_EQ(beCloseStream(stream), BE_ERR_INVALID_HANDLE);
    }
    uint32_t outBytes = 7;
    uint8_t byte = 0;
    EXPECT_EQ(beDeinitStream(0, &byte, &outBytes), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(outBytes, 0u);
}

// The coder's settings must reach the frames a player reads: rate, mode, CRC and the header bits.
TEST(LameEncoder, FrameHeadersFollowTheCoderSettings)
{
    struct Case {
        uint32_t rate;
        TMP3CoderMode mode;
        uint32_t kbps;
        bool crc, privateBit, copyright, original;
        int version, bitrateIndex;
    };
    const Case cases[] = {
        {44100, STEREO, 128, true, false, false, false, 1, 9},
        {44100, MONO, 64, false, true, true, true, 1, 5},
        {48000, DUALCHANNEL, 192, true, true, false, true, 1, 11},
    };
    QTemporaryDir dir;
    const QString raw = dir.path() + "/in.pcm";
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " mode " + std::to_string(c.mode));
        const TestPcm tone = WavTestFile::Tone(c.rate, c.mode == MONO ? 1 : 2, 500, 0.5);
        ASSERT_TRUE(WavTestFile::Write(raw, WavTestFile::RawBytes(tone)));
        TMP3Coder coder;
        coder.setSampleRate(c.rate);
        coder.setMode(c.mode);
        coder.setBitrate(c.kbps);
        coder.setCRC(c.crc);
        coder.setPrivate(c.privateBit);
        coder.setCopyright(c.copyright);
        coder.setOriginal(c.original);
        coder.setInputFiles({raw});
        ASSERT_NO_THROW(coder.ProcessFiles());
        const Mp3FrameHeader h = FirstMp3Frame(coder.OutputFiles().first());
        ASSERT_TRUE(h.found);
        EXPECT_EQ(h.layer, 3);
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(h.sampleRate, static_cast<int>(c.rate));
        EXPECT_EQ(h.mode, static_cast<int>(c.mode));
        EXPECT_EQ(h.bitrateIndex, c.bitrateIndex);
        EXPECT_EQ(h.crc, c.crc);
        EXPECT_EQ(h.privateBit, c.privateBit);
        EXPECT_EQ(h.copyright, c.copyright);
        EXPECT_EQ(h.original, c.original);
    }
}
