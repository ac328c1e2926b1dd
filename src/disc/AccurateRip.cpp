#include "disc/AccurateRip.h"

#include <algorithm>

void TAccurateRipChecksum::Start(uint32_t frames, bool firstTrack, bool lastTrack)
{
    m_position = 0;
    m_v1 = m_v2 = 0;
    m_from = firstTrack ? 5 * FramesPerSector : 1;
    m_to = lastTrack ? (frames > 5 * FramesPerSector ? frames - 5 * FramesPerSector : 0) : frames;
}

void TAccurateRipChecksum::Add(const uint8_t *samples, size_t frames)
{
    const uint64_t begin = m_position + 1; // number of the first frame given here
    m_position += frames;
    const uint64_t lo = std::max(begin, m_from);
    const uint64_t hi = std::min(m_position, m_to);
    if (lo > hi)
        return;
    // Two sums over the counted frames; the multiplier fits 32 bits (a track is below 2^32 frames).
    uint32_t sumLow = m_v1;
    uint32_t sumHigh = 0;
    const uint8_t *p = samples + (lo - begin) * 4;
    for (uint64_t k = lo; k <= hi; ++k, p += 4) {
        const uint32_t value =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        const uint64_t product = uint64_t(value) * uint32_t(k);
        sumLow += uint32_t(product);
        sumHigh += uint32_t(product >> 32);
    }
    m_v2 += (sumLow - m_v1) + sumHigh;
    m_v1 = sumLow;
}
