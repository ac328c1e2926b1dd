#pragma once

#include "lookup/AccurateRipDb.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// What the CUETools database (CTDB) checks of one audio track: its samples from its start to the next
// audio track's start (the disc's audio end for the last), less what the database leaves out at the
// disc's two ends so that a rip's CRC does not depend on the drive's read offset: the first ten sectors
// of the disc's first audio track, and the last ten to nineteen of its last.
struct TCtdbTrackSpan {
    int trackNumber = 0;     // its position in the table of contents, from 1
    int32_t startSector = 0; // its INDEX 01
    int32_t endSector = 0;   // the sector after it
    uint32_t skipFirst = 0;  // frames left out at its start
    uint32_t skipLast = 0;   // and at its end

    // The checked frames, counted from the disc's start: [FirstFrame, EndFrame).
    uint64_t FirstFrame() const { return uint64_t(startSector) * 588 + skipFirst; }
    uint64_t EndFrame() const { return uint64_t(endSector) * 588 - skipLast; }
};

// The disc as the CTDB knows it.
struct TCtdbDisc {
    QString tocId; // 28 characters; empty when the table gives no disc the database could know
    QString toc;   // the lookup's toc: each track's start, a data track's after a "-", the lead-out
    std::vector<TCtdbTrackSpan> tracks; // its audio tracks in disc order

    // http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=0&metadata=none&toc=...
    QString Url() const;
};

// The disc from its table of contents (every track, data tracks included, in disc order) and the
// lead-out's first sector. Its audio ends at the lead-out, or 11400 sectors (the first session's
// lead-out and the second's lead-in) before a data track that follows the last audio track. The TOC id
// is the SHA-1, in base64 with ". _ -" for "+ / =", of the audio tracks' starts after the first and
// the audio end, as 8 hexadecimal digits each relative to the first audio track's start, padded with
// zeros to 100 entries. The audio before track 1 (hidden audio) is the first track's pre-gap: no
// track's, but it counts in the disc's length, which sets how much the last track leaves out.
TCtdbDisc CtdbDiscOf(const std::vector<TDiscTocEntry> &tracks, int32_t leadOutSector);

// One pressing the database knows, with what a repair needs of it (repair itself is not done here).
struct TCtdbEntry {
    QString id;
    uint32_t crc = 0;   // of the whole disc
    int confidence = 0; // how many rips gave it
    int npar = 0;       // parity words per stride
    int stride = 0;
    QString parityUrl; // where its parity file is ("hasparity"); empty when none
    QByteArray parity; // the parity's first bytes, decoded from base64
    QByteArray syndrome;
    std::vector<uint32_t> trackCrcs; // of each audio track; empty when not given
    QString toc;                     // the pressing's own toc, as the lookup's
};

// The entries of a lookup's answer, at most 100 of them. A document that is not well-formed XML with
// a <ctdb> root, or an entry whose numbers cannot be read, is no answer at all; no entry at all is an
// empty answer, as a 404 is.
std::optional<std::vector<TCtdbEntry>> ParseCtdbAnswer(const QByteArray &bytes);

// The verdicts, in the AccurateRip verdict's words: a rip whose CRC equals that of one or more entries
// is accurate with the sum of their confidences; the `index`-th audio track (from 0) against the
// entries' track CRCs, the whole disc against their disc CRCs. `answer` is nothing when the database
// was not reached; an empty one says the disc is not in it.
TAccurateRipVerdict CompareTrackWithCtdb(const std::optional<std::vector<TCtdbEntry>> &answer, size_t index,
                                         uint32_t crc);
TAccurateRipVerdict CompareDiscWithCtdb(const std::optional<std::vector<TCtdbEntry>> &answer, uint32_t crc);
