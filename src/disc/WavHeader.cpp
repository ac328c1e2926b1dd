#include "disc/WavHeader.h"

#include <cmath>
#include <cstring>

namespace
{

void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

} // namespace

SampleFormat sampleFormatOf(TOutputFormat format)
{
    switch (format) {
    case TOutputFormat::MONO44100:
        return {1, 44100};
    case TOutputFormat::STEREO22050:
        return {2, 22050};
    case TOutputFormat::MONO22050:
        return {1, 22050};
    case TOutputFormat::STEREO11025:
        return {2, 11025};
    case TOutputFormat::MONO11025:
        return {1, 11025};
    default:
        return {2, 44100};
    }
}

WavHeader MakeWavHeader(SampleFormat format, uint32_t dataBytes)
{
    WavHeader h{};
    const uint32_t byteRate = uint32_t(format.channels) * format.rate * 2;
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], dataBytes + 36);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    put32(&h[16], 16);
    put16(&h[20], 1);
    put16(&h[22], uint16_t(format.channels));
    put32(&h[24], format.rate);
    put32(&h[28], byteRate);
    put16(&h[32], uint16_t(format.channels * 2));
    put16(&h[34], 16);
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], dataBytes);
    return h;
}

WavHeader MakeWavHeaderForRange(TOutputFormat format, int32_t first, int32_t last)
{
    const SampleFormat f = sampleFormatOf(format);
    const uint32_t byteRate = uint32_t(f.channels) * f.rate * 2;
    // (last - first) / 75 seconds at the byte rate; every byte rate is a multiple of 75.
    const auto dataBytes = uint32_t(std::llround(double(int64_t(last) - first) / 75.0 * byteRate));
    return MakeWavHeader(f, dataBytes);
}
