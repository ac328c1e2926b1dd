#include "AccurateRipDemo.h"

#include "disc/AccurateRip.h"
#include "lookup/AccurateRipDb.h"
#include "platform/CdDevice.h"

#include <QUrl>

#include <vector>

namespace
{

void put32(QByteArray &bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
}

} // namespace

std::optional<AccurateRipDemoFile> MakeAccurateRipDemoFile(const QString &imagePath, QString *error)
{
    QString why;
    std::unique_ptr<CdDevice> device = CdDevice::open(imagePath, &why);
    CdToc toc;
    if (!device || !device->readToc(toc) || toc.tracks.empty()) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("no table of contents") : why;
        return std::nullopt;
    }
    std::vector<TDiscTocEntry> entries;
    std::vector<size_t> audio; // indexes of the audio tracks
    for (size_t i = 0; i < toc.tracks.size(); ++i) {
        entries.push_back({toc.tracks[i].startLsn, toc.tracks[i].audio});
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
