// The cue sheet of a rip read back by libcdio's CUE parser, and by the arithmetic of a player that plays
// its files one after the other.
#include "rip/CueSheet.h"

#include "CueRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <map>


// What the sheet makes of texts and codes that it cannot hold, and of gaps before consecutive tracks:
// the sheet places every index where it is on the disc, and libcdio still reads it. (The discs'
// layouts as extractions meet them are in the session's table of discs.)
TEST(CueSheet, PlacesTheDiscsIndexesAndLibcdioReadsIt)
{
    struct Track {
        int32_t start, pregap = 0; // INDEX 01's LSN, the sectors of INDEX 00 before it
        std::vector<int32_t> indexes = {};
        QString isrc = {}, title = {};
        bool pre = false;
    };
    const struct {
        const char *name;
        int32_t hidden; // track 1's INDEX 01
        bool hiddenExtracted;
        std::vector<Track> tracks;
        int32_t leadOut;
        QString catalog, libcdio; // what libcdio reads
    } discs[] = {
        {"gaps before tracks 2 and 3",
         0,
         false,
         {{0}, {400, 150}, {700, 32}},
         1000,
         "",
         "MCN -; 1 - \"-\" -; 2 - \"-\" 250; 3 - \"-\" 268"},
        {"a catalog and an ISRC that are none", 0, false, {{0, 0, {}, "IT-A01-23-00002"}}, 75, "80123",
         "MCN -; 1 - \"-\" -"},
        {"titles with quotes and line ends",
         0,
         false,
         {{0, 0, {}, "", "Il \"mio\" nome"}, {300, 0, {}, "", "Due\r\nrighe\tcon tab"}},
         600,
         "",
         "MCN -; 1 - \"Il 'mio' nome\" -; 2 - \"Duerighe con tab\" -"},
    };
    // Its warnings about the sheet's times, which it reads as positions on the disc, are no news here.
    const cdio_log_handler_t logged = cdio_log_set_handler([](cdio_log_level_t, const char *) {});
    for (const auto &disc : discs) {
        QTemporaryDir dir;
        const auto write = [&dir](const QString &name, int32_t sectors) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) &&
                   file.write(QByteArray(sectors * 2352, '\0')) == sectors * 2352;
        };
        TCueDisc cue{.catalog = disc.catalog, .fileType = "BINARY", .hiddenSectors = disc.hidden};
        if (disc.hiddenExtracted) {
            cue.hiddenFile = "Track 00.bin";
            ASSERT_TRUE(write(cue.hiddenFile, disc.hidden));
        }
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            const Track &t = disc.tracks[i];
            const int32_t next = i + 1 < disc.tracks.size() ? disc.tracks[i + 1].start : disc.leadOut;
            cue.tracks.push_back({.number = int(i) + 1,
                                  .file = QString("Track %1.bin").arg(i + 1, 2, 10, QChar('0')),
                                  .title = t.title,
                                  .isrc = t.isrc,
                                  .preemphasis = t.pre,
                                  .pregapSectors = t.pregap,
                                  .indexOffsets = t.indexes,
                                  .previousFileSectors = i > 0 ? t.start - disc.tracks[i - 1].start : 0});
            ASSERT_TRUE(write(cue.tracks.back().file, next - t.start));
        }
        QFile sheet(dir.filePath("disc.cue"));
        ASSERT_TRUE(sheet.open(QIODevice::WriteOnly) && sheet.write(CueSheetText(cue)) > 0);
        sheet.close();
        ASSERT_TRUE(write("disc.bin", 1)); // libcdio opens it, whatever the sheet names

        std::map<int, std::map<int, int32_t>> expected;
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            const Track &t = disc.tracks[i];
            auto &at = expected[int(i) + 1];
            at[1] = t.start;
            if (i == 0 && disc.hidden > 0)
                at[0] = 0;
            if (i > 0 && t.pregap > 0)
                at[0] = t.start - t.pregap;
            for (size_t k = 0; k < t.indexes.size(); ++k)
                at[int(k) + 2] = t.start + t.indexes[k];
        }
        expected[0][1] = disc.leadOut;
        EXPECT_EQ(PlaceCueIndexes(sheet.fileName(), SectorsBySize), expected) << disc.name;
        EXPECT_EQ(ReadCueByLibcdio(sheet.fileName()).toStdString(), disc.libcdio.toStdString()) << disc.name;
    }
    cdio_log_set_handler(logged);
}
