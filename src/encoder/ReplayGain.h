#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// The ReplayGain 2.0 values of a track or an album.
struct TReplayGain {
    // The gain in dB that brings the integrated loudness (ITU-R BS.1770) to -18 LUFS. None when nothing
    // rises above the loudness gate (-70 LUFS), as with a track of digital silence: it has no loudness to
    // correct, any number would be invented, and a file without ReplayGain plays as it is, which is
    // right for silence.
    std::optional<double> gain;
    double peak = 0; // the highest sample as a fraction of full scale (32768)

    // The tags' texts, "-6.52 dB" or "+1.23 dB" and "0.988312"; both empty when there is no gain, so
    // that a file carries the pair or neither.
    QString GainText() const;
    QString PeakText() const;
};

// Measures one track from its samples as they are ripped. It keeps the energy of each gating block
// after Finish, for the album's values: 4 bytes every 100 ms that is not near silence (24 KiB for ten
// minutes).
class TReplayGainTrack
{
public:
    // Raises EMP3CoderError for a channel count or rate the measurement does not take: it takes one or
    // two channels at 8 to 384 kHz.
    TReplayGainTrack(int sampleRate, int channels);
    ~TReplayGainTrack();
    TReplayGainTrack(TReplayGainTrack &&) noexcept;
    TReplayGainTrack &operator=(TReplayGainTrack &&) noexcept;

    // Interleaved samples in chunks of any size: a partial frame at the end of a call waits for the
    // rest in the next one. Samples added after Finish are ignored.
    void Add(const int16_t *samples, size_t count);
    // Ends the measurement and frees its buffers; a partial frame still waiting is dropped. Calling it
    // again gives the same values.
    TReplayGain Finish();

    // The album's values over the given tracks (those the run completed): the loudness of all their
    // gating blocks together, the highest of their peaks. Each track is finished first.
    static TReplayGain Album(std::span<TReplayGainTrack> tracks);

private:
    struct Measure;
    std::unique_ptr<Measure> d_;
};
