#pragma once

#include "platform/Exception.h"
#include "platform/NewFile.h"

#include <QString>

#include <cstdint>
#include <memory>

// A FLAC file that could not be written or tagged: a message and nothing else
// ("Cannot write \"a.flac\" (No space left on device)").
class EFlacError : public Exception
{
public:
    using Exception::Exception;
};

// Writes one FLAC file of 16-bit PCM while a track is ripped: compression level 8, every frame decoded
// again by libFLAC and compared with its samples (verify mode), the MD5 of the audio, a seek table with a
// point about every 10 seconds and room for tags and a cover (a PADDING block). Memory stays the same
// whatever the track's length.
class TFlacWriter
{
public:
    // Writes into `file` (new and empty; the caller puts it in place when the writer is done) for
    // `channels` (1 or 2) at `sampleRate` Hz. `totalFrames` is the track's expected length, for the seek
    // table; a rip that ends earlier still gives a file of exactly the frames written. Raises EFlacError.
    TFlacWriter(TNewFile &file, uint32_t sampleRate, uint32_t channels, uint64_t totalFrames);
    // Finishes the file if Finish was not called, so that it holds what was written; never throws.
    ~TFlacWriter();
    TFlacWriter(const TFlacWriter &) = delete;
    TFlacWriter &operator=(const TFlacWriter &) = delete;

    // Interleaved samples in host order, any number of frames a call. Raises EFlacError on a write error,
    // a verify mismatch or an encoder error, and again on every later call.
    void Write(const int16_t *samples, uint32_t frames);
    // Encodes what is left and brings STREAMINFO (length, MD5) and the seek table up to date. Raises
    // EFlacError when the file is not whole; a second call does nothing.
    void Finish();

private:
    struct Stream;
    std::unique_ptr<Stream> d_;
};
