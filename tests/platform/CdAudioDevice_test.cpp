#include "platform/CdAudioDevice.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

#include <QFile>

namespace
{

struct Msf {
    uint32_t m, s, f;
};

Msf unpack(uint32_t packed)
{
    return {packed & 0xFF, packed >> 8 & 0xFF, packed >> 16 & 0xFF};
}

std::string text(const Msf &t)
{
    return std::to_string(t.m) + ":" + std::to_string(t.s) + ":" + std::to_string(t.f);
}

} // namespace

// A generated image with a data track between two audio tracks, through libcdio and the letter table.
TEST(CdAudioDevice, ReportsAbsolutePositionsAndDeviceLengthsOfARealImage)
{
    TestDisc disc({DiscTrack::tone(18375, 440), DiscTrack::data(600), DiscTrack::tone(4574, 660)});
    auto device = CdAudioDevice::create();
    ASSERT_EQ(device->open("d:\\0@"), CdAudioDevice::NoError);

    uint32_t count = 0;
    ASSERT_EQ(device->numberOfTracks(&count), CdAudioDevice::NoError);
    EXPECT_EQ(count, 3u);

    struct Case {
        uint32_t track;
        const char *position;
        const char *length;
    } cases[] = {
        // 0 + 150 = 0:02:00; 18375 sectors = 4:05:00
        {1, "0:2:0", "4:5:0"},
        // 18375 + 150 = 18525 = 4:07:00; 600 = 0:08:00
        {2, "4:7:0", "0:8:0"},
        // 18975 + 150 = 19125 = 4:15:00; the last track one frame short: 4573 = 1:00:73
        {3, "4:15:0", "1:0:73"},
    };
    for (const Case &c : cases) {
        uint32_t position = 0, length = 0;
        ASSERT_EQ(device->trackPosition(c.track, &position), CdAudioDevice::NoError) << c.track;
        ASSERT_EQ(device->trackLength(c.track, &length), CdAudioDevice::NoError) << c.track;
        EXPECT_EQ(text(unpack(position)), c.position) << c.track;
        EXPECT_EQ(text(unpack(length)), c.length) << c.track;
    }

    uint32_t ignored = 0;
    EXPECT_EQ(device->trackPosition(0, &ignored), CdAudioDevice::ErrorNoSuchTrack);
    EXPECT_EQ(device->trackLength(4, &ignored), CdAudioDevice::ErrorNoSuchTrack);
    EXPECT_EQ(device->close(), CdAudioDevice::NoError);
    EXPECT_EQ(device->numberOfTracks(&ignored), CdAudioDevice::ErrorNotOpen);
    EXPECT_EQ(device->close(), CdAudioDevice::ErrorNotOpen);
}

TEST(CdAudioDevice, OpensByLetterInEitherCaseAndNamesEachFailure)
{
    TestDisc disc({DiscTrack::tone(300, 440)});
    QFile broken(disc.dir() + "/broken.cue");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("this is not a cue sheet\n");
    broken.close();
    TestDisc::setDrives(disc.driveEntry('E') + ";F=" + disc.dir() + "/missing.cue;G=" + broken.fileName());

    struct Case {
        const char *element;
        uint32_t result;
    } cases[] = {
        {"e:\\0@", CdAudioDevice::NoError},
        {"e", CdAudioDevice::NoError},
        {"d:\\0@", CdAudioDevice::ErrorNoSuchDrive},
        // F names a file that is not there, so the table leaves it out.
        {"f:\\0@", CdAudioDevice::ErrorNoSuchDrive},
        {"g:\\0@", CdAudioDevice::ErrorCannotOpen},
    };
    for (const Case &c : cases) {
        auto device = CdAudioDevice::create();
        EXPECT_EQ(device->open(c.element), c.result) << c.element;
    }

    auto device = CdAudioDevice::create();
    ASSERT_EQ(device->open("e"), CdAudioDevice::NoError);
    EXPECT_EQ(device->open("e"), CdAudioDevice::ErrorAlreadyOpen);
}

TEST(CdAudioDevice, PositionsBeyondWhatAPackedByteHoldsAreAnError)
{
    CdToc toc;
    toc.tracks = {{1, 0, true}, {2, 255 * 4500 - 150, true}};
    toc.leadOutLsn = 255 * 4500 - 150 + 75;
    uint32_t packed = 0;
    ASSERT_EQ(CdAudioDevice::positionInToc(toc, 2, &packed), CdAudioDevice::NoError);
    EXPECT_EQ(text(unpack(packed)), "255:0:0");
    // One more minute would wrap around to a wrong time: refused instead.
    toc.tracks[1].startLsn += 4500;
    toc.leadOutLsn += 4500;
    EXPECT_EQ(CdAudioDevice::positionInToc(toc, 2, &packed), CdAudioDevice::ErrorPositionOutOfRange);
    // A lead-out on the last track's start leaves nothing to measure.
    toc.leadOutLsn = toc.tracks[1].startLsn;
    EXPECT_EQ(CdAudioDevice::lengthInToc(toc, 2, &packed), CdAudioDevice::ErrorPositionOutOfRange);
}
