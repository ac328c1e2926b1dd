#include "DiscImage.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

// What an audio track's gap holds, as a track of its own.
DiscTrack gapContent(const DiscTrack &track)
{
    DiscTrack gap = DiscTrack::tone(track.gap, track.gapFrequency);
    gap.amplitude = track.gapFrequency > 0 ? 0.05 : 0.0;
    return gap;
}

bool isIsrc(const QString &code)
{
    static const QRegularExpression form("^[A-Z0-9]{5}[0-9]{7}$");
    return form.match(code).hasMatch();
}

} // namespace

int32_t DiscImage::gapSector(size_t index) const
{
    int32_t start = 0;
    for (size_t i = 0; i < index && i < tracks.size(); ++i)
        start += tracks[i].gap + tracks[i].sectors;
    return start;
}

int32_t DiscImage::startSector(size_t index) const
{
    return gapSector(index) + (index < tracks.size() ? tracks[index].gap : 0);
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

QByteArray gapAudioBytes(const DiscTrack &track)
{
    return trackAudioBytes(gapContent(track));
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
        if (t.sectors <= 0 || t.gap < 0)
            return fail("every track needs at least one sector");
        for (size_t i = 0; i < t.indexes.size(); ++i) {
            if (t.indexes[i] <= (i ? t.indexes[i - 1] : 0) || t.indexes[i] >= t.sectors)
                return fail("index points go up inside their track");
        }
        if (!t.isrc.isEmpty() && !isIsrc(t.isrc))
            return fail("an ISRC is 12 letters and digits");
    }
    if (!text.catalog.isEmpty() && !QRegularExpression("^[0-9]{13}$").match(text.catalog).hasMatch())
        return fail("a catalogue number is 13 digits");
    DiscImage result{basePath + ".cue", basePath + ".bin", tracks};

    QFile bin(result.binPath);
    if (!bin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(bin.errorString());
    constexpr int BlockSectors = 75;
    std::vector<int16_t> block(size_t(BlockSectors) * SectorBytes / 2);
    int32_t lsn = 0;
    auto writeSectors = [&](const DiscTrack &t, int32_t count) {
        for (int32_t done = 0; done < count; done += BlockSectors) {
            const int32_t n = std::min(BlockSectors, count - done);
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
                return false;
        }
        lsn += count;
        return true;
    };
    for (const DiscTrack &t : tracks) {
        if (!writeSectors(t.kind == DiscTrack::Kind::Data ? t : gapContent(t), t.gap) ||
            !writeSectors(t, t.sectors))
            return fail(bin.errorString());
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
    if (!text.catalog.isEmpty())
        out << "CATALOG " << text.catalog << "\n";
    cdText("", "PERFORMER", text.performer);
    cdText("", "TITLE", text.title);
    out << "FILE \"" << QFileInfo(result.binPath).fileName() << "\" BINARY\n";
    for (size_t i = 0; i < tracks.size(); ++i) {
        const DiscTrack &t = tracks[i];
        out << QString("  TRACK %1 %2\n")
                   .arg(i + 1, 2, 10, QChar('0'))
                   .arg(t.kind == DiscTrack::Kind::Data ? "MODE1/2352" : "AUDIO");
        if (t.preemphasis)
            out << "    FLAGS PRE\n";
        if (!t.isrc.isEmpty())
            out << "    ISRC " << t.isrc << "\n";
        cdText("    ", "TITLE", t.title);
        cdText("    ", "PERFORMER", t.performer);
        const int32_t start = result.startSector(i);
        if (t.gap > 0)
            out << "    INDEX 00 " << msf(result.gapSector(i)) << "\n";
        out << "    INDEX 01 " << msf(start) << "\n";
        for (size_t k = 0; k < t.indexes.size(); ++k)
            out << QString("    INDEX %1 ").arg(k + 2, 2, 10, QChar('0')) << msf(start + t.indexes[k])
                << "\n";
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

bool parseDiscWords(const QStringList &words, std::vector<DiscTrack> *tracks, DiscText *text, QString *error)
{
    for (const QString &word : words) {
        const QString value = word.section('=', 1);
        bool ok = true;
        if (word.startsWith("catalog=")) {
            text->catalog = value;
        } else if (!word.contains('=') && word != "pre") {
            DiscTrack track;
            ok = parseDiscTrackWord(word, &track);
            tracks->push_back(track);
        } else if (tracks->empty()) {
            ok = false;
        } else if (DiscTrack &t = tracks->back(); word == "pre") {
            t.preemphasis = true;
        } else if (word.startsWith("isrc=")) {
            t.isrc = value;
        } else if (word.startsWith("gap=")) {
            t.gap = value.section(':', 0, 0).toInt(&ok);
            if (ok && value.contains(':'))
                t.gapFrequency = value.section(':', 1).toDouble(&ok);
            ok = ok && t.gap > 0 && t.gapFrequency >= 0 && t.gapFrequency < 22050;
        } else if (word.startsWith("index=")) {
            for (const QString &point : value.split(','))
                t.indexes.push_back(ok ? point.toInt(&ok) : 0);
        } else {
            ok = false;
        }
        if (!ok) {
            if (error)
                *error = word;
            return false;
        }
    }
    return true;
}
