#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// The interleaved samples libFLAC's own decoder reads from a FLAC file; none after a decoding error or
// a wrong MD5, or when STREAMINFO lacks the MD5 or counts other samples, or a seek point names no frame.
std::vector<int16_t> DecodeFlac(const QString &path);
