#include "DiscImage.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace
{

constexpr int SectorBytes = 2352;
constexpr int FramesPerSector = SectorBytes / 4;
constexpr double SampleRate = 44100.0;

QString msf(int32_t sector)
{
    return QString("%1:%2:%3")
        .arg(sector / (75 * 60), 2, 10, QChar('0'))
        .arg(sector / 75 % 60, 2, 10, QChar('0'))
        .arg(sector % 75, 2, 10, QChar('0'));
}

int16_t clampSample(double v)
{
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

// A MODE1 sector: sync pattern, header with the absolute address (with the 2-second lead-in), then
// zeros where user data and error correction would be.
void dataSector(int32_t lsn, uint8_t *sector)
{
    std::fill(sector, sector + SectorBytes, 0);
    std::fill(sector + 1, sector + 11, 0xFF);
    const int32_t abs = lsn + 150;
    auto bcd = [](int v) { return uint8_t((v / 10) << 4 | (v % 10)); };
    sector[12] = bcd(abs / (75 * 60));
    sector[13] = bcd(abs / 75 % 60);
    sector[14] = bcd(abs % 75);
    sector[15] = 1;
}

} // namespace

int32_t DiscImage::startSector(size_t index) const
{
    int32_t start = 0;
    for (size_t i = 0; i < index && i < tracks.size(); ++i)
        start += tracks[i].sectors;
    return start;
}

int32_t DiscImage::totalSectors() const
{
    return startSector(tracks.size());
}

void renderTrackAudio(const DiscTrack &track, int64_t firstFrame, int64_t frames, int16_t *out)
{
    const double full = 32767.0 * track.amplitude;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(firstFrame + i) / SampleRate;
        double v = 0;
        if (track.kind == DiscTrack::Kind::Music) {
            // A chord that changes every two seconds, with a slow swell: enough to sound like music
            // and to give the encoder real work.
            static constexpr double steps[] = {1.0, 1.25, 1.5, 1.3348};
            const double root = track.frequency * steps[int64_t(t / 2.0) % 4];
            const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.25 * t);
            v = swell * (0.5 * std::sin(2 * std::numbers::pi * root * t) +
                         0.3 * std::sin(2 * std::numbers::pi * root * 1.5 * t) +
                         0.2 * std::sin(2 * std::numbers::pi * root * 2.0 * t));
        } else if (track.kind == DiscTrack::Kind::Tone) {
            v = std::sin(2 * std::numbers::pi * track.frequency * t);
        }
        out[2 * i] = clampSample(full * v);
        out[2 * i + 1] = clampSample(full * v * 0.5);
    }
}

QByteArray trackAudioBytes(const DiscTrack &track)
{
    QByteArray bytes(qsizetype(track.sectors) * SectorBytes, Qt::Uninitialized);
    auto *samples = reinterpret_cast<int16_t *>(bytes.data());
    renderTrackAudio(track, 0, int64_t(track.sectors) * FramesPerSector, samples);
    if constexpr (std::endian::native == std::endian::big) {
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            std::swap(bytes[i], bytes[i + 1]);
    }
    return bytes;
}

bool writeDiscImage(const QString &basePath, const std::vector<DiscTrack> &tracks, DiscImage *image,
                    QString *error, const DiscText &text)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (tracks.empty())
        return fail("a disc needs at least one track");
    for (const DiscTrack &t : tracks) {
        if (t.sectors <= 0)
            return fail("every track needs at least one sector");
    }
    DiscImage result{basePath + ".cue", basePath + ".bin", tracks};

    QFile bin(result.binPath);
    if (!bin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(bin.errorString());
    constexpr int BlockSectors = 75;
    std::vector<int16_t> block(size_t(BlockSectors) * SectorBytes / 2);
    int32_t lsn = 0;
    for (const DiscTrack &t : tracks) {
        for (int32_t done = 0; done < t.sectors; done += BlockSectors) {
            const int32_t n = std::min(BlockSectors, t.sectors - done);
            auto *bytes = reinterpret_cast<uint8_t *>(block.data());
            if (t.kind == DiscTrack::Kind::Data) {
                for (int32_t s = 0; s < n; ++s)
                    dataSector(lsn + done + s, bytes + size_t(s) * SectorBytes);
            } else {
                renderTrackAudio(t, int64_t(done) * FramesPerSector, int64_t(n) * FramesPerSector,
                                 block.data());
            }
            const qint64 size = qint64(n) * SectorBytes;
            if (bin.write(reinterpret_cast<const char *>(bytes), size) != size)
                return fail(bin.errorString());
        }
        lsn += t.sectors;
    }
    if (!bin.flush())
        return fail(bin.errorString());
    bin.close();

    QFile cue(result.cuePath);
    if (!cue.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return fail(cue.errorString());
    QTextStream out(&cue);
    // A CUE sheet has no escape for a quote inside a quoted text.
    auto cdText = [&out](const char *indent, const char *keyword, const QString &value) {
        if (!value.isEmpty())
            out << indent << keyword << " \"" << QString(value).replace('"', '\'') << "\"\n";
    };
    cdText("", "PERFORMER", text.performer);
    cdText("", "TITLE", text.title);
    out << "FILE \"" << QFileInfo(result.binPath).fileName() << "\" BINARY\n";
    int32_t start = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        out << QString("  TRACK %1 %2\n")
                   .arg(i + 1, 2, 10, QChar('0'))
                   .arg(tracks[i].kind == DiscTrack::Kind::Data ? "MODE1/2352" : "AUDIO");
        cdText("    ", "TITLE", tracks[i].title);
        cdText("    ", "PERFORMER", tracks[i].performer);
        out << "    INDEX 01 " << msf(start) << "\n";
        start += tracks[i].sectors;
    }
    out.flush();
    if (cue.error() != QFileDevice::NoError)
        return fail(cue.errorString());
    if (image)
        *image = result;
    return true;
}

bool parseDiscTrackWord(const QString &word, DiscTrack *track)
{
    QStringList parts = word.split(':');
    DiscTrack::Kind kind = DiscTrack::Kind::Tone;
    if (parts.first() == "data" || parts.first() == "music") {
        kind = parts.first() == "data" ? DiscTrack::Kind::Data : DiscTrack::Kind::Music;
        parts.removeFirst();
    }
    if (parts.isEmpty() || parts.size() > 2 || (kind == DiscTrack::Kind::Data && parts.size() != 1))
        return false;
    bool ok = false;
    const int sectors = parts[0].toInt(&ok);
    if (!ok || sectors <= 0)
        return false;
    double frequency = kind == DiscTrack::Kind::Music ? 220.0 : 440.0;
    if (parts.size() == 2) {
        frequency = parts[1].toDouble(&ok);
        if (!ok || frequency <= 0 || frequency >= 22050)
            return false;
    }
    switch (kind) {
    case DiscTrack::Kind::Data:
        *track = DiscTrack::data(sectors);
        break;
    case DiscTrack::Kind::Music:
        *track = DiscTrack::music(sectors, frequency);
        break;
    case DiscTrack::Kind::Tone:
        *track = DiscTrack::tone(sectors, frequency);
        break;
    }
    return true;
}
