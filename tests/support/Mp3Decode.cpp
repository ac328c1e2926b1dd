#include "Mp3Decode.h"

#include <QFile>
#include <QProcess>

#include <cstring>

// mpg123 writes to a pipe the plain 44-byte header: channels at 22, rate at 24, then the samples.
TestPcm DecodeMp3(const QString &path)
{
    QProcess mpg123;
    mpg123.start(QStringLiteral("mpg123"),
                 {QStringLiteral("-q"), QStringLiteral("-w"), QStringLiteral("-"), path});
    if (!mpg123.waitForFinished(120000) || mpg123.exitStatus() != QProcess::NormalExit)
        return {};
    const QByteArray wav = mpg123.readAllStandardOutput();
    TestPcm pcm;
    if (wav.size() < 44 || !wav.startsWith("RIFF") || wav.mid(36, 4) != "data")
        return pcm;
    pcm.channels = uint8_t(wav[22]);
    std::memcpy(&pcm.rate, wav.constData() + 24, 4);
    pcm.samples.resize(size_t(wav.size() - 44) / 2);
    std::memcpy(pcm.samples.data(), wav.constData() + 44, pcm.samples.size() * 2);
    return pcm;
}

// A header starts with 11 set bits; the version, layer, bitrate and rate fields must be valid ones.
uint32_t FirstMp3Header(const QString &path)
{
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.read(1 << 16) : QByteArray();
    for (qsizetype i = 0; i + 4 <= b.size(); ++i) {
        const uint32_t h = uint32_t(uint8_t(b[i])) << 24 | uint32_t(uint8_t(b[i + 1])) << 16 |
                           uint32_t(uint8_t(b[i + 2])) << 8 | uint8_t(b[i + 3]);
        if ((h >> 21) == 0x7FF && (h >> 19 & 3) != 1 && (h >> 17 & 3) != 0 && (h >> 12 & 15) != 15 &&
            (h >> 10 & 3) != 3)
            return h;
    }
    return 0;
}
