#include "lookup/AccurateRipDb.h"

#include "lookup/HttpCli.h"

#include <QBuffer>

#include <algorithm>

namespace
{

constexpr int32_t LeadInSectors = 150;
constexpr int HeaderBytes = 13;
constexpr int EntryBytes = 9;

uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const uint8_t *>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

uint32_t digitSum(uint32_t n)
{
    uint32_t sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

QString hex8(uint32_t v)
{
    return QString("%1").arg(v, 8, 16, QChar('0'));
}

} // namespace

QString TAccurateRipId::Text() const
{
    return QString("%1-%2-%3-%4").arg(audioTracks, 3, 10, QChar('0')).arg(hex8(id1), hex8(id2), hex8(cddb));
}

QString TAccurateRipId::Url() const
{
    return QString("http://www.accuraterip.com/accuraterip/%1/%2/%3/dBAR-%4.bin")
        .arg(id1 & 0xF, 0, 16)
        .arg(id1 >> 4 & 0xF, 0, 16)
        .arg(id1 >> 8 & 0xF, 0, 16)
        .arg(Text());
}

TAccurateRipId AccurateRipDiscId(const std::vector<TDiscTocEntry> &tracks, int32_t leadOutSector)
{
    TAccurateRipId id;
    uint32_t digits = 0;
    for (const TDiscTocEntry &t : tracks) {
        digits += digitSum(uint32_t(t.startSector + LeadInSectors) / 75);
        if (!t.audio)
            continue;
        ++id.audioTracks;
        id.id1 += uint32_t(t.startSector);
        id.id2 += uint32_t(std::max(t.startSector, 1)) * uint32_t(id.audioTracks);
    }
    id.id1 += uint32_t(leadOutSector);
    id.id2 += uint32_t(leadOutSector) * uint32_t(id.audioTracks + 1);
    if (!tracks.empty()) {
        const uint32_t seconds = uint32_t(leadOutSector + LeadInSectors) / 75 -
                                 uint32_t(tracks.front().startSector + LeadInSectors) / 75;
        id.cddb = (digits % 255) << 24 | seconds << 8 | uint32_t(tracks.size());
    }
    return id;
}

std::optional<std::vector<TAccurateRipPressing>> ParseAccurateRipFile(const QByteArray &bytes)
{
    std::vector<TAccurateRipPressing> pressings;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < HeaderBytes)
            return std::nullopt;
        const char *p = bytes.constData() + at;
        TAccurateRipPressing pressing;
        pressing.disc.audioTracks = uint8_t(p[0]);
        pressing.disc.id1 = le32(p + 1);
        pressing.disc.id2 = le32(p + 5);
        pressing.disc.cddb = le32(p + 9);
        at += HeaderBytes;
        if (bytes.size() - at < qsizetype(EntryBytes) * pressing.disc.audioTracks)
            return std::nullopt;
        for (int i = 0; i < pressing.disc.audioTracks; ++i, at += EntryBytes) {
            const char *e = bytes.constData() + at;
            pressing.tracks.push_back({uint8_t(e[0]), le32(e + 1), le32(e + 5)});
        }
        pressings.push_back(std::move(pressing));
    }
    return pressings;
}

QString TAccurateRipVerdict::Text() const
{
    switch (kind) {
    case Accurate:
        return QString("accurata (fiducia %1)").arg(confidence);
    case NotAccurate:
        return QStringLiteral("non accurata");
    case NotInDatabase:
        return QStringLiteral("disco assente");
    case Unreachable:
        break;
    }
    return QStringLiteral("non raggiungibile");
}

TAccurateRipVerdict CompareWithAccurateRip(const std::optional<std::vector<TAccurateRipPressing>> &answer,
                                           const TAccurateRipId &disc, int trackNumber, uint32_t v1,
                                           uint32_t v2)
{
    if (!answer)
        return {TAccurateRipVerdict::Unreachable, 0};
    bool known = false;
    int best = 0;
    for (const TAccurateRipPressing &pressing : *answer) {
        const TAccurateRipId &id = pressing.disc;
        if (id.audioTracks != disc.audioTracks || id.id1 != disc.id1 || id.id2 != disc.id2 ||
            id.cddb != disc.cddb)
            continue;
        if (trackNumber < 1 || trackNumber > int(pressing.tracks.size()))
            continue;
        const TAccurateRipEntry &entry = pressing.tracks[size_t(trackNumber - 1)];
        if (entry.confidence == 0)
            continue;
        known = true;
        if (entry.crc == v1 || entry.crc == v2)
            best = std::max(best, int(entry.confidence));
    }
    if (best > 0)
        return {TAccurateRipVerdict::Accurate, best};
    return {known ? TAccurateRipVerdict::NotAccurate : TAccurateRipVerdict::NotInDatabase, 0};
}
