#pragma once

#include <cstddef>
#include <cstdint>

// Turns interleaved 16-bit frames of one channel count into another, for the encoder, which only takes
// one or two channels. To one channel: the mean of all input channels. From one channel: the channel
// copied to every output. From more than two channels to two: the front pair (the first two channels in
// WAVE order), the others dropped.
class ChannelMixer
{
public:
    static void Mix(const int16_t *in, int inChannels, int16_t *out, int outChannels, size_t frames);
};
