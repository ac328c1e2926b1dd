#pragma once

#include <cstddef>
#include <cstdint>

// The BladeEnc-style encoder interface ("be*" calls with the BE_CONFIG / BE_VERSION records), implemented
// in MP3Coder_Dll.cpp over libmp3lame. The records keep their published byte layout (packed to 1 byte), so
// a recorded configuration can be compared field by field with what another encoder would receive.

using BE_ERR = uint32_t;
using HBE_STREAM = uint32_t;
using BE_BOOL = int32_t; // 32-bit Boolean: -1 for true, 0 for false

constexpr BE_BOOL BE_TRUE = -1;
constexpr BE_BOOL BE_FALSE = 0;

constexpr BE_ERR BE_ERR_SUCCESSFUL = 0x00000000;
constexpr BE_ERR BE_ERR_INVALID_FORMAT = 0x00000001;
constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 0x00000002;
constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 0x00000003;
constexpr BE_ERR BE_ERR_INVALID_HANDLE = 0x00000004;
constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 0x00000005;

constexpr uint32_t BE_CONFIG_MP3 = 0;
constexpr uint32_t BE_CONFIG_LAME = 256; // the LHV1 format

constexpr int32_t BE_MP3_MODE_STEREO = 0;
constexpr int32_t BE_MP3_MODE_JSTEREO = 1;
constexpr int32_t BE_MP3_MODE_DUALCHANNEL = 2;
constexpr int32_t BE_MP3_MODE_MONO = 3;

constexpr uint32_t MPEG1 = 1;
constexpr uint32_t MPEG2 = 0;

constexpr int32_t VBR_METHOD_NONE = -1;
constexpr int32_t VBR_METHOD_DEFAULT = 0;
constexpr int32_t VBR_METHOD_OLD = 1;
constexpr int32_t VBR_METHOD_NEW = 2;
constexpr int32_t VBR_METHOD_MTRH = 3;
constexpr int32_t VBR_METHOD_ABR = 4;

// Encoder presets, handed to the encoder by ordinal in nPreset (LQP_NORMAL_QUALITY .. LQP_VOICE_QUALITY).
enum MPEG_QUALITY : uint8_t { NORMAL_QUALITY, LOW_QUALITY, HIGH_QUALITY, VOICE_QUALITY };

#pragma pack(push, 1)

struct BE_CONFIG_LHV1 {
    uint32_t dwStructVersion;
    uint32_t dwStructSize;
    uint32_t dwSampleRate;   // rate of the samples handed to beEncodeChunk
    uint32_t dwReSampleRate; // rate of the MP3; 0 means the input's rate
    int32_t nMode;           // BE_MP3_MODE_*; MONO means one input channel, the others two
    uint32_t dwBitrate;      // kbit/s: the constant rate, or the lowest rate with VBR
    uint32_t dwMaxBitrate;   // kbit/s: the highest rate with VBR
    int32_t nPreset;
    uint32_t dwMpegVersion;
    uint32_t dwPsyModel;
    uint32_t dwEmphasis;
    BE_BOOL bPrivate;
    BE_BOOL bCRC;
    BE_BOOL bCopyright;
    BE_BOOL bOriginal;
    BE_BOOL bWriteVBRHeader;
    BE_BOOL bEnableVBR;
    int32_t nVBRQuality;
    uint32_t dwVbrAbr_bps;
    int32_t nVbrMethod;
    BE_BOOL bNoRes;
    BE_BOOL bStrictIso;
    uint16_t nQuality; // low byte = LAME quality 0..9, valid only when the high byte is its complement
    uint8_t btReserved[255 - 4 * sizeof(uint32_t) - sizeof(uint16_t)];
};

struct BE_CONFIG {
    uint32_t dwConfig;
    struct {
        BE_CONFIG_LHV1 LHV1;
    } format;
};

struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion; // libmp3lame's version
    uint8_t byMinorVersion;
    uint8_t byDay;
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[129];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
};

#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, format.LHV1.nMode) == 20);
static_assert(offsetof(BE_CONFIG, format.LHV1.bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, format.LHV1.nQuality) == 92);
static_assert(sizeof(BE_VERSION) == 265);

// Version of this be* implementation, reported in BE_VERSION's first two bytes.
constexpr uint8_t BE_DLL_MAJOR_VERSION = 1;
constexpr uint8_t BE_DLL_MINOR_VERSION = 0;

void beVersion(BE_VERSION *version);
// Opens a stream. *samples is the preferred sample count of one beEncodeChunk call (interleaved, all
// channels); *bufferSize is an output buffer size that holds the result of a call of up to twice that
// many samples, resampling included.
BE_ERR beInitStream(BE_CONFIG *config, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream);
// Encodes nSamples interleaved 16-bit samples (a trailing partial frame of channels is dropped). The
// output buffer must hold the stream's bufferSize bytes; a call whose output would not fit fails with
// BE_ERR_BUFFER_TOO_SMALL rather than overrun it.
BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t *samples, uint8_t *output,
                     uint32_t *outBytes);
BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t *output, uint32_t *outBytes);
BE_ERR beCloseStream(HBE_STREAM stream);
// Replaces the blank first frame that a stream configured with bWriteVBRHeader starts with by LAME's
// Xing/Info frame (frame and byte counts, seek table, encoder delay and padding), in the MP3 file
// fileName. The stream is the one this thread flushed last with beDeinitStream, and it must still be
// open: call it after the flushed bytes are written and before beCloseStream. An ID3v2 tag already at
// the start of the file is skipped. A stream without the header reserved leaves the file as it is.
BE_ERR beWriteVBRHeader(const char *fileName);

// The coder reaches the encoder only through this table, so a test can put a scripted encoder in its place.
struct LameApi {
    void (*beVersion)(BE_VERSION *version);
    BE_ERR (*beInitStream)(BE_CONFIG *config, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream);
    BE_ERR(*beEncodeChunk)
    (HBE_STREAM stream, uint32_t nSamples, const int16_t *samples, uint8_t *output, uint32_t *outBytes);
    BE_ERR (*beDeinitStream)(HBE_STREAM stream, uint8_t *output, uint32_t *outBytes);
    BE_ERR (*beCloseStream)(HBE_STREAM stream);
    BE_ERR (*beWriteVBRHeader)(const char *fileName);
};

// The table bound to the libmp3lame implementation above.
const LameApi &DefaultLameApi();
