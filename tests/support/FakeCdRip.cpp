#include "FakeCdRip.h"

#include <cstring>
#include <stdexcept>

uint64_t FakeCdRip::entry(int32_t start, uint8_t flag)
{
    return uint64_t(uint32_t(start)) | uint64_t(flag) << 32;
}

TCDROMParameters FakeCdRip::record(const QByteArray &identifier, int32_t speed, uint8_t outputFormat)
{
    TCDROMParameters p{};
    std::memcpy(p.bytes, identifier.constData(), std::min<size_t>(size_t(identifier.size()), 256));
    p.setInt32At(TCDROMParameters::SpeedOffset, speed);
    p.bytes[TCDROMParameters::OutputFormatOffset] = outputFormat;
    return p;
}

CdRipApi FakeCdRip::api()
{
    CdRipApi a;
    a.CR_GetCDRipVersion = [this] {
        calls << "CR_GetCDRipVersion";
        return version;
    };
    a.CR_Init = [this] {
        calls << "CR_Init";
        return initResult;
    };
    a.CR_GetActiveCDROM = [this] {
        calls << "CR_GetActiveCDROM";
        return active;
    };
    a.CR_SetActiveCDROM = [this](int32_t i) {
        calls << QString("CR_SetActiveCDROM(%1)").arg(i);
        if (i < 0 || i >= int32_t(drives.size()))
            return CR_ERROR;
        active = i;
        return CR_OK;
    };
    a.CR_GetCDROMParameters = [this](TCDROMParameters *p) {
        calls << "CR_GetCDROMParameters";
        if (active < 0 || active >= int32_t(drives.size()))
            return CR_ERROR;
        *p = drives[size_t(active)];
        return CR_OK;
    };
    a.CR_SetCDROMParameters = [this](const TCDROMParameters *p) {
        calls << "CR_SetCDROMParameters";
        return p ? CR_OK : CR_ERROR;
    };
    a.CR_ReadToc = [this] {
        calls << "CR_ReadToc";
        if (throwInReadToc)
            throw std::runtime_error("access violation");
        return CR_OK;
    };
    a.CR_GetNumTocEntries = [this] {
        calls << "CR_GetNumTocEntries";
        return toc.empty() ? 0 : int32_t(toc.size()) - 1;
    };
    a.CR_GetTocEntry = [this](int32_t i) {
        calls << QString("CR_GetTocEntry(%1)").arg(i);
        return i >= 0 && i < int32_t(toc.size()) ? toc[size_t(i)] : 0;
    };
    a.CR_OpenRipper = [this](int32_t *size, int32_t first, int32_t last) {
        calls << QString("CR_OpenRipper(%1,%2)").arg(first).arg(last);
        nextChunk = 0;
        *size = chunkBytes;
        return openResult;
    };
    a.CR_RipChunk = [this](uint8_t *buffer, int32_t *bytes) {
        calls << "CR_RipChunk";
        const size_t i = nextChunk++;
        if (onChunk)
            onChunk(i);
        const int32_t result = i < chunkResults.size() ? chunkResults[i] : CR_RIP_DONE;
        *bytes = 0;
        if (result != CR_ERROR) {
            *bytes = i < chunkFill.size() ? chunkFill[i] : chunkBytes;
            std::memset(buffer, int(i + fillBase), size_t(*bytes));
        }
        return result;
    };
    a.CR_GetLastJitterErrorPosition = [this](int32_t *first, int32_t *last) {
        calls << "CR_GetLastJitterErrorPosition";
        *first = jitterFirst;
        *last = jitterLast;
    };
    a.CR_GetPercentCompleted = [this] {
        calls << "CR_GetPercentCompleted";
        return int32_t(std::min<size_t>(nextChunk * 10, 100));
    };
    a.CR_GetNumberOfJitterErrors = [this] {
        calls << "CR_GetNumberOfJitterErrors";
        return jitterErrors;
    };
    a.CR_CloseRipper = [this] {
        calls << "CR_CloseRipper";
        return CR_OK;
    };
    a.DiscLayout = [this](CdLayout *out) {
        calls << "DiscLayout";
        if (layout)
            *out = *layout;
        return layout.has_value();
    };
    a.GetDriveType = [this](char letter) { return cdRomLetters.find(letter) != std::string::npos ? 5 : 1; };
    return a;
}
