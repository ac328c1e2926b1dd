#include "disc/AccurateRip.h"

#include <algorithm>
#include <bit>
#include <cstring>

void TAccurateRipChecksum::Start(uint32_t frames, bool firstTrack, bool lastTrack)
{
    m_v1 = 0;
    m_v2 = 0;
    m_from = firstTrack ? 5 * FramesPerSector : 1;
    m_to = lastTrack ? (frames > 5 * FramesPerSector ? frames - 5 * FramesPerSector : 0) : frames;
}

// On x86-64 the loop below is built also for AVX2 and AVX-512, which multiply four and eight frames
// per instruction where the baseline does two; the processor's best is picked when the program loads.
// Not under ThreadSanitizer: the picking runs before its runtime is set up and crashes in it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void TAccurateRipChecksum::Add(const uint8_t *samples, size_t frames, uint64_t at)
{
    const uint64_t begin = at + 1; // number of the first frame given here
    const uint64_t lo = std::max(begin, m_from);
    const uint64_t hi = std::min(at + frames, m_to);
    if (lo > hi)
        return;
    // Two sums over the counted frames: the low and the high halves of the products. The multiplier
    // fits 32 bits (a track is far below 2^32 frames), so each product fits 64 bits; written this way
    // the compiler can do several frames per instruction.
    uint64_t sumLow = 0;
    uint64_t sumHigh = 0;
    const uint8_t *p = samples + (lo - begin) * 4;
    const size_t count = size_t(hi - lo + 1);
    auto k = uint32_t(lo);
    for (size_t i = 0; i < count; ++i, ++k) {
        uint32_t value;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&value, p + 4 * i, 4);
        } else {
            const uint8_t *f = p + 4 * i;
            value = uint32_t(f[0]) | uint32_t(f[1]) << 8 | uint32_t(f[2]) << 16 | uint32_t(f[3]) << 24;
        }
        const uint64_t product = uint64_t(value) * k;
        sumLow += uint32_t(product);
        sumHigh += product >> 32;
    }
    m_v1.fetch_add(uint32_t(sumLow), std::memory_order_relaxed);
    m_v2.fetch_add(uint32_t(sumLow) + uint32_t(sumHigh), std::memory_order_relaxed);
}
