#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

// Where a disc's pre-gaps and index points lie, from what a drive's Q sub-channel tells of each
// sector or from a CUE sheet's INDEX lines. Plain data in, plain data out: CdDevice supplies the
// reads.

// A sector's place as its Q sub-channel gives it in mode 1 (ADR 1).
struct CdQPosition {
    int track = 0; // 1..99; 0xAA in the lead-out
    int index = 0; // 0 in a pre-gap
    int32_t lsn = 0;
    bool operator==(const CdQPosition &) const = default;
};

// The CRC of the Q sub-channel: CRC-16 with the CCITT polynomial (x^16 + x^12 + x^5 + 1), no initial
// value; the disc holds it inverted, high byte first.
uint16_t cdQCrc(const uint8_t *data, size_t size);

// Decodes the first 12 bytes of formatted Q as READ CD delivers it: control and ADR, track, index
// (BCD), the relative and, after a zero byte, the absolute minute, second and frame (BCD), the
// inverted CRC. Nothing when the CRC does not match, the ADR is not 1 or a field is not BCD. A
// drive that gives the CRC as two zero bytes has not checked it for us, so those are taken as they are.
std::optional<CdQPosition> decodeCdQ(const uint8_t *q);

// Reads the Q of sector `lsn` into `position` (nothing there when that sector's Q is unusable: a
// CRC error, or a catalogue or ISRC frame). False when the drive fails to read: every search gives
// up at once then.
using CdQReader = std::function<bool(int32_t lsn, std::optional<CdQPosition> &position)>;

// The first sector of track `number`'s pre-gap (INDEX 00), which lies in [bound, start), `start`
// being its INDEX 01; `start` itself when the track has no pre-gap. It looks at the last ten seconds
// first and at the rest of the stretch only when the gap reaches further. Nothing when the drive
// failed or gave no usable Q where it looked.
std::optional<int32_t> findCdPregap(const CdQReader &read, int number, int32_t bound, int32_t start);

// The sectors where track `number`'s index 02, 03... begin, the track running from `start` (INDEX
// 01) to `last` (inclusive, before the next pre-gap). Nothing when the drive failed or gave no usable Q
// where it looked.
std::optional<std::vector<int32_t>> findCdIndexPoints(const CdQReader &read, int number, int32_t start,
                                                      int32_t last);

// The INDEX 02 onwards of each TRACK of a CUE sheet, as sectors after the track's INDEX 01, by track
// number. A point is kept only in the FILE of its INDEX 01 and after it; the sheet is read as far as
// its first megabyte.
std::map<int, std::vector<int32_t>> cueIndexPoints(const QByteArray &sheet);
