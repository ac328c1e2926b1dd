#include "disc/AccurateRip.h"

#include <gtest/gtest.h>

#include <vector>

// Sum of k for k from a to b, modulo 2^32.
static uint32_t SumOf(uint64_t a, uint64_t b)
{
    return uint32_t((a + b) * (b - a + 1) / 2);
}

// Closed forms of the database's sums: a frame of value 1 adds its number k to both checksums; a
// frame of value 0xFFFFFFFF adds -k to v1 and 0xFFFFFFFF (the low part -k plus the high part k-1)
// to v2. The first track starts counting at frame 2940, the last stops 2940 frames before its end.
// Each track is fed at once and in uneven pieces given last first.
TEST(AccurateRip, ChecksumsOfATrackWithTheDiscEdgesLeftOut)
{
    constexpr uint32_t N = 10000;
    const struct {
        uint8_t byte; // every byte of every frame: 1 0 0 0 is the value 1, ff ff ff ff is 0xFFFFFFFF
        bool first, last;
        uint32_t v1, v2;
    } rows[] = {
        {0x01, false, false, SumOf(1, N), SumOf(1, N)},
        {0x01, true, false, SumOf(2940, N), SumOf(2940, N)},
        {0x01, false, true, SumOf(1, N - 2940), SumOf(1, N - 2940)},
        {0xff, true, true, uint32_t(0u - SumOf(2940, N - 2940)), uint32_t(0u - (N - 2940 - 2940 + 1))},
    };
    for (const auto &row : rows) {
        std::vector<uint8_t> frames(size_t(N) * 4, row.byte == 0x01 ? 0 : 0xff);
        for (size_t i = 0; row.byte == 0x01 && i < frames.size(); i += 4)
            frames[i] = 1;
        for (size_t piece : {size_t(N), size_t(587)}) {
            TAccurateRipChecksum sum;
            sum.Start(N, row.first, row.last);
            for (size_t at = (N - 1) / piece * piece;; at -= piece) {
                sum.Add(frames.data() + at * 4, std::min<size_t>(piece, N - at), at);
                if (at == 0)
                    break;
            }
            EXPECT_EQ(std::pair(sum.V1(), sum.V2()), std::pair(row.v1, row.v2))
                << int(row.byte) << row.first << row.last << " piece " << piece;
        }
    }
}
