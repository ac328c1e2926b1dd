#include "Mp3Decode.h"

#include <QFile>
#include <QtEndian>

#include <cstdio>

// mpg123 writes to a pipe the plain 44-byte header: channels at 22, rate at 24, then the samples.
// Started by popen, not QProcess: Qt 6.4 starts a QProcess by a vfork-like clone whose child runs
// ThreadSanitizer's fork handling in the test's own memory, after which it reports races that are not.
TestPcm DecodeMp3(const QString &path)
{
    const QString quoted = "'" + QString(path).replace("'", "'\\''") + "'";
    FILE *mpg123 = popen(QFile::encodeName("mpg123 -q -w - " + quoted).constData(), "r");
    QByteArray wav;
    char buffer[1 << 16];
    for (size_t n; mpg123 && (n = std::fread(buffer, 1, sizeof buffer, mpg123)) > 0;)
        wav.append(buffer, qsizetype(n));
    if (mpg123)
        pclose(mpg123);
    TestPcm pcm;
    if (wav.size() < 44 || wav.mid(36, 4) != "data")
        return pcm;
    pcm.channels = qFromLittleEndian<uint16_t>(wav.constData() + 22);
    pcm.rate = qFromLittleEndian<uint32_t>(wav.constData() + 24);
    const auto *samples = reinterpret_cast<const int16_t *>(wav.constData() + 44);
    pcm.samples.assign(samples, samples + (wav.size() - 44) / 2);
    return pcm;
}
