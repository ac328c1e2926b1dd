// What the cue sheet makes of texts and codes that it cannot hold, read back by libcdio's CUE parser.
// (Discs' layouts as extractions meet them, placed as a player places the files, are in the session's
// table of discs.)
#include "rip/CueSheet.h"

#include "CueRead.h"
#include "WavTestFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cdio/logging.h>

TEST(CueSheet, TextsAndCodesItCannotHoldLeaveASheetLibcdioReads)
{
    const struct {
        const char *name;
        QString catalog;
        std::vector<std::pair<QString, QString>> tracks; // title, ISRC
        QString libcdio;
    } discs[] = {
        {"a catalog and an ISRC that are none", "80123", {{"", "IT-A01-23-00002"}}, "MCN -; 1 - \"-\" -"},
        {"titles with quotes and line ends",
         "8012345678901",
         {{"Il \"mio\" nome", "ITA012300001"}, {"Due\r\nrighe\tcon tab", ""}},
         "MCN 8012345678901; 1 ITA012300001 \"Il 'mio' nome\" -; 2 - \"Duerighe con tab\" -"},
    };
    // Its warnings about the sheet's times, which it reads as positions on the disc, are no news here.
    const cdio_log_handler_t logged = cdio_log_set_handler([](cdio_log_level_t, const char *) {});
    for (const auto &disc : discs) {
        QTemporaryDir dir;
        TCueDisc cue{.catalog = disc.catalog, .fileType = "BINARY"};
        for (const auto &[title, isrc] : disc.tracks)
            cue.tracks.push_back({.number = int(cue.tracks.size()) + 1,
                                  .file = QString("Track %1.bin").arg(cue.tracks.size() + 1),
                                  .title = title,
                                  .isrc = isrc,
                                  .previousFileSectors = 75});
        // libcdio opens disc.bin, whatever the sheet names.
        ASSERT_TRUE(WavTestFile::Write(dir.filePath("disc.cue"), CueSheetText(cue)) &&
                    WavTestFile::Write(dir.filePath("disc.bin"), QByteArray(2352, '\0')));
        EXPECT_EQ(ReadCueByLibcdio(dir.filePath("disc.cue")).toStdString(), disc.libcdio.toStdString())
            << disc.name;
    }
    cdio_log_set_handler(logged);
}
