// The CUETools database's side of a rip: the disc it looks up, the CRCs the reads give of its tracks
// and the answers it reads.
#include "disc/ReadCrc.h"
#include "lookup/CtdbDb.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

// The bytes of .NET's Random(seed).NextBytes, which CUETools' tests fill their disc images with (its
// documented subtractive generator, each byte a draw modulo 256).
QByteArray DotNetRandomBytes(int seed, size_t skip, size_t count)
{
    constexpr int32_t Big = 2147483647;
    int32_t state[56] = {};
    int32_t mj = 161803398 - std::abs(seed), mk = 1;
    state[55] = mj;
    for (int i = 1; i < 55; ++i) {
        const int ii = 21 * i % 55;
        state[ii] = mk;
        mk = mj - mk;
        mk += mk < 0 ? Big : 0;
        mj = state[ii];
    }
    for (int k = 0; k < 4; ++k) {
        for (int i = 1; i < 56; ++i) {
            state[i] -= state[1 + (i + 30) % 55];
            state[i] += state[i] < 0 ? Big : 0;
        }
    }
    QByteArray bytes(qsizetype(count), '\0');
    for (size_t n = 0, next = 0, nextp = 21; n < skip + count; ++n) {
        next = next + 1 == 56 ? 1 : next + 1;
        nextp = nextp + 1 == 56 ? 1 : nextp + 1;
        int32_t value = state[next] - state[nextp];
        value -= value == Big;
        value += value < 0 ? Big : 0;
        state[next] = value;
        if (n >= skip)
            bytes[qsizetype(n - skip)] = char(value % 256);
    }
    return bytes;
}

} // namespace

// The TOC id and the lookup's toc of discs with data tracks and hidden audio, against values made
// independently of this code (the first is published with the cdtoc crate). Data tracks and hidden
// audio do not move the audio's layout, so those discs share ids; the hidden audio lengthens the disc,
// and so what its last track leaves out.
TEST(Ctdb, TocIdAndLookupOfEachKindOfDisc)
{
    const QString plain = "VukMWWItblELRM.CEFpXxw0FlME-", threeTracks = "yjXW3wDDFp2DPs4hRcbDMeyFies-";
    const struct {
        const char *name;
        std::vector<TDiscTocEntry> toc;
        int32_t leadOut;
        QString id, lookup;
        int32_t firstStart, lastEnd, lastSkip; // of the spans, in sectors
    } rows[] = {
        {"audio only",
         {{0, true}, {11413, true}, {25024, true}, {45713, true}},
         55220,
         plain,
         "0:11413:25024:45713:55220",
         0,
         55220,
         10},
        {"a data track last",
         {{0, true}, {11413, true}, {25024, true}, {57113, false}},
         70000,
         threeTracks,
         "0:11413:25024:-57113:70000",
         0,
         45713,
         13},
        {"a data track first",
         {{0, false}, {15000, true}, {26413, true}, {40024, true}},
         60713,
         threeTracks,
         "-0:15000:26413:40024:60713",
         15000,
         60713,
         13},
        {"hidden audio",
         {{3003, true}, {14416, true}, {28027, true}, {48716, true}},
         58223,
         plain,
         "3003:14416:28027:48716:58223",
         3003,
         58223,
         13},
        {"audio after a data track too near", {{0, true}, {150, false}, {300, true}}, 1000, {}, {}, 0, 0, 0},
    };
    for (const auto &row : rows) {
        const TCtdbDisc disc = CtdbDiscOf(row.toc, row.leadOut);
        EXPECT_EQ(disc.tocId, row.id) << row.name;
        if (row.id.isEmpty()) {
            EXPECT_TRUE(disc.tracks.empty()) << row.name;
            continue;
        }
        EXPECT_EQ(disc.Url(),
                  "http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=0&metadata=none&toc=" +
                      row.lookup)
            << row.name;
        ASSERT_FALSE(disc.tracks.empty()) << row.name;
        EXPECT_EQ(disc.tracks.front().startSector, row.firstStart) << row.name;
        EXPECT_EQ(disc.tracks.front().skipFirst, 10u * 588) << row.name;
        EXPECT_EQ(disc.tracks.back().endSector, row.lastEnd) << row.name;
        EXPECT_EQ(disc.tracks.back().skipLast, uint32_t(row.lastSkip) * 588) << row.name;
        for (size_t i = 1; i < disc.tracks.size(); ++i)
            EXPECT_TRUE(disc.tracks[i].startSector == disc.tracks[i - 1].endSector &&
                        disc.tracks[i - 1].skipLast == 0 && disc.tracks[i].skipFirst == 0)
                << row.name;
    }
}

// CUETools' test image "0 9801" (seed 2423, from sample 32 * 588 of its generator) has the disc CRC
// 377539636; cut into three tracks, each track's CRC (made independently of this code) and, combined,
// the disc's again. The reads come in chunks of any size.
TEST(Ctdb, CrcsOfCuetoolsTestImage)
{
    const QByteArray image = DotNetRandomBytes(2423, 32 * 588 * 4, 9801 * 2352);
    const struct {
        std::vector<TDiscTocEntry> toc;
        std::vector<uint32_t> crcs;
    } rows[] = {
        {{{0, true}}, {377539636}},
        {{{0, true}, {3000, true}, {6500, true}}, {0xfb3f23ef, 0xe5f5e502, 0xa8d5e92f}},
    };
    std::mt19937 random(7);
    for (const auto &row : rows) {
        const TCtdbDisc disc = CtdbDiscOf(row.toc, 9801);
        ASSERT_EQ(disc.tracks.size(), row.crcs.size());
        uint32_t whole = 0;
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            const TCtdbTrackSpan &span = disc.tracks[i];
            const uint64_t bytes = uint64_t(span.endSector - span.startSector) * 2352;
            TReadCrc crc(TReadCrc::Window{span.skipFirst * 4u, bytes - span.skipLast * 4u});
            for (uint64_t at = 0; at < bytes;) {
                const uint64_t count = std::min<uint64_t>(bytes - at, random() % 30000);
                crc.Add(reinterpret_cast<const uint8_t *>(image.constData()) + span.startSector * 2352 + at,
                        count);
                at += count;
            }
            ASSERT_TRUE(crc.WindowCrc());
            EXPECT_EQ(*crc.WindowCrc(), row.crcs[i]) << i;
            whole = TReadCrc::Combine(whole, *crc.WindowCrc(), bytes - (span.skipFirst + span.skipLast) * 4u);
        }
        EXPECT_EQ(whole, 377539636u);
    }
}

// The lookup's answer: its entries with what a repair needs, within bounds; anything else is no answer.
TEST(Ctdb, AnswersAreReadWithinBounds)
{
    const QByteArray head =
        R"(<?xml version="1.0" encoding="utf-8"?><ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#">)";
    const QByteArray entry =
        R"(<entry id="5" crc32="1a2B3c4d" confidence="7" npar="16" stride="5880" )"
        R"(hasparity="/parity/5" parity="AAEC" syndrome="AwQ=" trackcrcs="00000001 FFFFFFFF" toc="0:100"/>)";
    QByteArray many = head;
    for (int i = 0; i < 150; ++i)
        many += entry;
    const struct {
        const char *name;
        QByteArray bytes;
        int entries; // -1: no answer
    } rows[] = {
        {"one entry", head + entry + "</ctdb>", 1},
        {"none", head + "</ctdb>", 0},
        {"other elements skipped", head + "<musicbrainz><x/></musicbrainz>" + entry + "</ctdb>", 1},
        {"at most 100", many + "</ctdb>", 100},
        {"cut short", head + entry, -1},
        {"another root", "<html><entry crc32=\"1\"/></html>", -1},
        {"not XML", "HTTP error page", -1},
        {"bad crc", head + QByteArray(entry).replace("1a2B3c4d", "12345678x") + "</ctdb>", -1},
        {"crc too long", head + QByteArray(entry).replace("1a2B3c4d", "1a2B3c4d0") + "</ctdb>", -1},
        {"bad track crc", head + QByteArray(entry).replace("FFFFFFFF", "-1") + "</ctdb>", -1},
        {"negative confidence", head + QByteArray(entry).replace("\"7\"", "\"-7\"") + "</ctdb>", -1},
        {"bad base64", head + QByteArray(entry).replace("AwQ=", "A*Q=") + "</ctdb>", -1},
    };
    for (const auto &row : rows) {
        const std::optional<std::vector<TCtdbEntry>> answer = ParseCtdbAnswer(row.bytes);
        EXPECT_EQ(answer ? int(answer->size()) : -1, row.entries) << row.name;
    }
    const TCtdbEntry e = ParseCtdbAnswer(head + entry + "</ctdb>")->front();
    EXPECT_TRUE(e.id == "5" && e.crc == 0x1a2b3c4d && e.confidence == 7 && e.npar == 16 && e.stride == 5880 &&
                e.parityUrl == "/parity/5" && e.parity == QByteArray("\0\1\2", 3) && e.syndrome == "\3\4" &&
                e.trackCrcs == std::vector<uint32_t>({1, 0xffffffff}) && e.toc == "0:100");

    // Verdicts: the confidences of every matching entry add up; a track CRC no entry holds is no verdict
    // of a match.
    const std::optional<std::vector<TCtdbEntry>> two = ParseCtdbAnswer(head + entry + entry + "</ctdb>");
    EXPECT_EQ(CompareTrackWithCtdb(two, 1, 0xffffffff).Text(), "accurata (fiducia 14)");
    EXPECT_EQ(CompareTrackWithCtdb(two, 0, 2).Text(), "non accurata");
    EXPECT_EQ(CompareTrackWithCtdb(two, 2, 0).Text(), "disco assente");
    EXPECT_EQ(CompareDiscWithCtdb(two, 0x1a2b3c4d).Text(), "accurata (fiducia 14)");
    EXPECT_EQ(CompareDiscWithCtdb(std::vector<TCtdbEntry>{}, 1).Text(), "disco assente");
    EXPECT_EQ(CompareDiscWithCtdb(std::nullopt, 1).Text(), "non raggiungibile");
}
