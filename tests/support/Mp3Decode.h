#pragma once

#include "WavTestFile.h"

#include <QString>

// Decodes an MP3 file with mpg123 (a real decoder, run as a program) into 16-bit samples at the
// stream's own rate and channel count. Empty samples when mpg123 fails.
TestPcm DecodeMp3(const QString &path);

// The fields of the first MPEG audio frame header of an MP3 file, found by its sync word.
struct Mp3FrameHeader {
    bool found = false;
    int version = 0; // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;
    bool crc = false;
    int bitrateIndex = 0;
    int sampleRate = 0;
    bool privateBit = false;
    int mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool copyright = false;
    bool original = false;
};
Mp3FrameHeader FirstMp3Frame(const QString &path);
