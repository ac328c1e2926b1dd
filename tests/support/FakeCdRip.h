#pragma once

#include "disc/CdRip_dll.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// A scripted CD-reading library: it records every call and answers from its fields.
struct FakeCdRip {
    QStringList calls;

    int32_t version = 110;
    int32_t initResult = CR_OK;
    int32_t active = 0;
    std::string cdRomLetters = "D";       // letters the drive-type query calls CD-ROM
    std::vector<TCDROMParameters> drives; // one record per library drive
    std::vector<uint64_t> toc;            // n entries, then the lead-out
    bool throwInReadToc = false;
    std::optional<CdLayout> layout; // what DiscLayout answers; nothing: it fails

    // Ripping script: chunk results in order (after the last, 4); each chunk delivers chunkFill bytes
    // of the byte value (chunk index + fillBase) unless the result is 1.
    int32_t openResult = CR_OK;
    int32_t chunkBytes = 4 * 2352;
    std::vector<int32_t> chunkResults;
    std::vector<int32_t> chunkFill; // bytes per chunk; chunkBytes when missing
    int fillBase = 1;
    size_t nextChunk = 0;
    int32_t jitterFirst = 0;
    int32_t jitterLast = 0;
    int32_t jitterErrors = 0;
    std::function<void(size_t chunk)> onChunk; // called inside CR_RipChunk, before it answers

    CdRipApi api();

    static uint64_t entry(int32_t start, uint8_t flag);
    static TCDROMParameters record(const QByteArray &identifier, int32_t speed = 0, uint8_t outputFormat = 0);
};
