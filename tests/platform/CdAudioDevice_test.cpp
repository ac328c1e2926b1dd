#include "platform/CdAudioDevice.h"

#include "TestDisc.h"
#include "WavTestFile.h"

#include <gtest/gtest.h>

namespace
{

using D = CdAudioDevice;

// A packed position or length as m:s:f.
std::string Msf(uint32_t packed)
{
    return std::to_string(packed & 0xFF) + ":" + std::to_string(packed >> 8 & 0xFF) + ":" +
           std::to_string(packed >> 16 & 0xFF);
}

} // namespace

// A generated image with a data track between two audio tracks, through the letter table and libcdio:
// positions count the 150 sectors of pre-gap, the last track's length is one frame short.
TEST(CdAudioDevice, OpensByLetterAndReportsPositionsAndLengthsOfARealImage)
{
    TestDisc disc({DiscTrack::tone(4574, 440), DiscTrack::data(600), DiscTrack::tone(76, 660)});
    const QString broken = disc.dir() + "/broken.cue", lost = disc.dir() + "/lost";
    ASSERT_TRUE(WavTestFile::Write(broken, "this is not a cue sheet\n"));
    ASSERT_TRUE(QFile::copy(disc.image().cuePath, lost + ".cue") &&
                QFile::link(disc.image().binPath, lost + ".bin"));
    // F names a file that is not there and G no disc image, so the table leaves them out; H loses its
    // audio file once the table holds it, and then cannot be opened.
    TestDisc::setDrives(disc.driveEntry('E') + ";F=" + disc.dir() + "/missing.cue;G=" + broken +
                        ";H=" + lost + ".cue");
    for (const char *element : {"f:\\0@", "g"})
        EXPECT_EQ(D::create()->open(element), D::ErrorNoSuchDrive) << element;
    ASSERT_TRUE(QFile::remove(lost + ".bin"));
    EXPECT_EQ(D::create()->open("h"), D::ErrorCannotOpen);
    auto device = D::create();
    ASSERT_EQ(device->open("e"), D::NoError);
    EXPECT_EQ(device->open("E:\\0@"), D::ErrorAlreadyOpen);

    uint32_t count = 0, position = 0, length = 0;
    ASSERT_EQ(device->numberOfTracks(&count), D::NoError);
    EXPECT_EQ(count, 3u);
    const char *expected[] = {"0:2:0 1:0:74", "1:2:74 0:8:0", "1:10:74 0:1:0"};
    for (uint32_t track = 1; track <= 3; ++track) {
        ASSERT_EQ(device->trackPosition(track, &position), D::NoError);
        ASSERT_EQ(device->trackLength(track, &length), D::NoError);
        EXPECT_EQ(Msf(position) + " " + Msf(length), expected[track - 1]);
    }
    EXPECT_EQ(device->trackPosition(0, &position), D::ErrorNoSuchTrack);
    EXPECT_EQ(device->trackLength(4, &length), D::ErrorNoSuchTrack);
    EXPECT_EQ(device->close(), D::NoError);
}

TEST(CdAudioDevice, PositionsBeyondWhatAPackedByteHoldsAreAnError)
{
    CdToc toc;
    toc.tracks = {{1, 0, true}, {2, 255 * 4500 - 150, true}};
    toc.leadOutLsn = 255 * 4500 - 150 + 75;
    uint32_t packed = 0;
    ASSERT_EQ(D::positionInToc(toc, 2, &packed), D::NoError);
    EXPECT_EQ(Msf(packed), "255:0:0");
    // One more minute would wrap around to a wrong time: refused instead.
    toc.tracks[1].startLsn += 4500;
    toc.leadOutLsn += 4500;
    EXPECT_EQ(D::positionInToc(toc, 2, &packed), D::ErrorPositionOutOfRange);
    // A lead-out on the last track's start leaves nothing to measure.
    toc.leadOutLsn = toc.tracks[1].startLsn;
    EXPECT_EQ(D::lengthInToc(toc, 2, &packed), D::ErrorPositionOutOfRange);
}
