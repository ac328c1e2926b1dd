#include "lookup/CDInfo.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

namespace
{

// Answers from a table of contents as every device does, with scripted failures; the element it was
// opened with and its closes outlive it.
struct ScriptedDevice : CdAudioDevice {
    CdToc toc;
    uint32_t failOpen = NoError, failCount = NoError, failPosition = NoError, failClose = NoError;
    QString *element;
    int *closes;

    uint32_t open(const QString &e) override { return *element = e, failOpen; }
    uint32_t numberOfTracks(uint32_t *count) override
    {
        return *count = uint32_t(toc.tracks.size()), failCount;
    }
    uint32_t trackPosition(uint32_t t, uint32_t *msf) override
    {
        return failPosition ? failPosition : positionInToc(toc, t, msf);
    }
    uint32_t trackLength(uint32_t t, uint32_t *msf) override { return lengthInToc(toc, t, msf); }
    uint32_t close() override { return ++*closes, failClose; }
};

QString gElement;
int gCloses = 0;

// From CDDB-style offsets, frames counting the lead-in; failures open, count, position, close.
std::unique_ptr<ScriptedDevice> Device(const std::vector<int32_t> &offsets, int32_t leadOut,
                                       std::array<uint32_t, 4> fail = {})
{
    auto d = std::make_unique<ScriptedDevice>();
    for (size_t i = 0; i < offsets.size(); ++i)
        d->toc.tracks.push_back({int(i + 1), offsets[i] - 150, true});
    d->toc.leadOutLsn = leadOut - 150;
    std::tie(d->failOpen, d->failCount, d->failPosition, d->failClose) = std::tuple_cat(fail);
    d->element = &gElement;
    d->closes = &gCloses;
    return d;
}

} // namespace

TEST(CDInfo, WorkedExampleGives1202e203)
{
    // Starts 0:02:00, 4:10:37, 9:00:12; the device measures the last track as 3:20:00.
    TCDInfo info(Device({150, 18787, 40512}, 40512 + 15000 + 1));
    info.Open('D');
    EXPECT_EQ(TCDInfo::MsfToFrames(info.GetTrackLength(3)), 15000u);
    EXPECT_EQ(info.GetDiscLength(), 738u);
    EXPECT_EQ(info.GetDiscIdText().toStdString(), "1202e203");
    // Upper case goes to the device in lower case, with the driver's suffix.
    EXPECT_EQ(gElement.toStdString(), "d:\\0@");
    // A last track measured with 74 frames: the frame added makes 75 and carries into the seconds.
    EXPECT_EQ(TCDInfo::DiscLength({0, 2, 0}, {1, 0, 0}, {0, 10, 74}), 69u);
    EXPECT_EQ(TCDInfo::DiscLength({0, 2, 0}, {1, 0, 0}, {0, 10, 73}), 68u);
}

// Tables of contents of real discs with their published CDDB identifiers.
TEST(CDInfo, PublishedDiscsGiveTheirCddbIdentifiers)
{
    struct Disc {
        std::vector<int32_t> offsets;
        int32_t leadOut;
        const char *id;
    } discs[] = {
        // libdiscid's test disc; digit sum 310, so the checksum byte wraps to 55.
        {{150,    9700,   25887,  39297,  53795,  63735,  77517,  94877,  107270, 123552, 135522,
          148422, 161197, 174790, 192022, 205545, 218010, 228700, 239590, 255470, 266932, 288750},
         303602,
         "370fce16"},
        // python-discid's disc, its audio part.
        {{150, 17510, 33275, 45910, 57805, 78310, 94650, 109580, 132010, 149160, 165115, 177710, 203325,
          215555, 235590},
         258725,
         "b60d770f"},
        {{150, 662}, 14294, "0a00bc02"}, // two data tracks; a leading zero
    };
    for (const Disc &d : discs) {
        TCDInfo info(Device(d.offsets, d.leadOut));
        info.Open('d');
        EXPECT_EQ(info.GetDiscIdText().toStdString(), d.id);
        EXPECT_EQ(TCDInfo::MsfToFrames(info.GetTrackPosition(2)), uint32_t(d.offsets[1])) << d.id;
    }
    // A digit sum of exactly 255 gives a checksum byte of 0, never 255.
    EXPECT_EQ(TCDInfo::DiscIdText(TCDInfo::DiscId(std::vector<TMsf>(51, TMsf{0, 5, 0}), 300)).toStdString(),
              "00012c33");
}

// Every failure raises the device's text with the cursor restored; a device that never opened is not
// closed, an open one once; a failing close raises once and never through the destructor.
TEST(CDInfo, DeviceFailuresRaiseTheDeviceTextWithTheCursorRestored)
{
    int begun = 0, ended = 0;
    TCDInfo::beginBusy = [&] { ++begun; };
    TCDInfo::endBusy = [&] { ++ended; };
    using D = CdAudioDevice;
    const std::array<uint32_t, 4> cases[] = {{D::ErrorNoSuchDrive, 0, 0, 0},
                                             {0, D::ErrorNoDisc, 0, 0},
                                             {0, 0, D::ErrorNoSuchTrack, 0},
                                             {0, 0, 0, D::ErrorNotOpen}};
    for (const auto &fail : cases) {
        const uint32_t expected = fail[0] | fail[1] | fail[2] | fail[3];
        SCOPED_TRACE(D::errorText(expected).toStdString());
        begun = ended = gCloses = 0;
        EXPECT_NO_THROW({
            TCDInfo info(Device({150, 20000}, 40000, fail));
            try {
                info.Open('d');
                info.GetDiscIdText();
                info.Close();
                ADD_FAILURE() << "no error";
            } catch (const Exception &e) {
                EXPECT_EQ(e.what(), D::errorText(expected).toStdString());
            }
            EXPECT_NO_THROW(info.Close());
        });
        EXPECT_GT(begun, 0);
        EXPECT_EQ(begun, ended);
        EXPECT_EQ(gCloses, fail[0] ? 0 : 1);
    }
    gCloses = 0;
    EXPECT_NO_THROW({ // destroyed while open, its close failing
        TCDInfo info(Device({150}, 20000, {0, 0, 0, D::ErrorNotOpen}));
        info.Open('e');
    });
    EXPECT_EQ(gCloses, 1);
    TCDInfo::beginBusy = nullptr;
    TCDInfo::endBusy = nullptr;
}

TEST(CDInfo, MoreTracksThanADiscHoldsIsAnErrorNotAnOverrun)
{
    std::vector<int32_t> offsets;
    for (int i = 0; i < 120; ++i)
        offsets.push_back(150 + i * 750);
    TCDInfo info(Device(offsets, 150 + 120 * 750));
    info.Open('d');
    EXPECT_THROW(info.GetDiscId(), Exception);
}
