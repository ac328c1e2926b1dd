#pragma once

#include "platform/CdDevice.h"

#include <QString>

#include <cstdint>
#include <memory>

// The CD audio device: what the disc database lookup asks a drive (number of tracks, where each
// track starts and how long it is, in minutes, seconds and frames). Every operation answers 0 or an
// error code whose text errorText() gives. Times come packed as the device packs them: minutes in
// the lowest byte, seconds in the second, frames in the third.
//
// Positions are absolute disc addresses, counting the 150-frame lead-in (track 1 of a standard disc
// starts at 0:02:00). A track's length is the distance to the next track's start; the last track's
// length is one frame short of the lead-out, as a CD audio device measures it.
class CdAudioDevice
{
public:
    enum Error : uint32_t {
        NoError = 0,
        ErrorNoSuchDrive = 301,
        ErrorCannotOpen,
        ErrorNotOpen,
        ErrorNoDisc,
        ErrorNoSuchTrack,
        ErrorPositionOutOfRange,
        ErrorAlreadyOpen,
    };

    virtual ~CdAudioDevice() = default;

    // `element` names the drive by its first character, a drive letter in either case (the rest,
    // such as ":\0@", is the driver's and is ignored here).
    virtual uint32_t open(const QString &element) = 0;
    virtual uint32_t numberOfTracks(uint32_t *count) = 0;
    // `track` counts from 1 in table-of-contents order.
    virtual uint32_t trackPosition(uint32_t track, uint32_t *packedMsf) = 0;
    virtual uint32_t trackLength(uint32_t track, uint32_t *packedMsf) = 0;
    virtual uint32_t close() = 0;

    // The device's own text for an error code.
    static QString errorText(uint32_t code);

    static uint32_t packMsf(uint32_t minutes, uint32_t seconds, uint32_t frames);

    // What the device answers for a table of contents, shared by every implementation that reads
    // one. A device packs at most 255 minutes: a position beyond that, or before the disc's
    // start, is ErrorPositionOutOfRange.
    static uint32_t positionInToc(const CdToc &toc, uint32_t track, uint32_t *packedMsf);
    static uint32_t lengthInToc(const CdToc &toc, uint32_t track, uint32_t *packedMsf);

    // The device over libcdio, on the drive-letter table (drives and disc images alike).
    static std::unique_ptr<CdAudioDevice> create();
};
