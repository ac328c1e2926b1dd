#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Generator of CUE/BIN disc images with known content, for the tests, the demo and the benchmarks.
// Audio tracks hold a tone (left at the full amplitude, right at half of it) or a music-like mix;
// data tracks hold MODE1 sectors. Every sample is a pure function of the track and the frame, so a
// test can recompute what a rip must deliver.

struct DiscTrack {
    enum class Kind { Tone, Music, Data };

    int32_t sectors = 0;
    Kind kind = Kind::Tone;
    double frequency = 440.0; // tone frequency, or the root of the music-like mix
    double amplitude = 0.5;   // of full scale
    QString title;            // CD-Text of the track, written into the CUE sheet when not empty
    QString performer;

    static DiscTrack tone(int32_t sectors, double frequency)
    {
        return {sectors, Kind::Tone, frequency, 0.5, {}, {}};
    }
    static DiscTrack data(int32_t sectors) { return {sectors, Kind::Data, 0, 0, {}, {}}; }
    static DiscTrack music(int32_t sectors, double root) { return {sectors, Kind::Music, root, 0.4, {}, {}}; }
};

struct DiscImage {
    QString cuePath;
    QString binPath;
    std::vector<DiscTrack> tracks;

    // First sector of track `index` (0-based) in the image.
    int32_t startSector(size_t index) const;
    int32_t totalSectors() const;
};

// The disc's own CD-Text.
struct DiscText {
    QString title;
    QString performer;
};

// Writes `basePath`.cue and `basePath`.bin. Returns false (with the reason) when a file cannot be
// written or a track has no sectors.
bool writeDiscImage(const QString &basePath, const std::vector<DiscTrack> &tracks, DiscImage *image,
                    QString *error = nullptr, const DiscText &text = {});

// Interleaved 16-bit stereo samples of an audio track, frames [firstFrame, firstFrame + frames).
void renderTrackAudio(const DiscTrack &track, int64_t firstFrame, int64_t frames, int16_t *out);

// The little-endian bytes of a whole audio track as the image holds them.
QByteArray trackAudioBytes(const DiscTrack &track);

// Parses the generator's command-line track words: "SECTORS[:HZ]" a tone, "music:SECTORS[:HZ]",
// "data:SECTORS". False for a malformed word.
bool parseDiscTrackWord(const QString &word, DiscTrack *track);
