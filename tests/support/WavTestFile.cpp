#include "WavTestFile.h"

#include <QFile>
#include <QtEndian>

#include <cmath>

namespace
{

QByteArray le(uint32_t value, int bytes)
{
    const uint32_t little = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&little), bytes);
}

} // namespace

TestPcm WavTestFile::Tone(uint32_t rate, int channels, double hz, double seconds)
{
    TestPcm pcm{rate, channels, {}};
    for (size_t i = 0; i < size_t(seconds * rate); ++i)
        pcm.samples.insert(pcm.samples.end(), size_t(channels),
                           int16_t(std::lround(16383.5 * std::sin(2.0 * M_PI * hz * double(i) / rate))));
    return pcm;
}

QByteArray WavTestFile::Chunk(const char *id, const QByteArray &body)
{
    return QByteArray(id, 4) + le(uint32_t(body.size()), 4) + body + QByteArray(body.size() % 2, '\0');
}

// The extensible format's sub-format is KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00aa00389b71. The
// samples go as they lie in memory: little-endian on the machines the tests run on.
QByteArray WavTestFile::WavBytes(const TestPcm &pcm, const QByteArray &between, const QByteArray &after,
                                 bool extensible)
{
    const auto align = uint32_t(pcm.channels * 2);
    QByteArray fmt = le(extensible ? 0xFFFE : 1, 2) + le(uint32_t(pcm.channels), 2) + le(pcm.rate, 4) +
                     le(pcm.rate * align, 4) + le(align, 2) + le(16, 2);
    if (extensible)
        fmt += le(22, 2) + le(16, 2) + le(pcm.channels == 1 ? 4 : 3, 4) +
               QByteArray::fromHex("0100000000001000800000aa00389b71");
    const QByteArray samples(reinterpret_cast<const char *>(pcm.samples.data()),
                             qsizetype(pcm.samples.size() * 2));
    const QByteArray body = "WAVE" + Chunk("fmt ", fmt) + between + Chunk("data", samples) + after;
    return "RIFF" + le(uint32_t(body.size()), 4) + body;
}

bool WavTestFile::Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray WavTestFile::Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

double WavTestFile::ToneFrequency(const TestPcm &pcm, int channel)
{
    const size_t frames = pcm.frames(), step = size_t(pcm.channels);
    size_t first = 0, last = 0, crossings = 0;
    for (size_t f = frames / 4 + 1; channel < pcm.channels && f < frames * 3 / 4; ++f) {
        if (pcm.samples[(f - 1) * step + size_t(channel)] < 0 &&
            pcm.samples[f * step + size_t(channel)] >= 0) {
            first = crossings++ == 0 ? f : first;
            last = f;
        }
    }
    return crossings < 2 ? 0.0 : double(crossings - 1) * pcm.rate / double(last - first);
}
