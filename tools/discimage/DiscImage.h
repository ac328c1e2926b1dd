#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    // INDEX 00: sectors of pre-gap ahead of the track's first sector (INDEX 01), held in the image.
    // On the first track they are the audio before track 1, its INDEX 00 at 00:00:00. A data
    // track's gap holds data sectors, an audio track's silence or a quiet tone of gapFrequency.
    int32_t gap{};
    double gapFrequency{};
    std::vector<int32_t> indexes{}; // INDEX 02 onwards, in sectors from the track's start, ascending
    QString isrc{};                 // 12 characters, or empty
    bool preemphasis{};             // FLAGS PRE (the samples are not changed)

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

    // First sector of track `index` (0-based) in the image: its INDEX 01, after its gap.
    int32_t startSector(size_t index) const;
    // The first sector of the gap before track `index`, where its INDEX 00 is.
    int32_t gapSector(size_t index) const;
    int32_t totalSectors() const;
};

// The disc's own CD-Text.
struct DiscText {
    QString title;
    QString performer;
    QString catalog{}; // CATALOG: 13 digits, or empty
};

// Writes `basePath`.cue and `basePath`.bin. Returns false (with the reason) when a file cannot be
// written or a track has no sectors.
bool writeDiscImage(const QString &basePath, const std::vector<DiscTrack> &tracks, DiscImage *image,
                    QString *error = nullptr, const DiscText &text = {});

// Interleaved 16-bit stereo samples of an audio track, frames [firstFrame, firstFrame + frames).
void renderTrackAudio(const DiscTrack &track, int64_t firstFrame, int64_t frames, int16_t *out);

// The little-endian bytes of a whole audio track as the image holds them.
QByteArray trackAudioBytes(const DiscTrack &track);
// The bytes of an audio track's gap as the image holds them; for the first track, the audio before it.
QByteArray gapAudioBytes(const DiscTrack &track);

// Parses the generator's command-line track words: "SECTORS[:HZ]" a tone, "music:SECTORS[:HZ]",
// "data:SECTORS". False for a malformed word.
bool parseDiscTrackWord(const QString &word, DiscTrack *track);

// Parses the generator's words: track words, each followed by words for that track ("gap=SECTORS[:HZ]",
// "index=SECTOR[,SECTOR...]", "isrc=CODE", "pre"), and "catalog=DIGITS" anywhere. False, with the
// offending word in *error, for a malformed one.
bool parseDiscWords(const QStringList &words, std::vector<DiscTrack> *tracks, DiscText *text, QString *error);
