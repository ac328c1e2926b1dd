#include "lookup/CtdbDb.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <limits>

namespace
{

constexpr uint32_t FramesPerSector = 588;
constexpr int32_t SessionGapSectors = 11400;
constexpr int MaxEntries = 100;
constexpr int MaxNumber = 1 << 20; // of a confidence, npar or stride

std::optional<uint32_t> hex32(QStringView text)
{
    bool ok = false;
    const uint32_t value = text.toUInt(&ok, 16);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<int> number(QStringView text)
{
    bool ok = false;
    const int value = text.isEmpty() ? 0 : text.toInt(&ok);
    return (ok || text.isEmpty()) && value >= 0 && value <= MaxNumber ? std::optional(value) : std::nullopt;
}

std::optional<QByteArray> base64(QStringView text)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? std::optional(*decoded) : std::nullopt;
}

std::optional<TCtdbEntry> readEntry(const QXmlStreamAttributes &attributes)
{
    TCtdbEntry entry;
    const auto crc = hex32(attributes.value("crc32"));
    const auto confidence = number(attributes.value("confidence"));
    const auto npar = number(attributes.value("npar"));
    const auto stride = number(attributes.value("stride"));
    const auto parity = base64(attributes.value("parity"));
    const auto syndrome = base64(attributes.value("syndrome"));
    if (!crc || !confidence || !npar || !stride || !parity || !syndrome)
        return std::nullopt;
    entry.id = attributes.value("id").toString();
    entry.crc = *crc;
    entry.confidence = *confidence;
    entry.npar = *npar;
    entry.stride = *stride;
    entry.parityUrl = attributes.value("hasparity").toString();
    entry.parity = *parity;
    entry.syndrome = *syndrome;
    entry.toc = attributes.value("toc").toString();
    const QString crcs = attributes.value("trackcrcs").toString();
    for (const QString &text : crcs.split(' ', Qt::SkipEmptyParts)) {
        const auto trackCrc = hex32(text);
        if (!trackCrc || entry.trackCrcs.size() == 99)
            return std::nullopt;
        entry.trackCrcs.push_back(*trackCrc);
    }
    return entry;
}

// The sum of the confidences of the entries whose CRC `crcOf` gives equals `crc`, and whether any entry
// had a CRC to compare.
TAccurateRipVerdict compare(const std::optional<std::vector<TCtdbEntry>> &answer, uint32_t crc,
                            const std::function<std::optional<uint32_t>(const TCtdbEntry &)> &crcOf)
{
    if (!answer)
        return {TAccurateRipVerdict::Unreachable, 0};
    bool known = false;
    int64_t confidence = 0;
    for (const TCtdbEntry &entry : *answer) {
        const std::optional<uint32_t> theirs = crcOf(entry);
        known = known || theirs;
        if (theirs == crc)
            confidence += entry.confidence;
    }
    if (confidence > 0)
        return {TAccurateRipVerdict::Accurate,
                int(std::min<int64_t>(confidence, std::numeric_limits<int>::max()))};
    return {known ? TAccurateRipVerdict::NotAccurate : TAccurateRipVerdict::NotInDatabase, 0};
}

} // namespace

QString TCtdbDisc::Url() const
{
    return "http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=0&metadata=none&toc=" + toc;
}

TCtdbDisc CtdbDiscOf(const std::vector<TDiscTocEntry> &tracks, int32_t leadOutSector)
{
    TCtdbDisc disc;
    QStringList toc;
    for (const TDiscTocEntry &track : tracks)
        toc << (track.audio ? "" : "-") + QString::number(track.startSector);
    toc << QString::number(leadOutSector);

    // The audio tracks the database counts: those after the data tracks the disc may start with, up to
    // the next data track.
    size_t first = 0;
    while (first < tracks.size() && !tracks[first].audio)
        ++first;
    size_t last = first;
    while (last + 1 < tracks.size() && tracks[last + 1].audio)
        ++last;
    if (first == tracks.size())
        return {};
    const int32_t audioEnd =
        last + 1 < tracks.size() ? tracks[last + 1].startSector - SessionGapSectors : leadOutSector;
    const int32_t pregap = first == 0 ? tracks[0].startSector : 0;
    const int32_t audioSectors = audioEnd - tracks[first].startSector + pregap;

    QByteArray id;
    for (size_t i = first; i <= last; ++i) {
        const int32_t start = tracks[i].startSector;
        const int32_t end = i < last ? tracks[i + 1].startSector : audioEnd;
        TCtdbTrackSpan span{int(i + 1), start, end, 0, 0};
        if (i == first)
            span.skipFirst = 10 * FramesPerSector;
        if (i == last)
            span.skipLast = (10 + uint32_t(audioSectors % 10)) * FramesPerSector;
        // A track the left-out samples would swallow (or a table going backwards) cannot be checked, and
        // no real disc has one.
        if (end <= start ||
            uint64_t(end - start) * FramesPerSector <= uint64_t(span.skipFirst) + span.skipLast)
            return {};
        disc.tracks.push_back(span);
        if (i > first)
            id += QString("%1")
                      .arg(uint32_t(start - tracks[first].startSector), 8, 16, QChar('0'))
                      .toUpper()
                      .toLatin1();
    }
    id += QString("%1")
              .arg(uint32_t(audioEnd - tracks[first].startSector), 8, 16, QChar('0'))
              .toUpper()
              .toLatin1();
    id += QByteArray(8 * (100 - int(last - first + 1)), '0');
    disc.tocId = QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toBase64())
                     .replace('+', '.')
                     .replace('/', '_')
                     .replace('=', '-');
    disc.toc = toc.join(':');
    return disc;
}

std::optional<std::vector<TCtdbEntry>> ParseCtdbAnswer(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("ctdb"))
        return std::nullopt;
    std::vector<TCtdbEntry> entries;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("entry") && entries.size() < MaxEntries) {
            std::optional<TCtdbEntry> entry = readEntry(xml.attributes());
            if (!entry)
                return std::nullopt;
            entries.push_back(std::move(*entry));
        }
        xml.skipCurrentElement();
    }
    // The rest of the document must be well-formed too: a page cut short is no answer.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return std::nullopt;
    return entries;
}

TAccurateRipVerdict CompareTrackWithCtdb(const std::optional<std::vector<TCtdbEntry>> &answer, size_t index,
                                         uint32_t crc)
{
    return compare(answer, crc, [index](const TCtdbEntry &entry) {
        return index < entry.trackCrcs.size() ? std::optional(entry.trackCrcs[index]) : std::nullopt;
    });
}

TAccurateRipVerdict CompareDiscWithCtdb(const std::optional<std::vector<TCtdbEntry>> &answer, uint32_t crc)
{
    return compare(answer, crc, [](const TCtdbEntry &entry) { return std::optional(entry.crc); });
}
