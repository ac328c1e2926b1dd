// The be* interface over libmp3lame, called directly.
#include "encoder/MP3Coder_Dll.h"

#include <gtest/gtest.h>

#include <random>

// Full-scale noise is the hardest input to compress: calls of twice the preferred size must fit the
// reported buffer even when the encoder upsamples, and a stream handle is good only while it is open.
TEST(LameEncoder, BufferHoldsTwiceTheChunkAndHandlesAreChecked)
{
    struct Case {
        uint32_t inRate, outRate;
        int32_t mode;
        bool vbr;
    };
    std::mt19937 random(1);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (const Case &c : {Case{44100, 0, BE_MP3_MODE_STEREO, false},
                          {8000, 48000, BE_MP3_MODE_STEREO, false},
                          {11025, 44100, BE_MP3_MODE_MONO, true}}) {
        SCOPED_TRACE(std::to_string(c.inRate) + " -> " + std::to_string(c.outRate));
        BE_CONFIG config{};
        config.dwConfig = BE_CONFIG_LAME;
        BE_CONFIG_LHV1 &f = config.format.LHV1;
        f.dwStructVersion = 1;
        f.dwStructSize = sizeof(BE_CONFIG);
        f.dwSampleRate = c.inRate;
        f.dwReSampleRate = c.outRate;
        f.nMode = c.mode;
        f.dwBitrate = f.dwMaxBitrate = 320;
        f.bEnableVBR = c.vbr ? BE_TRUE : BE_FALSE;
        uint32_t samples = 0, bufferSize = 0, outBytes = 0;
        HBE_STREAM stream = 0;
        ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
        ASSERT_GT(samples, 0u);
        std::vector<int16_t> noise(2 * samples);
        std::vector<uint8_t> out(bufferSize);
        for (int call = 0; call < 40; ++call) {
            for (int16_t &s : noise)
                s = int16_t(sample(random));
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
