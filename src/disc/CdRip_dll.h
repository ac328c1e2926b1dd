#pragma once

#include "platform/CdRipLibrary.h"

#include <QStringList>

#include <functional>

// The ripper reaches the CD-reading library and the drive-type query only through this table, so
// that a test can put a scripted library in its place. library() binds it to the real one.
struct CdRipApi {
    std::function<int32_t()> CR_GetCDRipVersion;
    std::function<int32_t()> CR_Init;
    std::function<int32_t()> CR_GetActiveCDROM;
    std::function<int32_t(int32_t)> CR_SetActiveCDROM;
    std::function<int32_t(TCDROMParameters *)> CR_GetCDROMParameters;
    std::function<int32_t(const TCDROMParameters *)> CR_SetCDROMParameters;
    std::function<int32_t()> CR_ReadToc;
    std::function<int32_t()> CR_GetNumTocEntries;
    std::function<uint64_t(int32_t)> CR_GetTocEntry;
    std::function<int32_t(int32_t *, int32_t, int32_t)> CR_OpenRipper;
    std::function<int32_t(uint8_t *, int32_t *)> CR_RipChunk;
    std::function<void(int32_t *, int32_t *)> CR_GetLastJitterErrorPosition;
    std::function<int32_t()> CR_GetPercentCompleted;
    std::function<int32_t()> CR_GetNumberOfJitterErrors;
    std::function<int32_t()> CR_CloseRipper;
    // The drive-type query on the root of a drive letter: 5 for a CD-ROM drive.
    std::function<int(char)> GetDriveType;
    // Why entries of the drive table were left out, one line each; may be unset (none).
    std::function<QStringList()> DriveWarnings;
    // The layout of the disc of the latest CR_ReadToc; may be unset (no layout known).
    std::function<bool(CdLayout *)> DiscLayout;

    static CdRipApi library();
};
