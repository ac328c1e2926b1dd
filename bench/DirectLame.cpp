// The baseline of the MP3 figure: libmp3lame driven directly, without QUARLE's layers. Kept apart
// from the program's headers, whose channel-mode names are LAME's too.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <lame/lame.h>

#include <algorithm>
#include <vector>

// The same PCM straight through libmp3lame at the coder's default settings (128 kbit/s CBR stereo,
// 44100 Hz, CRC, LAME quality 5), in chunks of the same size, ending with LAME's Info frame put in
// place of the first frame, as the program's MP3 files do.
void encodeDirectly(const QByteArray &pcm, const QString &out)
{
    lame_t gf = lame_init();
    lame_set_in_samplerate(gf, 44100);
    lame_set_out_samplerate(gf, 44100);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, STEREO);
    lame_set_brate(gf, 128);
    lame_set_VBR(gf, vbr_off);
    lame_set_quality(gf, 5);
    lame_set_error_protection(gf, 1);
    lame_set_bWriteVbrTag(gf, 1);
    lame_init_params(gf);
    QFile file(out);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    const auto *samples = reinterpret_cast<const short *>(pcm.constData());
    const int frames = int(pcm.size() / 4);
    const int chunk = 1152;
    std::vector<unsigned char> mp3(size_t(1.25 * chunk + 7200));
    for (int f = 0; f < frames; f += chunk) {
        const int n = std::min(chunk, frames - f);
        const int bytes = lame_encode_buffer_interleaved(gf, const_cast<short *>(samples + 2 * f), n,
                                                         mp3.data(), int(mp3.size()));
        file.write(reinterpret_cast<const char *>(mp3.data()), bytes);
    }
    const int bytes = lame_encode_flush(gf, mp3.data(), int(mp3.size()));
    file.write(reinterpret_cast<const char *>(mp3.data()), bytes);
    const size_t tag = lame_get_lametag_frame(gf, mp3.data(), mp3.size());
    if (tag > 0 && tag <= mp3.size() && file.seek(0))
        file.write(reinterpret_cast<const char *>(mp3.data()), qint64(tag));
    lame_close(gf);
}
