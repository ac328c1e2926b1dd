#include "ChannelMixer.h"

#include <algorithm>

void ChannelMixer::Mix(const int16_t *in, int inChannels, int16_t *out, int outChannels, size_t frames)
{
    if (inChannels <= 0 || outChannels <= 0)
        return;
    const auto inStep = static_cast<size_t>(inChannels), outStep = static_cast<size_t>(outChannels);
    for (size_t f = 0; f < frames; ++f, in += inStep, out += outStep) {
        if (inChannels == outChannels) {
            std::copy(in, in + inStep, out);
        } else if (outChannels == 1) {
            int32_t sum = 0;
            for (int c = 0; c < inChannels; ++c)
                sum += in[c];
            out[0] = static_cast<int16_t>(sum / inChannels);
        } else if (inChannels == 1) {
            std::fill(out, out + outStep, in[0]);
        } else {
            for (int c = 0; c < outChannels; ++c)
                out[c] = c < inChannels ? in[c] : in[inChannels - 1];
        }
    }
}
