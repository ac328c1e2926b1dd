#include "lookup/CDInfo.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

struct DeviceLog {
    QString element;
    int closes = 0;
};

// Answers from a table of contents as every device does, with scripted failures; what it was asked
// outlives it in the log.
class ScriptedDevice : public CdAudioDevice
{
public:
    ScriptedDevice(CdToc toc, std::shared_ptr<DeviceLog> log) : m_toc(std::move(toc)), m_log(std::move(log))
    {
    }
    uint32_t failOpen = NoError, failCount = NoError, failPosition = NoError, failClose = NoError;

    uint32_t open(const QString &element) override { return m_log->element = element, failOpen; }
    uint32_t numberOfTracks(uint32_t *count) override
    {
        return *count = uint32_t(m_toc.tracks.size()), failCount;
    }
    uint32_t trackPosition(uint32_t t, uint32_t *msf) override
    {
        return failPosition ? failPosition : positionInToc(m_toc, t, msf);
    }
    uint32_t trackLength(uint32_t t, uint32_t *msf) override { return lengthInToc(m_toc, t, msf); }
    uint32_t close() override { return ++m_log->closes, failClose; }

private:
    CdToc m_toc;
    std::shared_ptr<DeviceLog> m_log;
};

// From CDDB-style offsets: frames counting the lead-in.
CdToc tocFromOffsets(const std::vector<int32_t> &offsets, int32_t leadOut)
{
    CdToc toc;
    for (size_t i = 0; i < offsets.size(); ++i)
        toc.tracks.push_back({int(i + 1), offsets[i] - 150, true});
    toc.leadOutLsn = leadOut - 150;
    return toc;
}

std::unique_ptr<ScriptedDevice> device(const CdToc &toc, std::shared_ptr<DeviceLog> log = {})
{
    return std::make_unique<ScriptedDevice>(toc, log ? log : std::make_shared<DeviceLog>());
}

} // namespace

TEST(CDInfo, WorkedExampleGives1202e203)
{
    // Starts 0:02:00, 4:10:37, 9:00:12; the device measures the last track as 3:20:00.
    auto log = std::make_shared<DeviceLog>();
    TCDInfo info(device(tocFromOffsets({150, 18787, 40512}, 40512 + 15000 + 1), log));
    info.Open('D');
    EXPECT_EQ(TCDInfo::MsfToFrames(info.GetTrackLength(3)), 15000u);
    EXPECT_EQ(info.GetDiscLength(), 738u);
    EXPECT_EQ(info.GetDiscIdText().toStdString(), "1202e203");
    // Upper case goes to the device in lower case, with the driver's suffix.
    EXPECT_EQ(log->element.toStdString(), "d:\\0@");

    // A last track measured with 74 frames: the frame added makes 75 and carries into the seconds.
    EXPECT_EQ(TCDInfo::DiscLength({0, 2, 0}, {1, 0, 0}, {0, 10, 74}), 69u);
    EXPECT_EQ(TCDInfo::DiscLength({0, 2, 0}, {1, 0, 0}, {0, 10, 73}), 68u);
}

// Tables of contents of real discs with their published CDDB identifiers.
TEST(CDInfo, PublishedDiscsGiveTheirCddbIdentifiers)
{
    struct Disc {
        const char *name;
        std::vector<int32_t> offsets;
        int32_t leadOut;
        const char *id;
    } discs[] = {
        // libdiscid's test disc; digit sum 310, so the checksum byte wraps to 55.
        {"22 tracks",
         {150,    9700,   25887,  39297,  53795,  63735,  77517,  94877,  107270, 123552, 135522,
          148422, 161197, 174790, 192022, 205545, 218010, 228700, 239590, 255470, 266932, 288750},
         303602,
         "370fce16"},
        // python-discid's disc, its audio part.
        {"15 tracks",
         {150, 17510, 33275, 45910, 57805, 78310, 94650, 109580, 132010, 149160, 165115, 177710, 203325,
          215555, 235590},
         258725,
         "b60d770f"},
        // Two data tracks; the identifier has a leading zero.
        {"data tracks", {150, 662}, 14294, "0a00bc02"},
    };
    for (const Disc &d : discs) {
        TCDInfo info(device(tocFromOffsets(d.offsets, d.leadOut)));
        info.Open('d');
        EXPECT_EQ(info.GetDiscIdText().toStdString(), d.id) << d.name;
        EXPECT_EQ(TCDInfo::MsfToFrames(info.GetTrackPosition(2)), uint32_t(d.offsets[1])) << d.name;
    }
}

TEST(CDInfo, DeviceFailuresRaiseTheDeviceTextWithTheCursorRestored)
{
    int begun = 0, ended = 0;
    TCDInfo::beginBusy = [&] { ++begun; };
    TCDInfo::endBusy = [&] { ++ended; };
    struct Case {
        const char *name;
        uint32_t failOpen, failCount, failPosition, expected;
    } cases[] = {
        {"open", CdAudioDevice::ErrorNoSuchDrive, 0, 0, CdAudioDevice::ErrorNoSuchDrive},
        {"count", 0, CdAudioDevice::ErrorNoDisc, 0, CdAudioDevice::ErrorNoDisc},
        {"position", 0, 0, CdAudioDevice::ErrorNoSuchTrack, CdAudioDevice::ErrorNoSuchTrack},
    };
    for (const Case &c : cases) {
        begun = ended = 0;
        auto log = std::make_shared<DeviceLog>();
        {
            auto d = device(tocFromOffsets({150, 20000}, 40000), log);
            d->failOpen = c.failOpen;
            d->failCount = c.failCount;
            d->failPosition = c.failPosition;
            TCDInfo info(std::move(d));
            try {
                info.Open('d');
                info.GetDiscIdText();
                ADD_FAILURE() << c.name << ": no error";
            } catch (const Exception &e) {
                EXPECT_EQ(std::string(e.what()), CdAudioDevice::errorText(c.expected).toStdString())
                    << c.name;
            }
        }
        EXPECT_GT(begun, 0) << c.name;
        EXPECT_EQ(begun, ended) << c.name;
        // A device that never opened is not closed; an open one is closed once.
        EXPECT_EQ(log->closes, c.failOpen ? 0 : 1) << c.name;
    }
    TCDInfo::beginBusy = nullptr;
    TCDInfo::endBusy = nullptr;
}

TEST(CDInfo, CloseFailsOnceAndNeverThroughTheDestructor)
{
    auto log = std::make_shared<DeviceLog>();
    EXPECT_NO_THROW({
        auto d = device(tocFromOffsets({150}, 20000), log);
        d->failClose = CdAudioDevice::ErrorNotOpen;
        TCDInfo info(std::move(d));
        info.Open('e');
        EXPECT_THROW(info.Close(), Exception);
        EXPECT_NO_THROW(info.Close());
        // Destroyed while open, its close failing: nothing escapes.
        auto d2 = device(tocFromOffsets({150}, 20000), log);
        d2->failClose = CdAudioDevice::ErrorNotOpen;
        TCDInfo other(std::move(d2));
        other.Open('e');
    });
    EXPECT_EQ(log->closes, 2);
}

TEST(CDInfo, MoreTracksThanADiscHoldsIsAnErrorNotAnOverrun)
{
    std::vector<int32_t> offsets;
    for (int i = 0; i < 120; ++i)
        offsets.push_back(150 + i * 750);
    TCDInfo info(device(tocFromOffsets(offsets, 150 + 120 * 750)));
    info.Open('d');
    EXPECT_THROW(info.GetDiscId(), Exception);
    // A digit sum of exactly 255 gives a checksum byte of 0, never 255.
    EXPECT_EQ(TCDInfo::DiscIdText(TCDInfo::DiscId(std::vector<TMsf>(51, TMsf{0, 5, 0}), 300)).toStdString(),
              "00012c33");
}
