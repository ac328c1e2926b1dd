#pragma once

#include <array>
#include <cstdint>

enum class TOutputFormat : uint8_t { STEREO44100, MONO44100, STEREO22050, MONO22050, STEREO11025, MONO11025 };

// Channels and rate of the samples a format delivers; any ordinal above 5 counts as stereo 44100.
struct SampleFormat {
    int channels = 2;
    uint32_t rate = 44100;
};
SampleFormat sampleFormatOf(TOutputFormat format);

using WavHeader = std::array<uint8_t, 44>;

// The 44-byte RIFF/WAVE header of a 16-bit PCM file whose "data" chunk holds `dataBytes` bytes.
WavHeader MakeWavHeader(SampleFormat format, uint32_t dataBytes);

// The header written before ripping sectors first..last: its data size counts last - first sectors.
WavHeader MakeWavHeaderForRange(TOutputFormat format, int32_t first, int32_t last);
