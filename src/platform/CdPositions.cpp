#include "platform/CdPositions.h"

#include <QList>

#include <algorithm>

namespace
{

// How many sectors a look at the Q goes on through unusable ones before it gives up there.
constexpr int32_t ProbeSectors = 8;
// A pre-gap is looked for in the last ten seconds before its track first: most are two seconds.
constexpr int32_t NearSectors = 10 * 75;

bool fromBcd(uint8_t b, int &value)
{
    if ((b >> 4) > 9 || (b & 0x0F) > 9)
        return false;
    value = (b >> 4) * 10 + (b & 0x0F);
    return true;
}

struct Probe {
    int32_t sector = 0;
    CdQPosition q;
};

enum class Look { Found, Unusable, Failed };

// The first usable Q from `from` on by `step`, staying in [lo, hi) and looking at a few sectors at most.
// Its sector is the one the Q names when that lies in [lo, hi): some drives hand over a
// neighbour's Q.
Look probe(const CdQReader &read, int32_t from, int step, int32_t lo, int32_t hi, Probe &found)
{
    for (int32_t s = from, n = 0; s >= lo && s < hi && n < ProbeSectors; s += step, ++n) {
        std::optional<CdQPosition> q;
        if (!read(s, q))
            return Look::Failed;
        if (q) {
            found = {q->lsn >= lo && q->lsn < hi ? q->lsn : s, *q};
            return Look::Found;
        }
    }
    return Look::Unusable;
}

// The first sector of [lo, hi) whose Q meets `met` (which holds from some sector on), hi when none
// does. When the few sectors left undecided give no usable Q, the answer is the first one known to
// meet it.
template <typename Met>
std::optional<int32_t> findFirst(const CdQReader &read, int32_t lo, int32_t hi, Met met)
{
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        Probe p;
        Look look = probe(read, mid, +1, lo, hi, p);
        if (look == Look::Unusable)
            look = probe(read, mid - 1, -1, lo, hi, p);
        if (look == Look::Failed)
            return std::nullopt;
        if (look == Look::Unusable)
            return hi - lo <= 2 * ProbeSectors ? std::optional(hi) : std::nullopt;
        if (met(p.q))
            hi = p.sector;
        else
            lo = p.sector + 1;
    }
    return lo;
}

// "MM:SS:FF" as a sector count; -1 when malformed.
int32_t msfSectors(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 3)
        return -1;
    bool ok[3] = {};
    const int m = parts[0].toInt(&ok[0]), s = parts[1].toInt(&ok[1]), f = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || m < 0 || m > 99 || s < 0 || s > 59 || f < 0 || f > 74)
        return -1;
    return (m * 60 + s) * 75 + f;
}

} // namespace

uint16_t cdQCrc(const uint8_t *data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= uint16_t(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::optional<CdQPosition> decodeCdQ(const uint8_t *q)
{
    const uint16_t stored = uint16_t(q[10] << 8 | q[11]);
    if (stored != 0 && uint16_t(~stored) != cdQCrc(q, 10))
        return std::nullopt;
    if ((q[0] & 0x0F) != 1)
        return std::nullopt;
    CdQPosition position;
    int minute = 0, second = 0, frame = 0;
    if (q[1] == 0xAA)
        position.track = 0xAA;
    else if (!fromBcd(q[1], position.track))
        return std::nullopt;
    if (!fromBcd(q[2], position.index) || !fromBcd(q[7], minute) || !fromBcd(q[8], second) ||
        !fromBcd(q[9], frame) || second > 59 || frame > 74)
        return std::nullopt;
    position.lsn = (minute * 60 + second) * 75 + frame - 150;
    return position;
}

std::optional<int32_t> findCdPregap(const CdQReader &read, int number, int32_t bound, int32_t start)
{
    auto ofTrack = [number](const CdQPosition &q) { return q.track == number; };
    const int32_t near = std::max(bound, start - NearSectors);
    std::optional<int32_t> first = findFirst(read, near, start, ofTrack);
    if (first && *first == near && near > bound)
        first = findFirst(read, bound, near, ofTrack);
    return first;
}

std::optional<std::vector<int32_t>> findCdIndexPoints(const CdQReader &read, int number, int32_t start,
                                                      int32_t last)
{
    std::vector<int32_t> points;
    if (last <= start)
        return points;
    Probe end;
    const Look look = probe(read, last, -1, start, last + 1, end);
    if (look != Look::Found)
        return std::nullopt;
    if (end.q.track != number)
        return points;
    int32_t from = start + 1;
    for (int k = 2; k <= std::min(end.q.index, 99); ++k) {
        const std::optional<int32_t> at = findFirst(
            read, from, last + 1, [&](const CdQPosition &q) { return q.track != number || q.index >= k; });
        if (!at)
            return std::nullopt;
        if (*at > last)
            break;
        points.push_back(*at);
        from = *at + 1;
    }
    return points;
}

std::map<int, std::vector<int32_t>> cueIndexPoints(const QByteArray &sheet)
{
    std::map<int, std::vector<int32_t>> points;
    int track = 0, file = 0, index1File = -1;
    int32_t index1 = -1;
    for (const QByteArray &line : sheet.left(1 << 20).split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        const QByteArray key = words[0].toUpper();
        bool ok = false;
        if (key == "FILE") {
            ++file;
        } else if (key == "TRACK" && words.size() >= 2) {
            track = words[1].toInt(&ok);
            if (!ok || track < 1 || track > 99)
                track = 0;
            index1 = -1;
        } else if (key == "INDEX" && words.size() >= 3 && track) {
            const int number = words[1].toInt(&ok);
            const int32_t at = msfSectors(words[2]);
            if (!ok || at < 0)
                continue;
            if (number == 1) {
                index1 = at;
                index1File = file;
            } else if (number >= 2 && number <= 99 && index1 >= 0 && file == index1File) {
                std::vector<int32_t> &list = points[track];
                if (list.size() < 98 && at - index1 > (list.empty() ? 0 : list.back()))
                    list.push_back(at - index1);
            }
        }
    }
    return points;
}
