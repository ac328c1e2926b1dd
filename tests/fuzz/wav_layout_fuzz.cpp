// Reads a file of the conversion batch as RIFF/WAVE: its samples must lie inside it, in a "data" chunk.
#include "FuzzCheck.h"
#include "encoder/WavLayout.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const WavLayout layout = WavLayout::Read(device);
    if (layout.status != WavLayout::Status::Ok)
        return 0;
    FUZZ_CHECK(layout.formatTag == 1 && layout.bitsPerSample == 16 && layout.channels > 0);
    FUZZ_CHECK(layout.blockAlign == layout.channels * 2u && layout.sampleRate > 0);
    FUZZ_CHECK(layout.dataOffset >= 20 && layout.dataOffset <= size &&
               layout.dataSize <= size - layout.dataOffset);
    FUZZ_CHECK(std::memcmp(data + layout.dataOffset - 8, "data", 4) == 0);
    // A data chunk of size 0 (a streaming writer's) holds the rest of the file unless chunks follow.
    const uint8_t *next = data + layout.dataOffset;
    const bool chunkFollows = size - layout.dataOffset >= 8 &&
                              std::all_of(next, next + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7e; });
    FUZZ_CHECK(layout.dataSize > 0 || layout.dataOffset == size || chunkFollows);
    return 0;
}
