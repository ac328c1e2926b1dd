#include "FlacWriter.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <QtEndian>

#include <algorithm>
#include <vector>

namespace
{

constexpr uint32_t kCompressionLevel = 8;
constexpr uint32_t kSeekPointSeconds = 10;
// Room for the Vorbis comments of a rip (and a small cover) without moving the audio.
constexpr uint32_t kPaddingBytes = 8192;
// libFLAC takes 32-bit samples: the ripper's chunks are widened this many frames at a time.
constexpr uint32_t kBufferFrames = 4096;

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder *encoder) const { FLAC__stream_encoder_delete(encoder); }
};

struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata *block) const { FLAC__metadata_object_delete(block); }
};

} // namespace

struct TFlacWriter::Stream {
    explicit Stream(TNewFile &f) : path(f.path()), file(f) {}
    QString path;
    uint32_t channels = 0;
    TNewFile &file;
    QString fileError;       // why the last write or seek of the file failed
    qint64 seekTableAt = -1; // where the SEEKTABLE block starts in the file
    std::vector<FLAC__int32> buffer;
    bool finished = false;
    // The encoder refers to the blocks until it is finished, and writes to the file: it goes first.
    std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter> seekTable, padding;
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder;

    QString failure() const;
    bool writeSeekPoints();
};

TFlacWriter::TFlacWriter(TNewFile &file, uint32_t sampleRate, uint32_t channels, uint64_t totalFrames)
    : d_(std::make_unique<Stream>(file))
{
    const QString path = file.path();
    const auto fail = [&path](const QString &why) {
        return EFlacError(QStringLiteral("Cannot write \"%1\" (%2)").arg(path, why).toStdString());
    };
    if ((channels != 1 && channels != 2) || !FLAC__format_sample_rate_is_valid(sampleRate))
        throw fail(QStringLiteral("FLAC does not take %1 channels at %2 Hz").arg(channels).arg(sampleRate));
    Stream &d = *d_;
    d.channels = channels;
    d.buffer.resize(size_t(kBufferFrames) * channels);
    d.encoder.reset(FLAC__stream_encoder_new());
    d.padding.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    // Without a length there is nothing to plan seek points over.
    if (totalFrames > 0)
        d.seekTable.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
    const bool planned =
        !d.seekTable || (FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                             d.seekTable.get(), sampleRate * kSeekPointSeconds, totalFrames) &&
                         FLAC__metadata_object_seektable_template_sort(d.seekTable.get(), true));
    if (!d.encoder || !d.padding || !planned)
        throw fail(QStringLiteral("out of memory"));
    FLAC__StreamEncoder *encoder = d.encoder.get();
    FLAC__stream_encoder_set_verify(encoder, true);
    FLAC__stream_encoder_set_compression_level(encoder, kCompressionLevel);
    FLAC__stream_encoder_set_channels(encoder, channels);
    FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
    FLAC__stream_encoder_set_sample_rate(encoder, sampleRate);
    FLAC__stream_encoder_set_total_samples_estimate(encoder, totalFrames);
    d.padding->length = kPaddingBytes;
    std::vector<FLAC__StreamMetadata *> blocks; // libFLAC copies the list, not the blocks
    if (d.seekTable)
        blocks.push_back(d.seekTable.get());
    blocks.push_back(d.padding.get());
    FLAC__stream_encoder_set_metadata(encoder, blocks.data(), uint32_t(blocks.size()));

    // With seek and tell, libFLAC goes back at the end and writes the real length, the MD5 and the seek
    // points into the file: the length given here is only a first guess.
    const auto write = [](const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes,
                          uint32_t samples, uint32_t, void *client) {
        Stream &s = *static_cast<Stream *>(client);
        if (samples == 0 && s.seekTableAt < 0 && bytes > 0 &&
            (buffer[0] & 0x7f) == FLAC__METADATA_TYPE_SEEKTABLE)
            s.seekTableAt = s.file.pos();
        if (s.file.write(reinterpret_cast<const char *>(buffer), qint64(bytes)) == qint64(bytes))
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        s.fileError = s.file.errorString();
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    };
    const auto seek = [](const FLAC__StreamEncoder *, FLAC__uint64 offset, void *client) {
        Stream &s = *static_cast<Stream *>(client);
        if (s.file.seek(qint64(offset)))
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        s.fileError = s.file.errorString();
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    };
    const auto tell = [](const FLAC__StreamEncoder *, FLAC__uint64 *offset, void *client) {
        *offset = FLAC__uint64(static_cast<Stream *>(client)->file.pos());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    };
    const FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(encoder, write, seek, tell, nullptr, &d);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        d.finished = true;
        if (status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR)
            throw EFlacError(d.failure().toStdString());
        throw fail(QString::fromLatin1(FLAC__StreamEncoderInitStatusString[status]));
    }
}

TFlacWriter::~TFlacWriter()
{
    // Reached on every way out of a rip, an exception's too: the file keeps what was written, and a
    // failure to finish it was the caller's to learn from Finish.
    try {
        Finish();
    } catch (...) {
    }
}

void TFlacWriter::Write(const int16_t *samples, uint32_t frames)
{
    Stream &d = *d_;
    if (d.finished || FLAC__stream_encoder_get_state(d.encoder.get()) != FLAC__STREAM_ENCODER_OK)
        throw EFlacError(d.failure().toStdString());
    while (frames > 0) {
        const uint32_t n = std::min(frames, kBufferFrames);
        std::copy_n(samples, size_t(n) * d.channels, d.buffer.begin());
        if (!FLAC__stream_encoder_process_interleaved(d.encoder.get(), d.buffer.data(), n))
            throw EFlacError(d.failure().toStdString());
        samples += size_t(n) * d.channels;
        frames -= n;
    }
}

void TFlacWriter::Finish()
{
    Stream &d = *d_;
    if (d.finished)
        return;
    d.finished = true;
    FLAC__StreamEncoder *encoder = d.encoder.get();
    // libFLAC's finish reports only its own failures and forgets an earlier one.
    QString error =
        FLAC__stream_encoder_get_state(encoder) == FLAC__STREAM_ENCODER_OK ? QString() : d.failure();
    if (!FLAC__stream_encoder_finish(encoder) && error.isEmpty())
        error = d.failure();
    if (error.isEmpty() && !(d.writeSeekPoints() && d.file.flush()))
        error = QStringLiteral("Cannot write \"%1\" (%2)").arg(d.path, d.file.errorString());
    if (!error.isEmpty())
        throw EFlacError(error.toStdString());
}

QString TFlacWriter::Stream::failure() const
{
    switch (FLAC__stream_encoder_get_state(encoder.get())) {
    case FLAC__STREAM_ENCODER_CLIENT_ERROR:
    case FLAC__STREAM_ENCODER_IO_ERROR:
        return QStringLiteral("Cannot write \"%1\" (%2)")
            .arg(path, fileError.isEmpty() ? QStringLiteral("write error") : fileError);
    case FLAC__STREAM_ENCODER_VERIFY_MISMATCH_IN_AUDIO_DATA:
        return QStringLiteral("The FLAC encoder's output for \"%1\" does not decode to the ripped samples")
            .arg(path);
    default:
        return QStringLiteral("The FLAC encoder failed on \"%1\" (%2)")
            .arg(path, QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(encoder.get())));
    }
}

// libFLAC fills a planned seek point when a frame reaches it. After an early end the points past the last
// frame still hold the planned sample and offset 0, and a player seeking near the end would jump to the
// start; they become placeholders, which readers skip.
bool TFlacWriter::Stream::writeSeekPoints()
{
    if (!seekTable || seekTableAt < 0)
        return true;
    const FLAC__StreamMetadata_SeekTable &table = seekTable->data.seek_table;
    QByteArray points;
    for (uint32_t i = 0; i < table.num_points; ++i) {
        const FLAC__StreamMetadata_SeekPoint &point = table.points[i];
        const bool reached = point.frame_samples > 0;
        char bytes[FLAC__STREAM_METADATA_SEEKPOINT_LENGTH];
        qToBigEndian<quint64>(reached ? point.sample_number : FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER,
                              bytes);
        qToBigEndian<quint64>(reached ? point.stream_offset : 0, bytes + 8);
        qToBigEndian<quint16>(reached ? point.frame_samples : 0, bytes + 16);
        points.append(bytes, sizeof bytes);
    }
    return file.seek(seekTableAt + FLAC__STREAM_METADATA_HEADER_LENGTH) &&
           file.write(points) == points.size();
}
