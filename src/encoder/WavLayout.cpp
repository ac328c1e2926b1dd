#include "WavLayout.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

uint16_t le16(const char *p)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

uint32_t le32(const char *p)
{
    return static_cast<uint32_t>(le16(p)) | static_cast<uint32_t>(le16(p + 2)) << 16;
}

bool readAt(QIODevice &device, uint64_t offset, char *buffer, qint64 size)
{
    return device.seek(static_cast<qint64>(offset)) && device.read(buffer, size) == size;
}

// True when the bytes from `pos` to the end of the file are whole RIFF chunks: four printable
// characters of id, a size that fits, and the last one ending at the end of the file (its pad
// byte may be missing). Samples almost never pass this; a long run of chunks is taken as chunks.
bool chunksFill(QIODevice &device, uint64_t pos, uint64_t fileSize)
{
    if (pos >= fileSize)
        return false;
    for (int walked = 0; walked < 1024; ++walked) {
        if (pos == fileSize)
            return true;
        char header[8];
        if (pos + 8 > fileSize || !readAt(device, pos, header, sizeof header))
            return false;
        for (int i = 0; i < 4; ++i) {
            if (header[i] < 0x20 || header[i] > 0x7e)
                return false;
        }
        const uint32_t size = le32(header + 4);
        const uint64_t end = pos + 8 + size;
        if (end > fileSize)
            return false;
        pos = (size & 1u) && end < fileSize ? end + 1 : end;
    }
    return true;
}

} // namespace

WavLayout WavLayout::Read(QIODevice &device)
{
    WavLayout layout;
    char riff[12];
    if (!readAt(device, 0, riff, sizeof riff) || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return layout;

    const auto fileSize = static_cast<uint64_t>(device.size());
    bool haveFormat = false, haveData = false;
    uint64_t pos = 12;
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        char header[8];
        if (!readAt(device, pos, header, sizeof header))
            break;
        const uint32_t chunkSize = le32(header + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            // A plain format is 16 bytes; WAVE_FORMAT_EXTENSIBLE carries its sub-format GUID at 24..39.
            char fmt[40] = {};
            const qint64 wanted = std::min<qint64>(chunkSize, sizeof fmt);
            if (chunkSize < 16 || body + static_cast<uint64_t>(wanted) > fileSize ||
                !readAt(device, body, fmt, wanted))
                break;
            layout.formatTag = le16(fmt);
            layout.channels = le16(fmt + 2);
            layout.sampleRate = le32(fmt + 4);
            layout.blockAlign = le16(fmt + 12);
            layout.bitsPerSample = le16(fmt + 14);
            if (layout.formatTag == WAVE_FORMAT_EXTENSIBLE)
                layout.formatTag = wanted >= 40 ? le16(fmt + 24) : 0;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            layout.dataOffset = body;
            // Writers that stream (or were interrupted) leave 0 or 0xFFFFFFFF here: trust the file.
            // A 0 followed by further chunks is a data chunk that is really empty.
            const uint64_t rest = fileSize - body;
            const bool streamed = chunkSize == 0 && !chunksFill(device, body, fileSize);
            layout.dataSize = streamed ? rest : std::min<uint64_t>(chunkSize, rest);
            haveData = true;
        }
        pos = body + chunkSize + (chunkSize & 1u); // chunks are padded to an even size
    }

    if (!haveFormat || !haveData)
        layout.status = Status::Truncated;
    else if (layout.formatTag != WAVE_FORMAT_PCM || layout.bitsPerSample != 16 || layout.channels == 0 ||
             layout.sampleRate == 0 || layout.blockAlign != layout.channels * 2u)
        layout.status = Status::Unsupported;
    else
        layout.status = Status::Ok;
    return layout;
}
