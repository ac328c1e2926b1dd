#include "lookup/CDInfo.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

int gCloses = 0;

// Answers from a table of contents of CDDB-style offsets (frames counting the lead-in) as every device
// does; its close fails.
struct ScriptedDevice : CdAudioDevice {
    CdToc toc;

    uint32_t open(const QString &) override { return NoError; }
    uint32_t numberOfTracks(uint32_t *n) override { return *n = uint32_t(toc.tracks.size()), NoError; }
    uint32_t trackPosition(uint32_t t, uint32_t *m) override { return positionInToc(toc, t, m); }
    uint32_t trackLength(uint32_t t, uint32_t *m) override { return lengthInToc(toc, t, m); }
    uint32_t close() override { return ++gCloses, ErrorNotOpen; }
};

std::unique_ptr<ScriptedDevice> Device(const std::vector<int32_t> &offsets, int32_t leadOut)
{
    auto d = std::make_unique<ScriptedDevice>();
    for (size_t i = 0; i < offsets.size(); ++i)
        d->toc.tracks.push_back({int(i + 1), offsets[i] - 150, true});
    d->toc.leadOutLsn = leadOut - 150;
    return d;
}

} // namespace

// Digit sums of 310 and of exactly 255 give checksum bytes of 55 and 0 (a disc read through a drive is
// DiscLookup's). More tracks than a disc holds are an error, not an overrun; a failing close never raises
// through the destructor.
TEST(CDInfo, IdentifiersAndDiscsPastTheBounds)
{
    for (const auto &[tracks, id] : {std::pair{62, "37012c3e"}, {51, "00012c33"}})
        EXPECT_EQ(TCDInfo::DiscIdText(TCDInfo::DiscId(std::vector<TMsf>(tracks, {0, 5, 0}), 300)), id);
    std::vector<int32_t> many;
    for (int i = 0; i < 120; ++i)
        many.push_back(150 + i * 750);
    gCloses = 0;
    EXPECT_NO_THROW({
        TCDInfo info(Device(many, 150 + 120 * 750));
        info.Open('d');
        EXPECT_THROW(info.GetDiscId(), Exception);
    });
    EXPECT_EQ(gCloses, 1);
}
