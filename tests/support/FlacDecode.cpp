#include "FlacDecode.h"

#include <FLAC/stream_decoder.h>
#include <QFile>

#include <algorithm>

std::vector<int16_t> DecodeFlac(const QString &path)
{
    struct Read {
        std::vector<int16_t> samples;
        uint64_t count = 0;
        bool bad = false;
    } d;
    FLAC__StreamDecoder *decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    FLAC__stream_decoder_set_metadata_respond(decoder, FLAC__METADATA_TYPE_SEEKTABLE);
    const auto write = [](auto, const FLAC__Frame *f, const FLAC__int32 *const in[], void *out) {
        for (uint32_t i = 0, n = f->header.channels; i < f->header.blocksize * n; ++i)
            static_cast<Read *>(out)->samples.push_back(int16_t(in[i % n][i / n]));
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    const auto metadata = [](auto, const FLAC__StreamMetadata *m, void *out) {
        Read &read = *static_cast<Read *>(out);
        const FLAC__StreamMetadata_StreamInfo &info = m->data.stream_info;
        const FLAC__StreamMetadata_SeekTable &table = m->data.seek_table;
        if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
            read.count = info.total_samples * info.channels;
            read.bad |= std::count(info.md5sum, info.md5sum + 16, 0) == 16;
        }
        for (uint32_t i = 0; m->type == FLAC__METADATA_TYPE_SEEKTABLE && i < table.num_points; ++i)
            read.bad |= table.points[i].frame_samples == 0 &&
                        table.points[i].sample_number != FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER;
    };
    const auto error = [](auto, auto, void *out) { static_cast<Read *>(out)->bad = true; };
    d.bad |= FLAC__stream_decoder_init_file(decoder, QFile::encodeName(path).constData(), write, metadata,
                                            error, &d) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
             !FLAC__stream_decoder_process_until_end_of_stream(decoder) ||
             !FLAC__stream_decoder_finish(decoder);
    FLAC__stream_decoder_delete(decoder);
    return d.bad || d.samples.size() != d.count ? std::vector<int16_t>() : d.samples;
}
