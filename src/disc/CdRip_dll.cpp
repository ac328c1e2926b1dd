#include "disc/CdRip_dll.h"

#include "platform/DriveLetters.h"

CdRipApi CdRipApi::library()
{
    CdRipApi api;
    api.CR_GetCDRipVersion = ::CR_GetCDRipVersion;
    api.CR_Init = ::CR_Init;
    api.CR_GetActiveCDROM = ::CR_GetActiveCDROM;
    api.CR_SetActiveCDROM = ::CR_SetActiveCDROM;
    api.CR_GetCDROMParameters = ::CR_GetCDROMParameters;
    api.CR_SetCDROMParameters = ::CR_SetCDROMParameters;
    api.CR_ReadToc = ::CR_ReadToc;
    api.CR_GetNumTocEntries = ::CR_GetNumTocEntries;
    api.CR_GetTocEntry = ::CR_GetTocEntry;
    api.CR_OpenRipper = ::CR_OpenRipper;
    api.CR_RipChunk = ::CR_RipChunk;
    api.CR_GetLastJitterErrorPosition = ::CR_GetLastJitterErrorPosition;
    api.CR_GetPercentCompleted = ::CR_GetPercentCompleted;
    api.CR_GetNumberOfJitterErrors = ::CR_GetNumberOfJitterErrors;
    api.CR_CloseRipper = ::CR_CloseRipper;
    api.GetDriveType = DriveLetters::driveType;
    api.DriveWarnings = DriveLetters::warnings;
    api.DiscLayout = CdRipDiscLayout;
    return api;
}
