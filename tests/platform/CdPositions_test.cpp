#include "platform/CdPositions.h"

#include <gtest/gtest.h>

#include <array>

namespace
{

using Q = std::array<uint8_t, 12>;

// A Q frame of mode 1 with its CRC, as the disc holds it.
Q frame(uint8_t controlAdr, uint8_t track, uint8_t index, uint8_t min, uint8_t sec, uint8_t frm)
{
    Q q = {controlAdr, track, index, 0x00, 0x01, 0x02, 0x00, min, sec, frm, 0, 0};
    const uint16_t crc = uint16_t(~cdQCrc(q.data(), 10));
    q[10] = uint8_t(crc >> 8);
    q[11] = uint8_t(crc);
    return q;
}

} // namespace

TEST(CdPositions, DecodesTheQSubchannel)
{
    // The catalogue check value of CRC-16 with the CCITT polynomial and no initial value.
    EXPECT_EQ(cdQCrc(reinterpret_cast<const uint8_t *>("123456789"), 9), 0x31C3);
    Q flipped = frame(0x01, 0x02, 0x00, 0x00, 0x09, 0x50);
    flipped[2] ^= 0x01;
    Q unchecked = frame(0x01, 0x12, 0x03, 0x10, 0x00, 0x00);
    unchecked[10] = unchecked[11] = 0;
    const struct {
        const char *name;
        Q q;
        std::optional<CdQPosition> position;
    } rows[] = {
        {"pre-gap of track 2", frame(0x01, 0x02, 0x00, 0x00, 0x09, 0x50), CdQPosition{2, 0, 575}},
        {"pre-emphasis in the control bits", frame(0x11, 0x09, 0x01, 0x00, 0x02, 0x00), CdQPosition{9, 1, 0}},
        {"lead-out", frame(0x01, 0xAA, 0x01, 0x74, 0x59, 0x74), CdQPosition{0xAA, 1, 337349}},
        {"a bit wrong", flipped, std::nullopt},
        {"no CRC given", unchecked, CdQPosition{12, 3, 44850}},
        {"catalogue frame", frame(0x02, 0x80, 0x12, 0x34, 0x56, 0x78), std::nullopt},
        {"index not BCD", frame(0x01, 0x02, 0x1A, 0x00, 0x09, 0x50), std::nullopt},
        {"frame 75", frame(0x01, 0x02, 0x01, 0x00, 0x09, 0x75), std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(decodeCdQ(row.q.data()), row.position) << row.name;
}

// A simulated drive. Track 1: index 2 at 400, index 3 at 700; track 2: pre-gap from 850, start 1000;
// track 3: a pre-gap of twelve seconds from 2100, start 3000; track 4: no pre-gap, start 3500. One
// sector in 97 has no usable Q; one in 50 hands over its neighbour's.
TEST(CdPositions, FindsPregapsAndIndexPointsWithBoundedReads)
{
    auto truth = [](int32_t s) {
        if (s >= 3500)
            return CdQPosition{4, 1, s};
        if (s >= 2100)
            return CdQPosition{3, s >= 3000 ? 1 : 0, s};
        if (s >= 850)
            return CdQPosition{2, s >= 1000 ? 1 : 0, s};
        return CdQPosition{1, s >= 700 ? 3 : s >= 400 ? 2 : 1, s};
    };
    enum Drive { Good, FailsAt2500, NoQ };
    Drive drive = Good;
    int reads = 0;
    const CdQReader read = [&](int32_t s, std::optional<CdQPosition> &q) {
        ++reads;
        if (drive == FailsAt2500 && s >= 2500)
            return false;
        if (drive != NoQ && s % 97 != 0)
            q = truth(s % 50 == 0 ? s + 1 : s);
        return true;
    };
    using Points = std::optional<std::vector<int32_t>>;
    EXPECT_EQ(findCdPregap(read, 2, 1, 1000), 850);
    EXPECT_EQ(findCdPregap(read, 3, 1001, 3000), 2100);
    EXPECT_EQ(findCdPregap(read, 4, 3001, 3500), 3500);
    EXPECT_EQ(findCdIndexPoints(read, 1, 0, 849), Points({400, 700}));
    EXPECT_EQ(findCdIndexPoints(read, 2, 1000, 2099), Points(std::vector<int32_t>{}));
    EXPECT_LT(reads, 150);

    // A drive that fails or gives no usable Q ends a search after a few reads.
    for (const Drive d : {FailsAt2500, NoQ}) {
        drive = d;
        reads = 0;
        EXPECT_EQ(findCdPregap(read, 3, 1001, 3000), std::nullopt) << d;
        EXPECT_EQ(findCdIndexPoints(read, 3, 3000, 3499), std::nullopt) << d;
        EXPECT_LE(reads, 40) << d;
    }
}
