#pragma once

#include "MP3Coder_Dll.h"

#include <cstdint>

// The encoder library's version record, filled once by beVersion when the coder is created.
class TCoderVersion
{
public:
    explicit TCoderVersion(const LameApi &api);

    uint8_t DLLMajorVersion() const { return version_.byDLLMajorVersion; }
    uint8_t DLLMinorVersion() const { return version_.byDLLMinorVersion; }
    uint8_t MajorVersion() const { return version_.byMajorVersion; }
    uint8_t MinorVersion() const { return version_.byMinorVersion; }
    const BE_VERSION &Version() const { return version_; }

    // Copies the four published version bytes only; the rest of the record stays as it is.
    void Assign(const TCoderVersion &source);

private:
    BE_VERSION version_{};
};
