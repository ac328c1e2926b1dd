#include "platform/CdRipLibrary.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

struct Entry {
    int32_t start;
    uint8_t flag;
};

std::vector<Entry> readEntries()
{
    std::vector<Entry> entries;
    if (CR_ReadToc() == CR_ERROR)
        return entries;
    const int32_t n = CR_GetNumTocEntries();
    for (int32_t i = 0; i <= n; ++i) {
        const uint64_t e = CR_GetTocEntry(i);
        entries.push_back({int32_t(uint32_t(e)), uint8_t(e >> 32)});
    }
    return entries;
}

void setOutput(uint8_t format, bool jitter)
{
    TCDROMParameters p{};
    ASSERT_NE(CR_GetCDROMParameters(&p), CR_ERROR);
    p.bytes[TCDROMParameters::OutputFormatOffset] = format;
    p.setInt32At(TCDROMParameters::JitterCorrectionOffset, jitter ? -1 : 0);
    ASSERT_NE(CR_SetCDROMParameters(&p), CR_ERROR);
}

// Rips first..last and returns every byte delivered, checking the result codes on the way.
QByteArray ripRange(int32_t first, int32_t last, int *chunks = nullptr)
{
    int32_t chunkBytes = 0;
    EXPECT_NE(CR_OpenRipper(&chunkBytes, first, last), CR_ERROR);
    EXPECT_GT(chunkBytes, 0);
    std::vector<uint8_t> buffer(static_cast<size_t>(chunkBytes));
    QByteArray all;
    int calls = 0;
    int32_t result = CR_OK;
    int lastPercent = -1;
    do {
        int32_t bytes = -1;
        result = CR_RipChunk(buffer.data(), &bytes);
        EXPECT_NE(result, CR_ERROR);
        EXPECT_GE(bytes, 0);
        EXPECT_LE(bytes, chunkBytes);
        all.append(reinterpret_cast<const char *>(buffer.data()), bytes);
        const int percent = CR_GetPercentCompleted();
        EXPECT_GE(percent, lastPercent);
        lastPercent = percent;
    } while (result != CR_RIP_DONE && ++calls < 100000);
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(CR_GetNumberOfJitterErrors(), 0);
    CR_CloseRipper();
    if (chunks)
        *chunks = calls + 1;
    return all;
}

} // namespace

TEST(CdRipLibrary, TableOfContentsOfGeneratedImages)
{
    using T = DiscTrack;
    struct Case {
        const char *name;
        std::vector<DiscTrack> tracks;
    } cases[] = {
        {"audio only", {T::tone(300, 440), T::tone(450, 660), T::tone(76, 880)}},
        {"data first", {T::data(600), T::tone(300, 440), T::tone(200, 660)}},
        {"data in the middle", {T::tone(300, 440), T::data(500), T::tone(200, 660)}},
        {"data last", {T::tone(300, 440), T::tone(200, 660), T::data(700)}},
    };
    for (const Case &c : cases) {
        TestDisc disc(c.tracks);
        ASSERT_NE(CR_Init(), CR_ERROR);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        EXPECT_EQ(CR_SetActiveCDROM(1), CR_ERROR) << "only one drive is in the table";
        const std::vector<Entry> entries = readEntries();
        ASSERT_EQ(entries.size(), c.tracks.size() + 1) << c.name;
        for (size_t i = 0; i < c.tracks.size(); ++i) {
            EXPECT_EQ(entries[i].start, disc.image().startSector(i)) << c.name << " entry " << i;
            EXPECT_EQ(entries[i].flag, c.tracks[i].kind == T::Kind::Data ? TocFlagData : TocFlagAudio)
                << c.name << " entry " << i;
        }
        EXPECT_EQ(entries.back().start, disc.image().totalSectors()) << c.name << ": lead-out";
    }
}

TEST(CdRipLibrary, ReadsTheImageBytesExactly)
{
    // 100 sectors: not a whole number of chunks, so the last chunk is short.
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(100, 1000), DiscTrack::tone(130, 440)};
    TestDisc disc(tracks);
    ASSERT_NE(CR_Init(), CR_ERROR);
    ASSERT_NE(CR_ReadToc(), CR_ERROR);
    const QByteArray expected = trackAudioBytes(tracks[1]);
    for (bool jitter : {true, false}) {
        setOutput(0, jitter);
        int chunks = 0;
        const QByteArray got = ripRange(100, 229, &chunks);
        ASSERT_EQ(got.size(), expected.size()) << "jitter correction " << jitter;
        EXPECT_TRUE(got == expected) << "jitter correction " << jitter;
        EXPECT_EQ(chunks, (130 + CdRipChunkSectors - 1) / CdRipChunkSectors);
    }
    // A range in the middle of a track, one sector long.
    setOutput(0, false);
    EXPECT_TRUE(ripRange(150, 150) == expected.mid(50 * 2352, 2352));
}

// A read offset of n samples shifts every read by n samples; what it pulls in from before the disc's
// first sector or after its last is silence.
TEST(CdRipLibrary, ReadOffsetShiftsTheSamples)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(30, 440), DiscTrack::tone(40, 660)};
    TestDisc disc(tracks);
    const QByteArray whole = trackAudioBytes(tracks[0]) + trackAudioBytes(tracks[1]);
    const struct {
        int offset;
        int32_t first, last;
        bool given = false; // to the library by the program, not by the drive's entry
    } rows[] = {{+1000, 30, 69}, {-1000, 0, 29},       {+1000, 0, 29},
                {-1000, 30, 69}, {-2 * 588 - 3, 1, 5}, {-2 * 588 - 3, 1, 5, true}};
    for (const auto &row : rows) {
        TestDisc::setDrives(disc.driveEntry() + (row.given ? QString() : QString("@%1").arg(row.offset)));
        ASSERT_NE(CR_Init(), CR_ERROR);
        ASSERT_TRUE(!row.given || CdRipSetReadOffset('D', row.offset));
        ASSERT_NE(CR_ReadToc(), CR_ERROR);
        const qsizetype from = qsizetype(row.first) * 2352 + qsizetype(row.offset) * 4;
        const qsizetype size = qsizetype(row.last - row.first + 1) * 2352;
        QByteArray expected(size, '\0');
        for (qsizetype i = 0; i < size; ++i) {
            if (from + i >= 0 && from + i < whole.size())
                expected[i] = whole[from + i];
        }
        for (bool jitter : {true, false}) {
            setOutput(0, jitter);
            EXPECT_TRUE(ripRange(row.first, row.last) == expected)
                << "offset " << row.offset << " from " << row.first << " jitter " << jitter;
        }
    }
}

TEST(CdRipLibrary, ConvertsToTheOutputFormat)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(80, 440)};
    TestDisc disc(tracks);
    ASSERT_NE(CR_Init(), CR_ERROR);
    ASSERT_NE(CR_ReadToc(), CR_ERROR);
    setOutput(5, true);
    EXPECT_EQ(ripRange(0, 79).size(), 80 * 2352 / 8);

    // The samples themselves: mean of left and right, mean of neighbouring frames.
    const int16_t in[] = {100, 300, -101, -300, 7, 9, 32767, 32767, 0, 0, 1, 1, -32768, -32768, 2, 4};
    struct Case {
        uint8_t format;
        std::vector<int16_t> out;
    } cases[] = {
        {1, {200, -201, 8, 32767, 0, 1, -32768, 3}},
        {2, {-1, 0, 16387, 16388, 1, 1, -16383, -16382}},
        {3, {0, 16388, 1, -16383}},
        {4, {8193, 8194, -8191, -8191}},
        {5, {8194, -8191}},
    };
    for (const Case &c : cases) {
        int16_t out[16] = {};
        const size_t bytes = convertCdAudio(in, 8, c.format, out);
        ASSERT_EQ(bytes, c.out.size() * 2) << "format " << int(c.format);
        EXPECT_EQ(std::vector<int16_t>(out, out + c.out.size()), c.out) << "format " << int(c.format);
    }
}

TEST(CdRipLibrary, RefusesWhatItCannotDo)
{
    TestDisc::setDrives("");
    ASSERT_NE(CR_Init(), CR_ERROR);
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
    int32_t chunk = 0;
    EXPECT_EQ(CR_OpenRipper(&chunk, 0, 10), CR_ERROR);
    uint8_t buffer[16];
    int32_t bytes = 5;
    EXPECT_EQ(CR_RipChunk(buffer, &bytes), CR_ERROR) << "no ripping run open";
    EXPECT_EQ(bytes, 0);

    TestDisc disc({DiscTrack::tone(30, 440)});
    ASSERT_NE(CR_Init(), CR_ERROR);
    EXPECT_EQ(CR_OpenRipper(&chunk, 10, 9), CR_ERROR) << "an empty range";
    EXPECT_EQ(CR_OpenRipper(&chunk, -1, 9), CR_ERROR);

    // Sectors past the end of the image fail chunk by chunk, and the run still finishes.
    setOutput(0, false);
    ASSERT_EQ(CR_OpenRipper(&chunk, 20, 100), CR_OK);
    std::vector<uint8_t> big(static_cast<size_t>(chunk));
    int32_t result = CR_OK;
    int failures = 0, calls = 0;
    do {
        result = CR_RipChunk(big.data(), &bytes);
        failures += result == CR_ERROR;
    } while (result != CR_RIP_DONE && ++calls < 100);
    EXPECT_EQ(result, CR_RIP_DONE);
    EXPECT_GT(failures, 0);
    CR_CloseRipper();
}
