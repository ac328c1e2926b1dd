#include "ReplayGain.h"

#include "MP3CoderError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

// The loudness is ITU-R BS.1770-4's: each channel K-weighted (a high shelf, then a high pass), the
// weighted energy of the channels summed over blocks of 400 ms that start every 100 ms, the blocks
// gated at -70 LUFS and then 10 LU below the mean of those left.
//
// The filter runs eight frames at a time as one linear map of the eight inputs and its four-number
// state to the eight outputs and the next state, computed once for the rate. Its products are
// independent of each other, so they fill the vector units, where a sample-by-sample filter waits on
// its previous output: with AVX2 this measures a frame in under 2 ns, where libebur128 takes about 28,
// and ReplayGain stays a small part of an MP3 rip. The single-precision state keeps the blocks within
// a thousandth of a dB of a double-precision filter.

namespace
{

constexpr size_t kBlockFrames = 8;
constexpr int kStates = 4;
constexpr double kFullScale = 32768;
constexpr double kLoudnessOffset = -0.691;
constexpr double kAbsoluteGate = -70;        // LUFS
constexpr double kRelativeGate = -10;        // LU below the mean of the blocks above the absolute gate
constexpr int kSubBlocksABlock = 4;          // 400 ms in steps of 100 ms
constexpr double kReferenceLoudness = -18.0; // LUFS, the level ReplayGain 2.0 brings every file to

typedef float TLanes __attribute__((vector_size(32)));     // a stereo pair for each of four rows
typedef double TPairs __attribute__((vector_size(32)));    // the same bits, a pair a lane
typedef int16_t TSamples __attribute__((vector_size(16))); // four interleaved stereo frames

struct TBiquad {
    double b0, b1, b2, a1, a2;
};

// The two stages at a sample rate, from the analog filters that the 48 kHz coefficients of BS.1770
// were made from, through the bilinear transform warped at each filter's frequency.
std::array<TBiquad, 2> weightingStages(double rate)
{
    const double shelfQ = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20);
    const double vb = std::pow(vh, 0.4996667741545416);
    double k = std::tan(std::numbers::pi * 1681.974450955533 / rate);
    double a0 = 1 + k / shelfQ + k * k;
    const TBiquad shelf{(vh + vb * k / shelfQ + k * k) / a0, 2 * (k * k - vh) / a0,
                        (vh - vb * k / shelfQ + k * k) / a0, 2 * (k * k - 1) / a0,
                        (1 - k / shelfQ + k * k) / a0};
    const double passQ = 0.5003270373238773;
    k = std::tan(std::numbers::pi * 38.13547087602444 / rate);
    a0 = 1 + k / passQ + k * k;
    const TBiquad highPass{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / passQ + k * k) / a0};
    return {shelf, highPass};
}

// The two stages one sample at a time, in double precision; the state is their transposed direct
// form II registers. Used only to work out the block maps.
struct TCascade {
    std::array<TBiquad, 2> stages;
    std::array<double, kStates> state{};

    double step(double x)
    {
        for (size_t i = 0; i < stages.size(); ++i) {
            const TBiquad &f = stages[i];
            double *s = &state[2 * i];
            const double y = f.b0 * x + s[0];
            s[0] = f.b1 * x - f.a1 * y + s[1];
            s[1] = f.b2 * x - f.a2 * y;
            x = y;
        }
        return x;
    }
};

// The filter over n frames as matrices: outputs[i] = sum_k fromState[i][k] s[k] + sum_j fromInput[i][j]
// x[j], next s[r] = sum_k stateFromState[r][k] s[k] + sum_j stateFromInput[r][j] x[j]. Found by
// running the cascade from each unit state and each unit impulse, which by linearity is exact.
template <size_t n> struct TBlockMap {
    double fromState[n][kStates], fromInput[n][n], stateFromState[kStates][kStates],
        stateFromInput[kStates][n];

    explicit TBlockMap(const std::array<TBiquad, 2> &stages)
    {
        for (int k = 0; k < kStates; ++k) {
            TCascade cascade{stages};
            cascade.state[size_t(k)] = 1;
            for (size_t i = 0; i < n; ++i)
                fromState[i][k] = cascade.step(0);
            for (int r = 0; r < kStates; ++r)
                stateFromState[r][k] = cascade.state[size_t(r)];
        }
        for (size_t j = 0; j < n; ++j) {
            TCascade cascade{stages};
            for (size_t i = 0; i < n; ++i)
                fromInput[i][j] = cascade.step(i == j ? 1 : 0);
            for (int r = 0; r < kStates; ++r)
                stateFromInput[r][j] = cascade.state[size_t(r)];
        }
    }
};

// The block map laid out for the vector units: lane 2r + c holds row r (an output, or a state number)
// of channel c, so that a vector times a pair (left, right) broadcast to every row takes both
// channels at once.
struct alignas(32) TKernel {
    TLanes firstOutputs[4]; // outputs 0-3 from inputs 0-3
    TLanes lastOutputs[8];  // outputs 4-7 from inputs 0-7
    TLanes firstFromState[kStates], lastFromState[kStates];
    TLanes nextFromInput[8], nextFromState[kStates];
    // One frame at a time, for the frames before a 100 ms boundary or a call's end that do not fill a block.
    float outputFromState[kStates], outputFromInput, stepFromState[kStates][kStates], stepFromInput[kStates];

    explicit TKernel(double rate)
    {
        const auto stages = weightingStages(rate);
        const TBlockMap<kBlockFrames> map(stages);
        // Filled in place: a vector passed by value would need the vector units' calling convention.
        const auto rows = [](TLanes &lanes, auto value) {
            for (int lane = 0; lane < 8; ++lane)
                lanes[lane] = float(value(lane / 2));
        };
        for (size_t j = 0; j < 8; ++j) {
            if (j < 4)
                rows(firstOutputs[j], [&](int r) { return map.fromInput[r][j]; });
            rows(lastOutputs[j], [&](int r) { return map.fromInput[4 + r][j]; });
            rows(nextFromInput[j], [&](int r) { return map.stateFromInput[r][j]; });
        }
        for (int k = 0; k < kStates; ++k) {
            rows(firstFromState[k], [&](int r) { return map.fromState[r][k]; });
            rows(lastFromState[k], [&](int r) { return map.fromState[4 + r][k]; });
            rows(nextFromState[k], [&](int r) { return map.stateFromState[r][k]; });
        }
        const TBlockMap<1> one(stages);
        outputFromInput = float(one.fromInput[0][0]);
        for (int k = 0; k < kStates; ++k) {
            outputFromState[k] = float(one.fromState[0][k]);
            stepFromInput[k] = float(one.stateFromInput[k][0]);
            for (int r = 0; r < kStates; ++r)
                stepFromState[r][k] = float(one.stateFromState[r][k]);
        }
    }
};

// Not under ThreadSanitizer: the clone is picked while the program loads, before that runtime is set up,
// and its instrumented picker crashes.
#if defined(__x86_64__) && defined(__has_attribute) && !defined(__SANITIZE_THREAD__)
#if __has_attribute(target_clones)
#define QUARLE_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
#endif
#ifndef QUARLE_VECTOR_CLONES
#define QUARLE_VECTOR_CLONES
#endif

// Filters `blocks` blocks of eight stereo frames, adds the weighted energy (in squared sample units) to
// `energy` and raises `peak` to the largest magnitude seen.
QUARLE_VECTOR_CLONES
void filterBlocks(const TKernel &kernel, TLanes &state, const int16_t *samples, size_t blocks, double &energy,
                  int &peak)
{
#define QUARLE_PAIR(lanes, k) ((TLanes)__builtin_shufflevector((TPairs)(lanes), (TPairs)(lanes), k, k, k, k))
    TLanes sums{}, s = state;
    TSamples high{}, low{};
    for (size_t block = 0; block < blocks; ++block, samples += 2 * kBlockFrames) {
        TSamples first, second;
        std::memcpy(&first, samples, sizeof first);
        std::memcpy(&second, samples + kBlockFrames, sizeof second);
        high = first > high ? first : high;
        high = second > high ? second : high;
        low = first < low ? first : low;
        low = second < low ? second : low;
        const TLanes a = __builtin_convertvector(first, TLanes), b = __builtin_convertvector(second, TLanes);
        const TLanes x0 = QUARLE_PAIR(a, 0), x1 = QUARLE_PAIR(a, 1), x2 = QUARLE_PAIR(a, 2),
                     x3 = QUARLE_PAIR(a, 3);
        const TLanes x4 = QUARLE_PAIR(b, 0), x5 = QUARLE_PAIR(b, 1), x6 = QUARLE_PAIR(b, 2),
                     x7 = QUARLE_PAIR(b, 3);
        const TLanes s0 = QUARLE_PAIR(s, 0), s1 = QUARLE_PAIR(s, 1), s2 = QUARLE_PAIR(s, 2),
                     s3 = QUARLE_PAIR(s, 3);
        const TKernel &m = kernel;
        // Sums in pairs, so that no product waits for more than two others.
        const TLanes early = (m.firstOutputs[0] * x0 + m.firstOutputs[1] * x1) +
                             (m.firstOutputs[2] * x2 + m.firstOutputs[3] * x3) +
                             ((m.firstFromState[0] * s0 + m.firstFromState[1] * s1) +
                              (m.firstFromState[2] * s2 + m.firstFromState[3] * s3));
        const TLanes late = ((m.lastOutputs[0] * x0 + m.lastOutputs[1] * x1) +
                             (m.lastOutputs[2] * x2 + m.lastOutputs[3] * x3)) +
                            ((m.lastOutputs[4] * x4 + m.lastOutputs[5] * x5) +
                             (m.lastOutputs[6] * x6 + m.lastOutputs[7] * x7)) +
                            ((m.lastFromState[0] * s0 + m.lastFromState[1] * s1) +
                             (m.lastFromState[2] * s2 + m.lastFromState[3] * s3));
        const TLanes fromInput = ((m.nextFromInput[0] * x0 + m.nextFromInput[1] * x1) +
                                  (m.nextFromInput[2] * x2 + m.nextFromInput[3] * x3)) +
                                 ((m.nextFromInput[4] * x4 + m.nextFromInput[5] * x5) +
                                  (m.nextFromInput[6] * x6 + m.nextFromInput[7] * x7));
        s = fromInput + ((m.nextFromState[0] * s0 + m.nextFromState[1] * s1) +
                         (m.nextFromState[2] * s2 + m.nextFromState[3] * s3));
        sums += early * early + late * late;
    }
#undef QUARLE_PAIR
    state = s;
    for (int lane = 0; lane < 8; ++lane) {
        energy += double(sums[lane]);
        peak = std::max({peak, int(high[lane]), -int(low[lane])});
    }
}

double energyOf(double loudness)
{
    return std::pow(10.0, (loudness - kLoudnessOffset) / 10);
}

// The gated loudness over the blocks of one or more tracks (their energies, all above the absolute gate).
double integratedLoudness(std::span<const std::vector<float> *const> blockLists)
{
    double sum = 0;
    size_t count = 0;
    for (const std::vector<float> *blocks : blockLists)
        for (const float energy : *blocks) {
            sum += energy;
            ++count;
        }
    if (count == 0)
        return -HUGE_VAL;
    const double gate = sum / double(count) * std::pow(10.0, kRelativeGate / 10);
    sum = 0;
    count = 0;
    for (const std::vector<float> *blocks : blockLists)
        for (const float energy : *blocks)
            if (energy > gate) {
                sum += energy;
                ++count;
            }
    return kLoudnessOffset + 10 * std::log10(sum / double(count));
}

std::optional<double> gainFor(double loudness)
{
    if (!std::isfinite(loudness))
        return std::nullopt;
    return kReferenceLoudness - loudness;
}

} // namespace

struct TReplayGainTrack::Measure {
    explicit Measure(int rate) : kernel(rate), subBlockFrames(size_t(std::lround(rate / 10.0))) {}

    TKernel kernel;
    TLanes state{};
    size_t channels = 0;
    size_t subBlockFrames;
    size_t framesInSubBlock = 0;
    double subBlockEnergy = 0;
    std::array<double, kSubBlocksABlock> recent{}; // the last sub-blocks' energies, in a ring
    size_t subBlocks = 0;
    int peak = 0;
    std::vector<float> blocks;    // the mean square of each 400 ms block above the absolute gate
    std::vector<int16_t> partial; // the start of a frame that the next Add completes
    std::vector<int16_t> stereo;  // a mono call's samples doubled
    std::optional<TReplayGain> result;

    void stepOne(const int16_t *frame)
    {
        const TKernel &k = kernel;
        for (int c = 0; c < 2; ++c) {
            const float x = frame[c];
            float y = k.outputFromInput * x, next[kStates];
            for (int r = 0; r < kStates; ++r) {
                y += k.outputFromState[r] * state[2 * r + c];
                next[r] = k.stepFromInput[r] * x;
                for (int j = 0; j < kStates; ++j)
                    next[r] += k.stepFromState[r][j] * state[2 * j + c];
            }
            for (int r = 0; r < kStates; ++r)
                state[2 * r + c] = next[r];
            subBlockEnergy += double(y) * y;
            peak = std::max({peak, int(frame[c]), -int(frame[c])});
        }
    }

    void endSubBlock()
    {
        // Through a silence the state decays into the denormal numbers, which some processors handle a
        // hundred times slower; so far below a step of the samples it is nothing, and is dropped.
        for (int lane = 0; lane < 8; ++lane)
            if (std::abs(state[lane]) < 1e-20f)
                state[lane] = 0;
        recent[subBlocks++ % recent.size()] = subBlockEnergy;
        subBlockEnergy = 0;
        framesInSubBlock = 0;
        if (subBlocks < recent.size())
            return;
        double energy = 0;
        for (const double e : recent)
            energy += e;
        energy /= double(recent.size() * subBlockFrames) * kFullScale * kFullScale;
        if (energy > energyOf(kAbsoluteGate))
            blocks.push_back(float(energy));
    }

    void feedStereo(const int16_t *samples, size_t frames)
    {
        while (frames > 0) {
            const size_t n = std::min(frames, subBlockFrames - framesInSubBlock);
            const size_t whole = n / kBlockFrames;
            filterBlocks(kernel, state, samples, whole, subBlockEnergy, peak);
            for (size_t i = whole * kBlockFrames; i < n; ++i)
                stepOne(samples + 2 * i);
            samples += 2 * n;
            frames -= n;
            framesInSubBlock += n;
            if (framesInSubBlock == subBlockFrames)
                endSubBlock();
        }
    }

    // A mono file plays on both speakers: counted twice, it gets the gain of the stereo rip it was mixed
    // from, not one 3 dB higher.
    void feed(const int16_t *samples, size_t frames)
    {
        if (channels == 2)
            return feedStereo(samples, frames);
        stereo.resize(2 * frames);
        for (size_t i = 0; i < frames; ++i)
            stereo[2 * i] = stereo[2 * i + 1] = samples[i];
        feedStereo(stereo.data(), frames);
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

TReplayGainTrack::TReplayGainTrack(int sampleRate, int channels)
{
    // Below 8 kHz the shelf's frequency nears half the rate, where the filter design fails.
    if (sampleRate < 8000 || sampleRate > 384000 || channels < 1 || channels > 2)
        throw EMP3CoderError(QStringLiteral("Cannot measure the loudness of %1 channels at %2 Hz")
                                 .arg(channels)
                                 .arg(sampleRate)
                                 .toStdString());
    d_ = std::make_unique<Measure>(sampleRate);
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
    const std::vector<float> *blocks[] = {&d_->blocks};
    TReplayGain values;
    values.gain = gainFor(integratedLoudness(blocks));
    values.peak = d_->peak / kFullScale;
    d_->result = values;
    d_->partial = {};
    d_->stereo = {};
    d_->blocks.shrink_to_fit();
    return values;
}

TReplayGain TReplayGainTrack::Album(std::span<TReplayGainTrack> tracks)
{
    TReplayGain album;
    std::vector<const std::vector<float> *> blocks;
    for (TReplayGainTrack &track : tracks) {
        album.peak = std::max(album.peak, track.Finish().peak);
        blocks.push_back(&track.d_->blocks);
    }
    album.gain = gainFor(integratedLoudness(blocks));
    return album;
}
