#include "Mp3Decode.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>

// mpg123 writes to a pipe the plain 44-byte header: channels at 22, rate at 24, then the samples.
TestPcm DecodeMp3(const QString &path)
{
    QProcess mpg123;
    mpg123.start("mpg123", {"-q", "-w", "-", path});
    mpg123.waitForFinished(120000);
    const QByteArray wav = mpg123.readAllStandardOutput();
    TestPcm pcm;
    if (wav.size() < 44 || wav.mid(36, 4) != "data")
        return pcm;
    pcm.channels = qFromLittleEndian<uint16_t>(wav.constData() + 22);
    pcm.rate = qFromLittleEndian<uint32_t>(wav.constData() + 24);
    const auto *samples = reinterpret_cast<const int16_t *>(wav.constData() + 44);
    pcm.samples.assign(samples, samples + (wav.size() - 44) / 2);
    return pcm;
}

// The sync bits, MPEG-1 and layer III: what the coder writes.
uint32_t FirstMp3Header(const QString &path)
{
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.read(1 << 16) : QByteArray();
    for (qsizetype i = 0; i + 4 <= b.size(); ++i) {
        const uint32_t h = qFromBigEndian<uint32_t>(b.constData() + i);
        if ((h & 0xFFFE0000) == 0xFFFA0000)
            return h;
    }
    return 0;
}
