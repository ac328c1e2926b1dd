#include "ReplayGain.h"

#include "MP3CoderError.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace
{

struct StateDeleter {
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

std::optional<double> gainFor(double loudness)
{
    constexpr double referenceLoudness = -18.0; // LUFS, the level ReplayGain 2.0 brings every file to
    if (!std::isfinite(loudness))
        return std::nullopt;
    return referenceLoudness - loudness;
}

} // namespace

struct TReplayGainTrack::Measure {
    std::unique_ptr<ebur128_state, StateDeleter> state;
    size_t channels = 0;
    std::vector<int16_t> partial; // the start of a frame that the next Add completes
    std::optional<TReplayGain> result;

    void feed(const int16_t *samples, size_t frames)
    {
        if (frames > 0 && ebur128_add_frames_short(state.get(), samples, frames) != EBUR128_SUCCESS)
            throw std::bad_alloc();
    }
};

QString TReplayGain::GainText() const
{
    if (!gain)
        return {};
    // Rounded before the sign is chosen, so that a gain just below zero reads "+0.00 dB", not "-0.00 dB".
    const double rounded = std::round(*gain * 100) / 100;
    return QString::asprintf("%+.2f dB", rounded == 0 ? 0.0 : rounded);
}

QString TReplayGain::PeakText() const
{
    return gain ? QString::asprintf("%.6f", peak) : QString();
}

TReplayGainTrack::TReplayGainTrack(int sampleRate, int channels) : d_(std::make_unique<Measure>())
{
    // The histogram keeps the memory of the measurement fixed; a list of blocks would grow with the
    // track's length.
    if (sampleRate > 0 && channels > 0)
        d_->state.reset(ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM));
    if (!d_->state)
        throw EMP3CoderError(QStringLiteral("Cannot measure the loudness of %1 channels at %2 Hz")
                                 .arg(channels)
                                 .arg(sampleRate)
                                 .toStdString());
    // A mono file plays on both speakers: counted twice, it gets the gain of the stereo rip it was mixed
    // from, not one 3 dB higher.
    if (channels == 1)
        ebur128_set_channel(d_->state.get(), 0, EBUR128_DUAL_MONO);
    d_->channels = size_t(channels);
}

TReplayGainTrack::~TReplayGainTrack() = default;
TReplayGainTrack::TReplayGainTrack(TReplayGainTrack &&) noexcept = default;
TReplayGainTrack &TReplayGainTrack::operator=(TReplayGainTrack &&) noexcept = default;

void TReplayGainTrack::Add(const int16_t *samples, size_t count)
{
    if (d_->result)
        return;
    std::vector<int16_t> &partial = d_->partial;
    if (!partial.empty()) {
        const size_t taken = std::min(count, d_->channels - partial.size());
        partial.insert(partial.end(), samples, samples + taken);
        samples += taken;
        count -= taken;
        if (partial.size() < d_->channels)
            return;
        d_->feed(partial.data(), 1);
        partial.clear();
    }
    const size_t frames = count / d_->channels;
    d_->feed(samples, frames);
    partial.assign(samples + frames * d_->channels, samples + count);
}

TReplayGain TReplayGainTrack::Finish()
{
    if (d_->result)
        return *d_->result;
    ebur128_state *state = d_->state.get();
    TReplayGain values;
    double loudness = -HUGE_VAL;
    ebur128_loudness_global(state, &loudness);
    values.gain = gainFor(loudness);
    for (unsigned channel = 0; channel < d_->channels; ++channel) {
        double peak = 0;
        ebur128_sample_peak(state, channel, &peak);
        values.peak = std::max(values.peak, peak);
    }
    d_->result = values;
    d_->partial = {};
    // The album needs only the histogram of gating blocks, which a change of parameters keeps. The
    // audio buffers (about 1 MiB for CD audio, held until the album is measured) go by changing to the
    // smallest channel count and rate libebur128 takes.
    const int changed = ebur128_change_parameters(state, 1, 16);
    if (changed != EBUR128_SUCCESS && changed != EBUR128_ERROR_NO_CHANGE) {
        d_->state.reset(); // libebur128 leaves it unusable
        throw std::bad_alloc();
    }
    return values;
}

TReplayGain TReplayGainTrack::Album(std::span<TReplayGainTrack> tracks)
{
    TReplayGain album;
    std::vector<ebur128_state *> states;
    for (TReplayGainTrack &track : tracks) {
        album.peak = std::max(album.peak, track.Finish().peak);
        if (!track.d_->state)
            throw std::bad_alloc();
        states.push_back(track.d_->state.get());
    }
    double loudness = -HUGE_VAL;
    if (!states.empty())
        ebur128_loudness_global_multiple(states.data(), states.size(), &loudness);
    album.gain = gainFor(loudness);
    return album;
}
