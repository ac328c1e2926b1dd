#include "WavTestFile.h"

#include <QFile>

#include <cmath>
#include <cstring>

namespace
{

void put16(QByteArray &b, uint16_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}

void put32(QByteArray &b, uint32_t v)
{
    put16(b, static_cast<uint16_t>(v & 0xFFFF));
    put16(b, static_cast<uint16_t>(v >> 16));
}

} // namespace

TestPcm WavTestFile::Tone(uint32_t rate, int channels, double hz, double seconds, double amplitude)
{
    TestPcm pcm;
    pcm.rate = rate;
    pcm.channels = channels;
    const auto frames = static_cast<size_t>(seconds * rate);
    pcm.samples.reserve(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c)
            pcm.samples.push_back(static_cast<int16_t>(std::lround(v)));
    }
    return pcm;
}

QByteArray WavTestFile::RawBytes(const TestPcm &pcm)
{
    QByteArray b;
    b.reserve(static_cast<qsizetype>(pcm.samples.size() * 2));
    for (int16_t s : pcm.samples)
        put16(b, static_cast<uint16_t>(s));
    return b;
}

QByteArray WavTestFile::Chunk(const char *id, const QByteArray &body)
{
    QByteArray b(id, 4);
    put32(b, static_cast<uint32_t>(body.size()));
    b.append(body);
    if (body.size() % 2)
        b.append('\0');
    return b;
}

QByteArray WavTestFile::WavBytes(const TestPcm &pcm, const QByteArray &between, const QByteArray &after,
                                 bool extensible)
{
    QByteArray fmt;
    const auto blockAlign = static_cast<uint16_t>(pcm.channels * 2);
    put16(fmt, extensible ? 0xFFFE : 1);
    put16(fmt, static_cast<uint16_t>(pcm.channels));
    put32(fmt, pcm.rate);
    put32(fmt, pcm.rate * blockAlign);
    put16(fmt, blockAlign);
    put16(fmt, 16);
    if (extensible) {
        put16(fmt, 22); // cbSize
        put16(fmt, 16); // valid bits
        put32(fmt, pcm.channels == 1 ? 0x4 : 0x3);
        // KSDATAFORMAT_SUBTYPE_PCM 00000001-0000-0010-8000-00aa00389b71
        static const uint8_t guid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        fmt.append(reinterpret_cast<const char *>(guid), 16);
    }
    QByteArray body =
        QByteArray("WAVE") + Chunk("fmt ", fmt) + between + Chunk("data", RawBytes(pcm)) + after;
    QByteArray file("RIFF");
    put32(file, static_cast<uint32_t>(body.size()));
    return file + body;
}

bool WavTestFile::Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

double WavTestFile::ToneFrequency(const TestPcm &pcm, int channel)
{
    const size_t frames = pcm.frames();
    if (frames < 8 || channel >= pcm.channels)
        return 0.0;
    const size_t from = frames / 4, to = frames * 3 / 4;
    const auto at = [&](size_t f) { return pcm.samples[f * static_cast<size_t>(pcm.channels) + channel]; };
    size_t first = 0, last = 0, crossings = 0;
    for (size_t f = from + 1; f < to; ++f) {
        if (at(f - 1) < 0 && at(f) >= 0) {
            if (crossings == 0)
                first = f;
            last = f;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return static_cast<double>(crossings - 1) * pcm.rate / static_cast<double>(last - first);
}
