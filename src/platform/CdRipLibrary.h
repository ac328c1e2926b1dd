#pragma once

#include "platform/CdDevice.h"

#include <cstddef>
#include <cstdint>

// The CD-reading library: drives from the drive-letter table, their parameter records, the table of
// contents and chunked audio reading, over libcdio (drives and disc images alike) and
// libcdio-paranoia (jitter correction). One library state for the whole process, as a shared
// library would have. Status results: 1 is failure, anything else success; CR_RipChunk also
// answers 3 (jitter met in this chunk, data still good) and 4 (range finished, data still good).

constexpr int32_t CR_OK = 0;
constexpr int32_t CR_ERROR = 1;
constexpr int32_t CR_JITTER = 3;
constexpr int32_t CR_RIP_DONE = 4;

// The 324-byte parameter record of the active drive. Multi-byte values are little-endian.
struct TCDROMParameters {
    static constexpr size_t IdentifierOffset = 0;
    static constexpr size_t IdentifierSize = 256;
    static constexpr size_t SpeedOffset = 276;
    static constexpr size_t JitterCorrectionOffset = 284;
    static constexpr size_t DriveTableOffset = 292; // 13 bytes: five enumerations, density, ATAPI
    static constexpr size_t DriveTableSize = 13;
    static constexpr size_t OutputFormatOffset = 312;

    uint8_t bytes[324];

    int32_t int32At(size_t offset) const;
    void setInt32At(size_t offset, int32_t value);
};
static_assert(sizeof(TCDROMParameters) == 324);

// A table-of-contents entry as CR_GetTocEntry returns it in the low bytes of a 64-bit value:
// bytes 0-3 the start sector, byte 4 the flag (0x10 audio, 0x14 data), byte 5 the track number.
constexpr uint8_t TocFlagAudio = 0x10;
constexpr uint8_t TocFlagData = 0x14;

// Sectors in one chunk of CR_RipChunk.
constexpr int32_t CdRipChunkSectors = 27;

extern "C" {
int32_t CR_GetCDRipVersion();
int32_t CR_Init();
int32_t CR_GetActiveCDROM();
int32_t CR_SetActiveCDROM(int32_t index);
int32_t CR_GetCDROMParameters(TCDROMParameters *params);
int32_t CR_SetCDROMParameters(const TCDROMParameters *params);
int32_t CR_ReadToc();
int32_t CR_GetNumTocEntries();
uint64_t CR_GetTocEntry(int32_t index);
int32_t CR_OpenRipper(int32_t *chunkBytes, int32_t firstSector, int32_t lastSector);
int32_t CR_RipChunk(uint8_t *buffer, int32_t *bytes);
void CR_GetLastJitterErrorPosition(int32_t *first, int32_t *last);
int32_t CR_GetPercentCompleted();
int32_t CR_GetNumberOfJitterErrors();
int32_t CR_CloseRipper();
}

// The layout of the disc whose TOC CR_ReadToc read last (pre-gaps, index points, ISRCs, catalogue number,
// the stretch before track 1); false when there is none. CR_OpenRipper reads that stretch like any
// other range: first sector 0, last sector track 1's start less one.
bool CdRipDiscLayout(CdLayout *layout);

// Gives the library's drive `letter` the read offset (samples) that every later rip from it applies,
// in place of its drive-table entry's. False when the library has no such drive.
bool CdRipSetReadOffset(char letter, int32_t samples);

// Converts `frames` frames of 16-bit stereo 44100 Hz into the output format with the given ordinal
// (anything above 5 is stereo 44100): mono is the mean of left and right, 22050 and 11025 Hz keep
// the mean of every 2 or 4 frames. `frames` must be a multiple of 4. Returns the bytes written;
// `out` may be `in`.
size_t convertCdAudio(const int16_t *in, size_t frames, uint8_t outputFormat, int16_t *out);
