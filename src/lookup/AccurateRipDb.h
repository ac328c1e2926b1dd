#pragma once

#include "lookup/DocumentFetcher.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class THttpCli;

// One entry of the disc's table of contents: its first sector (LSN, without the 150-sector lead-in)
// and whether it is an audio track.
struct TDiscTocEntry {
    int32_t startSector = 0;
    bool audio = true;
};

// The disc as the AccurateRip database knows it: the count of audio tracks, its two identifiers and
// its CDDB identifier.
struct TAccurateRipId {
    int audioTracks = 0;
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddb = 0;

    // "010-00164419-00b9f6e2-9e11600b"
    QString Text() const;
    // Where the database keeps the disc's checksums:
    // http://www.accuraterip.com/accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin
    QString Url() const;
};

// The identifiers from the table of contents (every track, data tracks included, in disc order)
// and the lead-out's first sector. id1 sums the audio tracks' starts and the lead-out; id2 sums
// each audio track's start (at least 1) times its number among the audio tracks, and the lead-out
// times that count plus one. A data track first (mixed mode) is left out; a data track last
// (enhanced CD) only moves the end, as both use the disc's own lead-out. The CDDB identifier takes
// every track.
TAccurateRipId AccurateRipDiscId(const std::vector<TDiscTocEntry> &tracks, int32_t leadOutSector);

struct TAccurateRipEntry {
    uint8_t confidence = 0;
    uint32_t crc = 0;      // v1 or v2: a pressing holds one kind or the other
    uint32_t frame450 = 0; // checksum of the track's 450th sector, for finding offsets (unused here)
};

// One pressing of a dBAR file: a 13-byte header (track count, id1, id2, CDDB id, little-endian),
// then 9 bytes per track (confidence, checksum, frame-450 checksum).
struct TAccurateRipPressing {
    TAccurateRipId disc;
    std::vector<TAccurateRipEntry> tracks;
};

// The pressings of a dBAR file, in file order. A file that does not split exactly into pressings
// (cut short, trailing bytes, an HTML page) is no answer at all.
std::optional<std::vector<TAccurateRipPressing>> ParseAccurateRipFile(const QByteArray &bytes);

struct TAccurateRipVerdict {
    enum Kind { Accurate, NotAccurate, NotInDatabase, Unreachable };
    Kind kind = Unreachable;
    int confidence = 0; // of the best matching entry, for Accurate

    // "accurata (fiducia 12)", "non accurata", "disco assente", "non raggiungibile"
    QString Text() const;
};

// The verdict on a track (its position `trackNumber` in the table of contents, from 1) whose rip
// gave the checksums v1 and v2. `answer` is the parsed file, nothing when the database was not
// reached. Only the pressings of this very disc count, and only their entries with a confidence.
TAccurateRipVerdict CompareWithAccurateRip(const std::optional<std::vector<TAccurateRipPressing>> &answer,
                                           const TAccurateRipId &disc, int trackNumber, uint32_t v1,
                                           uint32_t v2);
