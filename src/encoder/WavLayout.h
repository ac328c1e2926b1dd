#pragma once

#include <cstdint>

class QIODevice;

// Where the audio of a RIFF/WAVE file is and what it is. Only bytes 8 to 11 decide whether a file is
// WAVE at all (anything else is headerless PCM); then the chunks are walked from offset 12, so that
// "LIST"/"INFO" chunks, an extended "fmt " chunk or a "fact" chunk are never taken for samples.
class WavLayout
{
public:
    enum class Status {
        NotWave,     // bytes 8 to 11 are not "WAVE": the whole file is raw PCM
        Ok,          // 16-bit PCM; dataOffset/dataSize give the samples, clamped to the file
        Truncated,   // the file ends before a complete "fmt " chunk and a "data" chunk header
        Unsupported, // compressed, not 16 bits, no channels, or a block align that does not fit
    };

    // Reads from the device's start; the device must be open and seekable.
    static WavLayout Read(QIODevice &device);

    Status status = Status::NotWave;
    uint16_t formatTag = 0; // WAVE_FORMAT_EXTENSIBLE is resolved to its sub-format
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;
    uint64_t dataSize = 0;
};
