#include "platform/CdRipLibrary.h"

#include "TestDisc.h"
#include "WavTestFile.h"

#include <QFile>

#include <gtest/gtest.h>

namespace
{

void SetOutput(uint8_t format, bool jitter)
{
    TCDROMParameters p{};
    ASSERT_NE(CR_GetCDROMParameters(&p), CR_ERROR);
    p.bytes[TCDROMParameters::OutputFormatOffset] = format;
    p.setInt32At(TCDROMParameters::JitterCorrectionOffset, jitter ? -1 : 0);
    ASSERT_NE(CR_SetCDROMParameters(&p), CR_ERROR);
}

// Rips first..last and returns every byte delivered; `failures` counts the chunks that failed.
QByteArray RipRange(int32_t first, int32_t last, int *failures = nullptr)
{
    int32_t chunkBytes = 0, bytes = 0, result = CR_OK;
    EXPECT_EQ(CR_OpenRipper(&chunkBytes, first, last), CR_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(chunkBytes));
    QByteArray all;
    for (int calls = 0; result != CR_RIP_DONE && calls < 100000; ++calls) {
        result = CR_RipChunk(buffer.data(), &bytes);
        EXPECT_TRUE(failures || result != CR_ERROR);
        EXPECT_LE(bytes, chunkBytes);
        all.append(reinterpret_cast<const char *>(buffer.data()), bytes);
        if (failures)
            *failures += result == CR_ERROR;
    }
    EXPECT_EQ(result, CR_RIP_DONE);
    CR_CloseRipper();
    return all;
}

} // namespace

// A data track in the middle; the last track's 130 sectors are not a whole number of chunks. The sheet
// names a BIN of another name than its own.
TEST(CdRipLibrary, ReadsTheTocAndTheImageBytesExactly)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(100, 1000), DiscTrack::data(60),
                                           DiscTrack::tone(130, 440)};
    TestDisc disc(tracks);
    ASSERT_TRUE(disc.renameBin("Demo disc.bin"));
    ASSERT_NE(CR_Init(), CR_ERROR);
    ASSERT_NE(CR_ReadToc(), CR_ERROR);
    ASSERT_EQ(CR_GetNumTocEntries(), 3);
    for (int32_t i = 0; i <= 3; ++i) {
        const uint64_t entry = CR_GetTocEntry(i);
        EXPECT_EQ(int32_t(entry), i < 3 ? disc.image().startSector(size_t(i)) : disc.image().totalSectors());
        EXPECT_TRUE(i == 3 || uint8_t(entry >> 32) == (i == 1 ? TocFlagData : TocFlagAudio)) << i;
    }
    const int32_t start = disc.image().startSector(2);
    const QByteArray expected = trackAudioBytes(tracks[2]);
    SetOutput(0, false); // (both settings of jitter correction: the read offset's test)
    EXPECT_TRUE(RipRange(start, start + 129) == expected);
    EXPECT_TRUE(RipRange(start + 50, start + 50) == expected.mid(50 * 2352, 2352));
    // Sectors past the end of the image fail chunk by chunk, and the run still finishes.
    int failures = 0;
    RipRange(start + 100, start + 200, &failures);
    EXPECT_GT(failures, 0);
}

// A cdrdao image whose file was cut short by 100 sectors, in its second track: the table of contents
// still promises them. With jitter correction (where paranoia makes up samples for what it cannot
// read) every chunk that reaches past the file's end fails, and the others give the disc's audio.
TEST(CdRipLibrary, AnImageCutShortFailsWhereItsFileEnds)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(300, 440)};
    TestDisc disc(tracks);
    const QString toc = disc.dir() + "/cut.toc";
    const QByteArray bin = QFile::encodeName(disc.image().binPath);
    ASSERT_TRUE(WavTestFile::Write(toc, "CD_DA\n\nTRACK AUDIO\nFILE \"" + bin +
                                            "\" 0 00:02:00\n\nTRACK AUDIO\nFILE \"" + bin +
                                            "\" 00:02:00 00:02:00\n"));
    ASSERT_TRUE(QFile::resize(disc.image().binPath, 200 * 2352));
    TestDisc::setDrives("D=" + toc);
    ASSERT_NE(CR_Init(), CR_ERROR);
    ASSERT_NE(CR_ReadToc(), CR_ERROR);
    SetOutput(0, true);
    int failures = 0;
    const QByteArray read = RipRange(150, 299, &failures);
    EXPECT_GE(failures, 5);
    EXPECT_TRUE(trackAudioBytes(tracks[0]).mid(150 * 2352, 50 * 2352).startsWith(read));
}

// A read offset of n samples shifts every read by n samples; what it pulls in from before the disc's
// first sector or after its last is silence.
TEST(CdRipLibrary, ReadOffsetShiftsTheSamples)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(30, 440), DiscTrack::tone(40, 660)};
    TestDisc disc(tracks);
    const QByteArray whole = trackAudioBytes(tracks[0]) + trackAudioBytes(tracks[1]);
    // The last row gives the offset to the library as the program does for a drive the database lists.
    for (const auto &[offset, first, last, given] : {std::tuple{+1000, 30, 69, false},
                                                     {-1000, 0, 29, false},
                                                     {-2 * 588 - 3, 1, 5, false},
                                                     {-2 * 588 - 3, 1, 5, true}}) {
        TestDisc::setDrives(disc.driveEntry() + (given ? QString() : QString("@%1").arg(offset)));
        ASSERT_NE(CR_Init(), CR_ERROR);
        ASSERT_TRUE(!given || CdRipSetReadOffset('D', offset));
        ASSERT_NE(CR_ReadToc(), CR_ERROR);
        const qsizetype from = qsizetype(first) * 2352 + offset * 4,
                        size = qsizetype(last - first + 1) * 2352;
        QByteArray expected(size, '\0');
        for (qsizetype i = std::max<qsizetype>(0, -from); i < size && from + i < whole.size(); ++i)
            expected[i] = whole[from + i];
        for (bool jitter : {true, false}) {
            SetOutput(0, jitter);
            EXPECT_TRUE(RipRange(first, last) == expected) << offset << " jitter " << jitter;
        }
    }
}

// Mono is the mean of left and right, half the rate the mean of neighbouring frames.
TEST(CdRipLibrary, ConvertsToTheOutputFormat)
{
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
        ASSERT_EQ(convertCdAudio(in, 8, c.format, out), c.out.size() * 2) << int(c.format);
        EXPECT_EQ(std::vector<int16_t>(out, out + c.out.size()), c.out) << int(c.format);
    }
}
