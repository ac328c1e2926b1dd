// quarle-bench: speed and memory figures of QUARLE on generated disc images.
//   quarle-bench [WORKDIR]
#include "DiscImage.h"
#include "platform/CdRipLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Seconds to read sectors first..last through the library.
double readRange(int32_t first, int32_t last, bool jitter)
{
    TCDROMParameters p{};
    CR_GetCDROMParameters(&p);
    p.setInt32At(TCDROMParameters::JitterCorrectionOffset, jitter ? -1 : 0);
    p.bytes[TCDROMParameters::OutputFormatOffset] = 0;
    CR_SetCDROMParameters(&p);
    QElapsedTimer timer;
    timer.start();
    int32_t chunk = 0;
    if (CR_OpenRipper(&chunk, first, last) == CR_ERROR)
        return -1;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    int32_t bytes = 0;
    while (CR_RipChunk(buffer.data(), &bytes) != CR_RIP_DONE) {
    }
    CR_CloseRipper();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    QDir().mkpath(work);
    const int runs = 3;

    // (c) the library's read speed on a 60-minute image.
    const int32_t sectors = 60 * 60 * 75;
    DiscImage image;
    QString error;
    if (!writeDiscImage(work + "/hour", {DiscTrack::music(sectors, 220)}, &image, &error)) {
        std::fprintf(stderr, "cannot write the image: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("QUARLE_DRIVES", ("D=" + image.cuePath).toLocal8Bit());
    CR_Init();
    CR_ReadToc();
    for (bool jitter : {true, false}) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i)
            times.push_back(readRange(0, sectors - 1, jitter));
        const double audioSeconds = sectors / 75.0;
        std::printf("read 60 min image, jitter correction %-3s: %.2f s, %.0fx real time\n", jitter ? "on" : "off",
                    median(times), audioSeconds / median(times));
    }
    return 0;
}
