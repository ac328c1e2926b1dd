#include "encoder/MP3CoderError.h"
#include "encoder/ReplayGain.h"

#include "WavTestFile.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>

// Audio below the absolute gate (-70 LUFS), as digital silence, writes neither text.
static void expectTexts(const TReplayGain &values, double loudness, double peak)
{
    EXPECT_EQ(values.GainText().isEmpty() && values.PeakText().isEmpty(), loudness < -70) << loudness;
    if (loudness >= -70) {
        EXPECT_NEAR(values.GainText().section(' ', 0, 0).toDouble(), -18 - loudness, 0.1) << loudness;
        EXPECT_NEAR(values.PeakText().toDouble(), peak, 1e-4) << loudness;
    }
}

TEST(ReplayGain, TracksAndTheirAlbumMatchTheClosedFormLoudness)
{
    // A 1 kHz sine has a closed-form BS.1770 loudness: the -0.691 offset cancels the K-weighting near
    // 1 kHz, so amplitude A in both channels (or in a mono file, counted twice) reads 20 log10(A) LUFS.
    // A tone below the absolute gate has no loudness (rather than a gain of +62 dB), and its blocks
    // fall below the album's gate.
    // clang-format off
    const struct { double dbfs; int seconds, channels, rate; size_t samplesACall; } tones[] = {
        {-20,       20, 2, 44100, 1001}, // calls that split frames
        {-30,       10, 2, 44100, 1},
        {-26,       10, 1, 22050, 4096},
        {-80,       5,  2, 44100, 4096},
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
        energy += tone.dbfs > -70 ? tone.seconds * amplitude * amplitude : 0;
        seconds += tone.dbfs > -70 ? tone.seconds : 0;
    }
    expectTexts(TReplayGainTrack::Album(tracks), 10 * std::log10(energy / seconds), 0.1);
    expectTexts(TReplayGainTrack::Album(std::span(tracks).last(1)), -80, 0);
    // A rate without a 100 ms block would never end one; more channels would be read as one.
    EXPECT_THROW(TReplayGainTrack(0, 2), EMP3CoderError);
    EXPECT_THROW(TReplayGainTrack(44100, 6), EMP3CoderError);
}

TEST(ReplayGain, MatchesLibebur128AcrossTheSpectrumAndTheGates)
{
    // libebur128 as the independent reference: tones where each filter stage bends (20 Hz, 100 Hz,
    // 1.7 kHz, 15 kHz) and noise, different in each channel, then a quiet part that the relative gate
    // drops, fed in calls that end mid-block and mid-frame; then the album of two such tracks. The peak is
    // a lone negative full-scale sample.
    std::vector<TReplayGainTrack> tracks;
    std::unique_ptr<ebur128_state, void (*)(ebur128_state *)> reference[] = {
        {ebur128_init(2, 44100, EBUR128_MODE_I), [](ebur128_state *s) { ebur128_destroy(&s); }},
        {ebur128_init(2, 44100, EBUR128_MODE_I), [](ebur128_state *s) { ebur128_destroy(&s); }}};
    uint32_t noise = 1;
    for (int t = 0; t < 2; ++t) {
        std::vector<int16_t> samples(44100 * 2 * 15);
        for (size_t i = 0; i < samples.size(); ++i) {
            const double time = double(i / 2) / 44100, level = i < samples.size() * 2 / 3 ? 1 : 0.02;
            noise = noise * 1664525 + 1013904223;
            const double tones =
                i % 2 ? 3000 * std::sin(2 * M_PI * 20 * time) + 2000 * std::sin(2 * M_PI * 15000 * time)
                      : 4000 * std::sin(2 * M_PI * 100 * time) + 2500 * std::sin(2 * M_PI * 1700 * time);
            samples[i] = int16_t(level * (tones + (t + 1) * double(int16_t(noise >> 16)) / 8));
        }
        samples[7] = -32768;
        TReplayGainTrack &track = tracks.emplace_back(44100, 2);
        for (size_t at = 0; at < samples.size(); at += 7645)
            track.Add(samples.data() + at, std::min<size_t>(7645, samples.size() - at));
        ebur128_add_frames_short(reference[t].get(), samples.data(), samples.size() / 2);
        double loudness = 0;
        ebur128_loudness_global(reference[t].get(), &loudness);
        EXPECT_NEAR(*track.Finish().gain, -18 - loudness, 0.01) << t;
        EXPECT_EQ(track.Finish().peak, 1.0);
    }
    ebur128_state *both[] = {reference[0].get(), reference[1].get()};
    double album = 0;
    ebur128_loudness_global_multiple(both, 2, &album);
    EXPECT_NEAR(*TReplayGainTrack::Album(tracks).gain, -18 - album, 0.01);
}
