#include "lookup/CDInfo.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

// What a scripted device was asked, kept after TCDInfo has destroyed the device.
struct DeviceLog {
    QString element;
    int opens = 0;
    int closes = 0;
};

// A device that answers from a table of contents the way every implementation does, with scripted
// failures.
class ScriptedDevice : public CdAudioDevice
{
public:
    ScriptedDevice(CdToc toc, std::shared_ptr<DeviceLog> log) : m_toc(std::move(toc)), m_log(std::move(log))
    {
    }

    uint32_t failOpen = NoError;
    uint32_t failCount = NoError;
    uint32_t failPosition = NoError;
    uint32_t failClose = NoError;
    uint32_t reportedCount = 0; // 0: the table's own count

    uint32_t open(const QString &element) override
    {
        m_log->element = element;
        ++m_log->opens;
        return failOpen;
    }
    uint32_t numberOfTracks(uint32_t *count) override
    {
        *count = reportedCount ? reportedCount : uint32_t(m_toc.tracks.size());
        return failCount;
    }
    uint32_t trackPosition(uint32_t track, uint32_t *msf) override
    {
        return failPosition ? failPosition : positionInToc(m_toc, track, msf);
    }
    uint32_t trackLength(uint32_t track, uint32_t *msf) override { return lengthInToc(m_toc, track, msf); }
    uint32_t close() override
    {
        ++m_log->closes;
        return failClose;
    }

private:
    CdToc m_toc;
    std::shared_ptr<DeviceLog> m_log;
};

// A table of contents from CDDB-style offsets (frames counting the lead-in) and the lead-out.
CdToc tocFromOffsets(const std::vector<int32_t> &offsets, int32_t leadOut)
{
    CdToc toc;
    for (size_t i = 0; i < offsets.size(); ++i)
        toc.tracks.push_back({int(i + 1), offsets[i] - 150, true});
    toc.leadOutLsn = leadOut - 150;
    return toc;
}

struct BusyCount {
    int begun = 0;
    int ended = 0;
    int deepest = 0;
};

// Counts the busy cursor calls for the life of the object.
class BusyWatch
{
public:
    BusyWatch()
    {
        TCDInfo::beginBusy = [this] {
            ++count.begun;
            count.deepest = std::max(count.deepest, count.begun - count.ended);
        };
        TCDInfo::endBusy = [this] { ++count.ended; };
    }
    ~BusyWatch()
    {
        TCDInfo::beginBusy = nullptr;
        TCDInfo::endBusy = nullptr;
    }
    BusyCount count;
};

} // namespace

TEST(CDInfo, WorkedExampleGives1202e203)
{
    // Starts 0:02:00, 4:10:37, 9:00:12; the device measures the last track as 3:20:00.
    const int32_t last = (9 * 60) * 75 + 12;
    CdToc toc;
    toc.tracks = {{1, 150 - 150, true}, {2, (4 * 60 + 10) * 75 + 37 - 150, true}, {3, last - 150, true}};
    toc.leadOutLsn = last - 150 + 200 * 75 + 1;
    auto log = std::make_shared<DeviceLog>();
    TCDInfo info(std::make_unique<ScriptedDevice>(toc, log));
    info.Open('D');

    EXPECT_EQ(info.GetNumberOfTracks(), 3u);
    const TMsf second = info.GetTrackPosition(2);
    EXPECT_EQ(second.Minutes, 4u);
    EXPECT_EQ(second.Seconds, 10u);
    EXPECT_EQ(second.Frames, 37u);
    const TMsf length = info.GetTrackLength(3);
    EXPECT_EQ(TCDInfo::MsfToFrames(length), 15000u);
    EXPECT_EQ(info.GetDiscLength(), 738u);
    EXPECT_EQ(info.GetDiscId(), 0x1202E203u);
    EXPECT_EQ(info.GetDiscIdText().toStdString(), "1202e203");
    // An upper-case letter goes to the device in lower case, with the driver's suffix.
    EXPECT_EQ(log->element.toStdString(), "d:\\0@");
}

// Tables of contents of real discs with their published CDDB identifiers.
TEST(CDInfo, PublishedDiscsGiveTheirCddbIdentifiers)
{
    struct Disc {
        const char *name;
        std::vector<int32_t> offsets; // frames, counting the lead-in
        int32_t leadOut;
        const char *id;
    } discs[] = {
        // libdiscid's test disc; its digit sum is 310, so the checksum byte wraps to 55.
        {"22 tracks",
         {150,    9700,   25887,  39297,  53795,  63735,  77517,  94877,  107270, 123552, 135522,
          148422, 161197, 174790, 192022, 205545, 218010, 228700, 239590, 255470, 266932, 288750},
         303602,
         "370fce16"},
        // python-discid's disc, audio part only (its data track left out).
        {"15 tracks",
         {150, 17510, 33275, 45910, 57805, 78310, 94650, 109580, 132010, 149160, 165115, 177710, 203325,
          215555, 235590},
         258725,
         "b60d770f"},
        // cdda2wav output for Nightwish, Century Child.
        {"14 tracks",
         {150, 28098, 45735, 65222, 86527, 106915, 124221, 143298, 160935, 179722, 226363, 252681, 267891,
          293504},
         340145,
         "ca11b50e"},
        // cdda2wav output for a 27-track disc; digit sum 381.
        {"27 tracks",
         {150,    13512,  24486,  38340,  50535,  69874,  85952,  102667, 110464,
          121462, 133738, 143114, 156097, 170425, 183949, 203632, 215002, 229902,
          241986, 251501, 255374, 268023, 277920, 291309, 307423, 316531, 325071},
         339630,
         "7e11ae1b"},
        // cdda2wav output for a disc of two data tracks: a leading zero in the text.
        {"data tracks", {150, 662}, 14294, "0a00bc02"},
    };
    for (const Disc &d : discs) {
        TCDInfo info(std::make_unique<ScriptedDevice>(tocFromOffsets(d.offsets, d.leadOut),
                                                      std::make_shared<DeviceLog>()));
        info.Open('d');
        EXPECT_EQ(info.GetDiscIdText().toStdString(), d.id) << d.name;
        // What the query sends: the offsets back, and the length in seconds.
        for (size_t i = 0; i < d.offsets.size(); ++i)
            EXPECT_EQ(TCDInfo::MsfToFrames(info.GetTrackPosition(uint32_t(i + 1))), uint32_t(d.offsets[i]))
                << d.name;
        EXPECT_EQ(info.GetDiscLength(), uint32_t(d.leadOut / 75 - d.offsets[0] / 75)) << d.name;
    }
}

TEST(CDInfo, DiscLengthCarriesFramesAndDropsPartSeconds)
{
    struct Case {
        TMsf first, lastStart, lastLength;
        uint32_t seconds;
    } cases[] = {
        // 74 frames plus the one the device leaves out make a whole second.
        {{0, 2, 0}, {1, 0, 0}, {0, 10, 74}, 69},
        {{0, 2, 0}, {1, 0, 0}, {0, 10, 73}, 68},
        // Part seconds are dropped on both sides before subtracting.
        {{0, 2, 73}, {0, 2, 73}, {0, 0, 0}, 0},
        {{0, 2, 74}, {0, 2, 74}, {0, 0, 0}, 1},
        {{0, 3, 10}, {0, 3, 10}, {0, 0, 64}, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TCDInfo::DiscLength(c.first, c.lastStart, c.lastLength), c.seconds);

    // Frame conversions both ways, including the values the packed bytes allow.
    for (uint32_t frames : {0u, 74u, 75u, 4499u, 4500u, 255u * 4500u + 4499u}) {
        const TMsf msf = TCDInfo::FramesToMsf(frames);
        EXPECT_LT(msf.Frames, 75u);
        EXPECT_LT(msf.Seconds, 60u);
        EXPECT_EQ(TCDInfo::MsfToFrames(msf), frames);
    }
    const TMsf unpacked = TCDInfo::UnpackMsf(0x000D140C);
    EXPECT_EQ(unpacked.Minutes, 12u);
    EXPECT_EQ(unpacked.Seconds, 20u);
    EXPECT_EQ(unpacked.Frames, 13u);
}

TEST(CDInfo, DeviceFailuresRaiseTheDeviceTextWithTheCursorRestored)
{
    const CdToc toc = tocFromOffsets({150, 20000}, 40000);
    struct Case {
        const char *name;
        uint32_t failOpen, failCount, failPosition;
        uint32_t expected;
    } cases[] = {
        {"open", CdAudioDevice::ErrorNoSuchDrive, 0, 0, CdAudioDevice::ErrorNoSuchDrive},
        {"count", 0, CdAudioDevice::ErrorNoDisc, 0, CdAudioDevice::ErrorNoDisc},
        {"position", 0, 0, CdAudioDevice::ErrorNoSuchTrack, CdAudioDevice::ErrorNoSuchTrack},
        {"unknown code", 0, 0, 4242, 4242},
    };
    for (const Case &c : cases) {
        BusyWatch busy;
        auto log = std::make_shared<DeviceLog>();
        {
            auto device = std::make_unique<ScriptedDevice>(toc, log);
            device->failOpen = c.failOpen;
            device->failCount = c.failCount;
            device->failPosition = c.failPosition;
            TCDInfo info(std::move(device));
            try {
                info.Open('d');
                info.GetDiscIdText();
                ADD_FAILURE() << c.name << ": no error";
            } catch (const Exception &e) {
                EXPECT_EQ(std::string(e.what()), CdAudioDevice::errorText(c.expected).toStdString())
                    << c.name;
            }
        }
        EXPECT_GT(busy.count.begun, 0) << c.name;
        EXPECT_EQ(busy.count.begun, busy.count.ended) << c.name;
        // A device that never opened is not closed; an open one is closed exactly once.
        EXPECT_EQ(log->closes, c.failOpen ? 0 : 1) << c.name;
    }
}

TEST(CDInfo, ClosingReportsItsFailureOnceAndNeverFromTheDestructor)
{
    const CdToc toc = tocFromOffsets({150}, 20000);
    auto log = std::make_shared<DeviceLog>();
    {
        auto device = std::make_unique<ScriptedDevice>(toc, log);
        device->failClose = CdAudioDevice::ErrorCannotOpen;
        TCDInfo info(std::move(device));
        info.Open('e');
        EXPECT_THROW(info.Close(), Exception);
        EXPECT_FALSE(info.IsOpen());
        EXPECT_NO_THROW(info.Close());
    }
    EXPECT_EQ(log->closes, 1);

    // Destroyed while open and the close fails: nothing escapes the destructor.
    auto quiet = std::make_shared<DeviceLog>();
    EXPECT_NO_THROW({
        auto device = std::make_unique<ScriptedDevice>(toc, quiet);
        device->failClose = CdAudioDevice::ErrorNotOpen;
        TCDInfo info(std::move(device));
        info.Open('e');
    });
    EXPECT_EQ(quiet->closes, 1);
}

TEST(CDInfo, MoreTracksThanADiscHoldsIsAnErrorNotAnOverrun)
{
    std::vector<int32_t> offsets;
    for (int i = 0; i < 120; ++i)
        offsets.push_back(150 + i * 750);
    auto device = std::make_unique<ScriptedDevice>(tocFromOffsets(offsets, 150 + 120 * 750),
                                                   std::make_shared<DeviceLog>());
    TCDInfo info(std::move(device));
    info.Open('d');
    EXPECT_EQ(info.GetNumberOfTracks(), 120u);
    EXPECT_THROW(info.GetDiscId(), Exception);

    // 99 tracks still work, and a digit sum that is a multiple of 255 gives a checksum of 0.
    std::vector<TMsf> starts(99, TMsf{0, 2, 0});
    EXPECT_EQ(TCDInfo::DiscId(starts, 100) >> 24, (99u * 2) % 255);
    std::vector<TMsf> wraps(51, TMsf{0, 5, 0}); // 51 * 5 = 255
    EXPECT_EQ(TCDInfo::DiscIdText(TCDInfo::DiscId(wraps, 300)).toStdString(), "00012c33");
}

TEST(CDInfo, ReadsTheIdentifierOfAGeneratedImageThroughLibcdio)
{
    // Audio 10 s, data 4 s, audio 10 s: starts at 150, 900 and 1200 frames (2, 12 and 16 s), lead-out
    // at 1950 frames (26 s). Digit sums 2 + 3 + 7 = 12, length 24 s, 3 tracks.
    TestDisc disc({DiscTrack::tone(750, 440), DiscTrack::data(300), DiscTrack::tone(750, 660)});
    BusyWatch busy;
    {
        TCDInfo info;
        info.Open('D');
        EXPECT_EQ(info.GetDiscIdText().toStdString(), "0c001803");
    }
    EXPECT_EQ(busy.count.begun, busy.count.ended);

    TCDInfo other;
    EXPECT_THROW(other.Open('Q'), Exception);
    EXPECT_THROW(other.GetNumberOfTracks(), Exception);
}
