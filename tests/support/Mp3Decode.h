#pragma once

#include "WavTestFile.h"

#include <QString>

// Decodes an MP3 file with mpg123 (a real decoder, run as a program) into 16-bit samples at the
// stream's own rate and channel count. Empty samples when mpg123 fails.
TestPcm DecodeMp3(const QString &path);
