#include "Mp3Decode.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

TestPcm DecodeMp3(const QString &path)
{
    QTemporaryDir dir;
    const QString wav = dir.path() + QStringLiteral("/decoded.wav");
    QProcess mpg123;
    mpg123.start(QStringLiteral("mpg123"), {QStringLiteral("-q"), QStringLiteral("-w"), wav, path});
    if (!mpg123.waitForFinished(120000) || mpg123.exitStatus() != QProcess::NormalExit)
        return {};
    return WavTestFile::Read(wav);
}

Mp3FrameHeader FirstMp3Frame(const QString &path)
{
    Mp3FrameHeader h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QByteArray b = f.read(1 << 16);
    static const int rates[3] = {44100, 48000, 32000};
    for (qsizetype i = 0; i + 4 <= b.size(); ++i) {
        const auto byte = [&](int k) { return static_cast<uint8_t>(b[i + k]); };
        if (byte(0) != 0xFF || (byte(1) & 0xE0) != 0xE0)
            continue;
        const int versionBits = (byte(1) >> 3) & 3, layerBits = (byte(1) >> 1) & 3;
        const int rateBits = (byte(2) >> 2) & 3, bitrateBits = byte(2) >> 4;
        if (versionBits == 1 || layerBits == 0 || rateBits == 3 || bitrateBits == 15)
            continue;
        h.found = true;
        h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
        h.layer = 4 - layerBits;
        h.crc = (byte(1) & 1) == 0;
        h.bitrateIndex = bitrateBits;
        h.sampleRate = rates[rateBits] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
        h.privateBit = byte(2) & 1;
        h.mode = byte(3) >> 6;
        h.copyright = (byte(3) >> 3) & 1;
        h.original = (byte(3) >> 2) & 1;
        return h;
    }
    return h;
}
