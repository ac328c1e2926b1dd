#include "encoder/ReplayGain.h"

#include "WavTestFile.h"

#include <gtest/gtest.h>

#include <cmath>

// Digital silence (loudness -INFINITY) writes neither text.
static void expectTexts(const TReplayGain &values, double loudness, double peak)
{
    EXPECT_EQ(values.GainText().isEmpty() && values.PeakText().isEmpty(), std::isinf(loudness)) << loudness;
    if (!std::isinf(loudness)) {
        EXPECT_NEAR(values.GainText().section(' ', 0, 0).toDouble(), -18 - loudness, 0.1) << loudness;
        EXPECT_NEAR(values.PeakText().toDouble(), peak, 1e-4) << loudness;
    }
}

TEST(ReplayGain, TracksAndTheirAlbumMatchTheClosedFormLoudness)
{
    // A 1 kHz sine has a closed-form BS.1770 loudness: the -0.691 offset cancels the K-weighting near
    // 1 kHz, so amplitude A in both channels (or in a mono file, counted twice) reads 20 log10(A) LUFS.
    // Silence has no loudness, and its blocks fall below the album's gate.
    // clang-format off
    const struct { double dbfs; int seconds, channels, rate; size_t samplesACall; } tones[] = {
        {-20,       20, 2, 44100, 1001}, // calls that split frames
        {-30,       10, 2, 44100, 1},
        {-26,       10, 1, 22050, 4096},
        {-INFINITY, 5,  2, 44100, 4096},
    };
    // clang-format on
    std::vector<TReplayGainTrack> tracks;
    double energy = 0, seconds = 0;
    for (const auto &tone : tones) {
        const double amplitude = std::pow(10, tone.dbfs / 20);
        TestPcm pcm = WavTestFile::Tone(uint32_t(tone.rate), tone.channels, 1000, tone.seconds);
        for (int16_t &sample : pcm.samples)
            sample = int16_t(std::lround(sample * amplitude * 32768 / 16383.5));
        TReplayGainTrack &track = tracks.emplace_back(tone.rate, tone.channels);
        for (size_t at = 0; at < pcm.samples.size(); at += tone.samplesACall)
            track.Add(pcm.samples.data() + at, std::min(tone.samplesACall, pcm.samples.size() - at));
        expectTexts(track.Finish(), tone.dbfs, amplitude);
        energy += tone.seconds * amplitude * amplitude;
        seconds += amplitude > 0 ? tone.seconds : 0;
    }
    expectTexts(TReplayGainTrack::Album(tracks), 10 * std::log10(energy / seconds), 0.1);
    expectTexts(TReplayGainTrack::Album(std::span(tracks).last(1)), -INFINITY, 0);
}
