// Reads a file of the conversion batch as RIFF/WAVE and checks that what it says about the samples
// points inside the file and matches the bytes there.
#include "FuzzCheck.h"
#include "encoder/WavLayout.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    FUZZ_CHECK(device.open(QIODevice::ReadOnly));
    const WavLayout layout = WavLayout::Read(device);

    const bool wave = size >= 12 && std::memcmp(data + 8, "WAVE", 4) == 0;
    FUZZ_CHECK(wave == (layout.status != WavLayout::Status::NotWave));
    if (layout.status != WavLayout::Status::Ok)
        return 0;

    FUZZ_CHECK(layout.formatTag == 1 && layout.bitsPerSample == 16);
    FUZZ_CHECK(layout.channels > 0 && layout.sampleRate > 0);
    FUZZ_CHECK(layout.blockAlign == layout.channels * 2u);
    FUZZ_CHECK(layout.dataOffset >= 20 && layout.dataOffset <= size);
    FUZZ_CHECK(layout.dataSize <= size - layout.dataOffset);
    FUZZ_CHECK(std::memcmp(data + layout.dataOffset - 8, "data", 4) == 0);
    // A data chunk that a streaming writer left at size 0 still holds the samples after it, unless
    // what follows it is further chunks, each with a printable four-character id.
    const auto chunkFollows = [&] {
        const size_t next = size_t(layout.dataOffset);
        if (size - next < 8)
            return false;
        for (size_t i = next; i < next + 4; ++i) {
            if (data[i] < 0x20 || data[i] > 0x7e)
                return false;
        }
        return true;
    };
    FUZZ_CHECK(layout.dataSize > 0 || layout.dataOffset == size || chunkFollows());
    // The batch reads from dataOffset for dataSize bytes: all of them must be there.
    FUZZ_CHECK(device.seek(qint64(layout.dataOffset)));
    FUZZ_CHECK(device.read(qint64(layout.dataSize)).size() == qint64(layout.dataSize));
    return 0;
}
