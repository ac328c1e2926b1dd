#include "MP3Coder_Dll.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace
{

struct LameCloser {
    void operator()(lame_global_flags *gf) const { lame_close(gf); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

struct Stream {
    LamePtr lame;
    int channels = 0;
    uint32_t bufferSize = 0;
};

// Handles are small numbers into this table rather than pointers, so that a stale or never-set handle is
// answered with BE_ERR_INVALID_HANDLE instead of being dereferenced. The ripper encodes on its worker
// thread while the window's thread may run a batch, hence the lock; it also serialises lame_init and
// lame_init_params, which fill libmp3lame's shared tables on first use.
std::mutex streamsLock;
std::map<HBE_STREAM, std::unique_ptr<Stream>> streams;
HBE_STREAM nextHandle = 1;
// The stream this thread flushed last: the one beWriteVBRHeader, which takes no handle, writes for.
thread_local HBE_STREAM lastFlushed = 0;

void silentReport(const char *, va_list) {}

// nPreset to LAME's algorithm quality (0 best and slowest .. 9 fastest):
//   NORMAL_QUALITY 5 (LAME's own default), LOW_QUALITY 7 (fast, still sound),
//   HIGH_QUALITY 2 (LAME's recommended high quality), VOICE_QUALITY 7 (speech gains nothing from the
//   slower noise shaping). Any other preset number is treated as NORMAL_QUALITY.
int lameQualityForPreset(int32_t preset)
{
    switch (preset) {
    case LOW_QUALITY:
        return 7;
    case HIGH_QUALITY:
        return 2;
    case VOICE_QUALITY:
        return 7;
    default:
        return 5;
    }
}

bool isMpegRate(uint32_t rate)
{
    static constexpr uint32_t rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates);
}

vbr_mode lameVbrMode(int32_t method)
{
    switch (method) {
    case VBR_METHOD_OLD:
        return vbr_rh;
    case VBR_METHOD_NEW:
    case VBR_METHOD_MTRH:
        return vbr_mtrh;
    case VBR_METHOD_ABR:
        return vbr_abr;
    default:
        return vbr_default;
    }
}

// Applies an LHV1 configuration; false when a value cannot be expressed.
bool configure(lame_global_flags *gf, const BE_CONFIG_LHV1 &c, int channels)
{
    MPEG_mode mode;
    switch (c.nMode) {
    case BE_MP3_MODE_STEREO:
        mode = STEREO;
        break;
    case BE_MP3_MODE_JSTEREO:
        mode = JOINT_STEREO;
        break;
    case BE_MP3_MODE_DUALCHANNEL:
        mode = DUAL_CHANNEL;
        break;
    case BE_MP3_MODE_MONO:
        mode = MONO;
        break;
    default:
        return false;
    }
    if (c.dwSampleRate == 0)
        return false;

    lame_set_errorf(gf, silentReport);
    lame_set_debugf(gf, silentReport);
    lame_set_msgf(gf, silentReport);
    lame_set_write_id3tag_automatic(gf, 0);

    lame_set_num_channels(gf, channels);
    lame_set_in_samplerate(gf, static_cast<int>(c.dwSampleRate));
    // Without a resample rate the MP3 keeps the input's rate. LAME would otherwise pick an output rate of
    // its own from the bitrate; it is left to do so only when the input rate has no MPEG equivalent.
    const uint32_t outRate = c.dwReSampleRate != 0 ? c.dwReSampleRate : c.dwSampleRate;
    if (c.dwReSampleRate != 0 || isMpegRate(outRate))
        lame_set_out_samplerate(gf, static_cast<int>(outRate));
    lame_set_mode(gf, mode);

    if (c.bEnableVBR) {
        const vbr_mode vbr = lameVbrMode(c.nVbrMethod);
        lame_set_VBR(gf, vbr);
        const int vbrQuality = c.nVBRQuality; // packed fields do not bind to references
        lame_set_VBR_q(gf, std::clamp(vbrQuality, 0, 9));
        if (vbr == vbr_abr) {
            const uint32_t mean = c.dwVbrAbr_bps != 0 ? c.dwVbrAbr_bps / 1000 : c.dwBitrate;
            lame_set_VBR_mean_bitrate_kbps(gf, static_cast<int>(mean));
        }
        if (c.dwBitrate != 0)
            lame_set_VBR_min_bitrate_kbps(gf, static_cast<int>(c.dwBitrate));
        if (c.dwMaxBitrate != 0)
            lame_set_VBR_max_bitrate_kbps(gf, static_cast<int>(c.dwMaxBitrate));
    } else {
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, static_cast<int>(c.dwBitrate));
    }

    int quality = lameQualityForPreset(c.nPreset);
    const unsigned low = c.nQuality & 0xFFu, high = (c.nQuality >> 8) & 0xFFu;
    if (high == (~low & 0xFFu) && low <= 9)
        quality = static_cast<int>(low);
    lame_set_quality(gf, quality);

    lame_set_extension(gf, c.bPrivate ? 1 : 0);
    lame_set_error_protection(gf, c.bCRC ? 1 : 0);
    lame_set_copyright(gf, c.bCopyright ? 1 : 0);
    lame_set_original(gf, c.bOriginal ? 1 : 0);
    lame_set_emphasis(gf, c.dwEmphasis <= 3 ? static_cast<int>(c.dwEmphasis) : 0);
    lame_set_bWriteVbrTag(gf, c.bWriteVBRHeader ? 1 : 0);
    lame_set_disable_reservoir(gf, c.bNoRes ? 1 : 0);
    lame_set_strict_ISO(gf, c.bStrictIso ? 1 : 0);
    return true;
}

Stream *findStream(HBE_STREAM handle)
{
    const auto it = streams.find(handle);
    return it == streams.end() ? nullptr : it->second.get();
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Where the MP3's first frame starts: after an ID3v2 tag, when the file begins with one.
//   "ID3" <version> <revision> <flags> <size: 4 bytes of 7 bits> ... [footer of 10 bytes if flag 0x10]
long firstFrameOffset(std::FILE *file)
{
    unsigned char head[10];
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, file) != sizeof head)
        return 0;
    if (std::memcmp(head, "ID3", 3) != 0 || head[3] == 0xFF || head[4] == 0xFF ||
        ((head[6] | head[7] | head[8] | head[9]) & 0x80) != 0)
        return 0;
    const long size = (long(head[6]) << 21) | (long(head[7]) << 14) | (long(head[8]) << 7) | long(head[9]);
    return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

BE_ERR lameResult(int result)
{
    return result == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

} // namespace

void beVersion(BE_VERSION *version)
{
    if (!version)
        return;
    std::memset(version, 0, sizeof(*version));
    lame_version_t lv{};
    get_lame_version_numerical(&lv);
    version->byDLLMajorVersion = BE_DLL_MAJOR_VERSION;
    version->byDLLMinorVersion = BE_DLL_MINOR_VERSION;
    version->byMajorVersion = static_cast<uint8_t>(lv.major);
    version->byMinorVersion = static_cast<uint8_t>(lv.minor);
    version->byAlphaLevel = static_cast<uint8_t>(lv.alpha);
    version->byBetaLevel = static_cast<uint8_t>(lv.beta);
    const char *url = get_lame_url();
    if (url)
        std::strncpy(version->zHomepage, url, sizeof(version->zHomepage) - 1);
}

BE_ERR beInitStream(BE_CONFIG *config, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream)
{
    if (!config || !samples || !bufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_LAME)
        return BE_ERR_INVALID_FORMAT;
    const BE_CONFIG_LHV1 c = config->format.LHV1;
    const int channels = c.nMode == BE_MP3_MODE_MONO ? 1 : 2;

    std::lock_guard lock(streamsLock);
    auto s = std::make_unique<Stream>();
    s->lame.reset(lame_init());
    if (!s->lame)
        return BE_ERR_NO_MORE_HANDLES;
    s->channels = channels;
    if (!configure(s->lame.get(), c, channels) || lame_init_params(s->lame.get()) < 0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    const int frameSize = lame_get_framesize(s->lame.get());
    const int inRate = lame_get_in_samplerate(s->lame.get());
    const int outRate = lame_get_out_samplerate(s->lame.get());
    if (frameSize <= 0 || inRate <= 0 || outRate <= 0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    // LAME's worst case for n samples per channel is 1.25 n + 7200 bytes, n counted at the output rate.
    // A call may carry twice the preferred count, and upsampling multiplies what reaches the encoder.
    const double ratio = std::max(1.0, static_cast<double>(outRate) / inRate);
    const double perChannel = 2.0 * frameSize * ratio + 1.0;
    s->bufferSize = static_cast<uint32_t>(1.25 * perChannel) + 7200;

    while (nextHandle == 0 || streams.count(nextHandle))
        ++nextHandle;
    const HBE_STREAM handle = nextHandle++;
    *samples = static_cast<uint32_t>(frameSize * channels);
    *bufferSize = s->bufferSize;
    *stream = handle;
    streams.emplace(handle, std::move(s));
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t *samples, uint8_t *output,
                     uint32_t *outBytes)
{
    if (outBytes)
        *outBytes = 0;
    if (!output || !outBytes || (nSamples != 0 && !samples))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    std::unique_lock lock(streamsLock);
    Stream *s = findStream(stream);
    if (!s)
        return BE_ERR_INVALID_HANDLE;
    lock.unlock(); // a stream is used by one thread at a time; only the table needs the lock

    const int frames = static_cast<int>(nSamples / static_cast<uint32_t>(s->channels));
    const int bufSize = static_cast<int>(s->bufferSize);
    // LAME reads but does not change the input; its prototypes are simply not const.
    auto *pcm = const_cast<short *>(samples);
    int result;
    if (s->channels == 1)
        result = lame_encode_buffer(s->lame.get(), pcm, pcm, frames, output, bufSize);
    else
        result = lame_encode_buffer_interleaved(s->lame.get(), pcm, frames, output, bufSize);
    if (result < 0)
        return lameResult(result);
    *outBytes = static_cast<uint32_t>(result);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t *output, uint32_t *outBytes)
{
    if (outBytes)
        *outBytes = 0;
    if (!output || !outBytes)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    std::unique_lock lock(streamsLock);
    Stream *s = findStream(stream);
    if (!s)
        return BE_ERR_INVALID_HANDLE;
    lock.unlock();
    const int result = lame_encode_flush(s->lame.get(), output, static_cast<int>(s->bufferSize));
    if (result < 0)
        return lameResult(result);
    *outBytes = static_cast<uint32_t>(result);
    lastFlushed = stream;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beWriteVBRHeader(const char *fileName)
{
    if (!fileName)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    std::unique_lock lock(streamsLock);
    Stream *s = findStream(lastFlushed);
    if (!s)
        return BE_ERR_INVALID_HANDLE;
    lock.unlock();

    // The frame is as long as the blank one LAME reserved for it: at most one frame of the highest
    // bitrate at the lowest rate, well under this buffer.
    std::vector<unsigned char> frame(4096);
    size_t size = lame_get_lametag_frame(s->lame.get(), frame.data(), frame.size());
    if (size > frame.size()) {
        frame.resize(size);
        size = lame_get_lametag_frame(s->lame.get(), frame.data(), frame.size());
    }
    if (size == 0)
        return BE_ERR_SUCCESSFUL; // no header was reserved
    if (size > frame.size())
        return BE_ERR_BUFFER_TOO_SMALL;

    FilePtr file(std::fopen(fileName, "r+b"));
    if (!file)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // The reserved frame must be where the header goes: a frame header's sync bits, and room for the
    // whole frame. Anything else is not this stream's file, and is left untouched.
    const long at = firstFrameOffset(file.get());
    unsigned char sync[2] = {};
    if (std::fseek(file.get(), 0, SEEK_END) != 0 || std::ftell(file.get()) < at + long(size) ||
        std::fseek(file.get(), at, SEEK_SET) != 0 || std::fread(sync, 1, 2, file.get()) != 2 ||
        sync[0] != 0xFF || (sync[1] & 0xE0) != 0xE0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (std::fseek(file.get(), at, SEEK_SET) != 0 || std::fwrite(frame.data(), 1, size, file.get()) != size ||
        std::fflush(file.get()) != 0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    return std::fclose(file.release()) == 0 ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

BE_ERR beCloseStream(HBE_STREAM stream)
{
    std::unique_ptr<Stream> closing;
    {
        std::lock_guard lock(streamsLock);
        const auto it = streams.find(stream);
        if (it == streams.end())
            return BE_ERR_INVALID_HANDLE;
        closing = std::move(it->second);
        streams.erase(it);
    }
    if (lastFlushed == stream)
        lastFlushed = 0;
    return BE_ERR_SUCCESSFUL;
}

const LameApi &DefaultLameApi()
{
    static const LameApi api{beVersion,      beInitStream,  beEncodeChunk,
                             beDeinitStream, beCloseStream, beWriteVBRHeader};
    return api;
}
