#include "AccurateRipDemo.h"

#include "disc/AccurateRip.h"
#include "disc/ReadCrc.h"
#include "lookup/AccurateRipDb.h"
#include "lookup/CtdbDb.h"
#include "platform/CdDevice.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace
{

void put32(QByteArray &bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
}

// The image as a drive, with its table of contents as the device and as the databases' identifiers take
// it; nothing, with the reason, when it cannot be read.
std::unique_ptr<CdDevice> openImage(const QString &imagePath, CdToc &toc, std::vector<TDiscTocEntry> &entries,
                                    QString *error)
{
    QString why;
    std::unique_ptr<CdDevice> device = CdDevice::open(imagePath, &why);
    if (!device || !device->readToc(toc) || toc.tracks.empty()) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("no table of contents") : why;
        return nullptr;
    }
    for (const CdTocTrack &track : toc.tracks)
        entries.push_back({track.startLsn, track.audio});
    return device;
}

} // namespace

std::optional<AccurateRipDemoFile> MakeAccurateRipDemoFile(const QString &imagePath, QString *error)
{
    CdToc toc;
    std::vector<TDiscTocEntry> entries;
    const std::unique_ptr<CdDevice> device = openImage(imagePath, toc, entries, error);
    if (!device)
        return std::nullopt;
    std::vector<size_t> audio; // indexes of the audio tracks
    for (size_t i = 0; i < toc.tracks.size(); ++i) {
        if (toc.tracks[i].audio)
            audio.push_back(i);
    }
    const TAccurateRipId id = AccurateRipDiscId(entries, toc.leadOutLsn);

    // The database lists the first `audioTracks` tracks of the disc in table-of-contents order.
    std::vector<uint32_t> v1(size_t(id.audioTracks)), v2(size_t(id.audioTracks));
    std::vector<uint8_t> buffer(size_t(CdDevice::SectorBytes) * 75);
    for (size_t i = 0; i < size_t(id.audioTracks) && i < toc.tracks.size(); ++i) {
        if (!toc.tracks[i].audio)
            continue;
        const int32_t first = toc.tracks[i].startLsn;
        const int32_t end = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].startLsn : toc.leadOutLsn;
        TAccurateRipChecksum sum;
        sum.Start(uint32_t(end - first) * TAccurateRipChecksum::FramesPerSector, i == audio.front(),
                  i == audio.back());
        for (int32_t at = first; at < end; at += 75) {
            const int count = int(std::min<int32_t>(75, end - at));
            if (!device->readAudio(at, count, buffer.data())) {
                if (error)
                    *error = QString("cannot read sector %1").arg(at);
                return std::nullopt;
            }
            sum.Add(buffer.data(), size_t(count) * TAccurateRipChecksum::FramesPerSector,
                    uint64_t(at - first) * TAccurateRipChecksum::FramesPerSector);
        }
        v1[i] = sum.V1();
        v2[i] = sum.V2();
    }

    AccurateRipDemoFile file;
    file.path = QUrl(id.Url()).path().toLatin1();
    for (const auto &[checksums, confidence] : {std::pair{&v1, 12}, std::pair{&v2, 5}}) {
        file.bytes.append(char(id.audioTracks));
        put32(file.bytes, id.id1);
        put32(file.bytes, id.id2);
        put32(file.bytes, id.cddb);
        for (uint32_t crc : *checksums) {
            file.bytes.append(char(crc == 0 ? 0 : confidence));
            put32(file.bytes, crc);
            put32(file.bytes, 0);
        }
    }
    return file;
}

std::optional<AccurateRipDemoFile> MakeCtdbDemoAnswer(const QString &imagePath, QString *error)
{
    CdToc toc;
    std::vector<TDiscTocEntry> entries;
    const std::unique_ptr<CdDevice> device = openImage(imagePath, toc, entries, error);
    if (!device)
        return std::nullopt;
    const TCtdbDisc disc = CtdbDiscOf(entries, toc.leadOutLsn);
    if (disc.tocId.isEmpty()) {
        if (error)
            *error = QStringLiteral("no disc the CUETools database could know");
        return std::nullopt;
    }
    // The spans follow each other: the disc's CRC runs over all of them.
    TReadCrc whole;
    QStringList trackCrcs;
    std::vector<uint8_t> sector(CdDevice::SectorBytes);
    for (const TCtdbTrackSpan &span : disc.tracks) {
        TReadCrc crc;
        const uint64_t from = uint64_t(span.skipFirst) * 4;
        const uint64_t to =
            uint64_t(span.endSector - span.startSector) * CdDevice::SectorBytes - span.skipLast * 4u;
        for (int32_t lsn = span.startSector; lsn < span.endSector; ++lsn) {
            if (!device->readAudio(lsn, 1, sector.data())) {
                if (error)
                    *error = QString("cannot read sector %1").arg(lsn);
                return std::nullopt;
            }
            const uint64_t at = uint64_t(lsn - span.startSector) * CdDevice::SectorBytes;
            const uint64_t begin = std::clamp(from, at, at + CdDevice::SectorBytes);
            const uint64_t end = std::clamp(to, at, at + CdDevice::SectorBytes);
            crc.Add(sector.data() + (begin - at), size_t(end - begin));
            whole.Add(sector.data() + (begin - at), size_t(end - begin));
        }
        trackCrcs << QString("%1").arg(crc.Crc(), 8, 16, QChar('0'));
    }
    AccurateRipDemoFile answer;
    answer.path = "/lookup2.php";
    answer.bytes =
        QString(
            R"(<?xml version="1.0" encoding="utf-8"?>)"
            R"(<ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#" xmlns:ext="http://db.cuetools.net/ns/ext-1.0#">)"
            R"(<entry confidence="8" crc32="%1" hasparity="" id="1" npar="8" parity="" stride="5880" )"
            R"(syndrome="" toc="%2" trackcrcs="%3"/></ctdb>)")
            .arg(whole.Crc(), 8, 16, QChar('0'))
            .arg(disc.toc, trackCrcs.join(' '))
            .toUtf8();
    return answer;
}
