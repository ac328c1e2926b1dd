// The cue sheet of a rip read back by libcdio's CUE parser, and by the arithmetic of a player that plays
// its files one after the other.
#include "rip/CueSheet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace
{

// libcdio 2.1's reading of a sheet of several FILEs: it takes every INDEX time as a position on the disc,
// so each track's INDEX 01 00:00:00 lands at LSN 0 and its start says nothing; it reads the audio from
// "<sheet>.bin" alone (the FILEs' names and types are kept, never opened). What it does read: the
// tracks, CATALOG, ISRC, FLAGS PRE, TITLE as CD-Text, and INDEX 00 (as its time in its file + 150,
// none when that is INDEX 01's time); never PREGAP nor INDEX 02.
QString readByLibcdio(const QString &sheet)
{
    std::unique_ptr<CdIo_t, void (*)(CdIo_t *)> cd(cdio_open_cue(QFile::encodeName(sheet).constData()),
                                                   cdio_destroy);
    if (!cd)
        return "refused";
    const auto take = [](char *text) {
        const QString value = text ? QString::fromUtf8(text) : "-";
        std::free(text);
        return value;
    };
    QString read = "MCN " + take(cdio_get_mcn(cd.get()));
    cdtext_t *cdText = cdio_get_cdtext(cd.get());
    for (track_t t = 1; t <= cdio_get_num_tracks(cd.get()); ++t) {
        const lba_t gap = cdio_get_track_pregap_lba(cd.get(), t);
        const char *title = cdText ? cdtext_get_const(cdText, CDTEXT_FIELD_TITLE, t) : nullptr;
        read += QString("; %1 %2%3 \"%4\" %5")
                    .arg(t)
                    .arg(take(cdio_get_track_isrc(cd.get(), t)))
                    .arg(cdio_get_track_preemphasis(cd.get(), t) == CDIO_TRACK_FLAG_TRUE ? " PRE" : "")
                    .arg(title ? QString::fromUtf8(title) : "-")
                    .arg(gap == CDIO_INVALID_LBA ? "-" : QString::number(gap - CDIO_PREGAP_SECTORS));
    }
    return read;
}

// As a player places the sheet's indexes on the disc: each FILE after the previous one (its length from
// the file's size), a PREGAP as silence before the track's INDEX 01. Track -> index -> LSN, and the
// lead-out as track 0.
std::map<int, std::map<int, int32_t>> placeIndexes(const QString &sheet)
{
    std::map<int, std::map<int, int32_t>> at;
    QFile in(sheet);
    if (!in.open(QIODevice::ReadOnly))
        return at;
    int32_t fileStart = 0, end = 0;
    int track = 0;
    for (const QString &line : QString::fromUtf8(in.readAll()).split("\r\n", Qt::SkipEmptyParts)) {
        const QStringList words = line.trimmed().split(' ');
        const auto sectors = [](const QString &time) {
            const QStringList mmssff = time.split(':');
            return (mmssff[0].toInt() * 60 + mmssff[1].toInt()) * 75 + mmssff[2].toInt();
        };
        if (words[0] == "FILE") {
            fileStart = end;
            end += int32_t(QFileInfo(QFileInfo(sheet).dir(), line.section('"', 1, 1)).size() / 2352);
        } else if (words[0] == "TRACK") {
            track = words[1].toInt();
        } else if (words[0] == "PREGAP") {
            at[track][0] = fileStart;
            fileStart += sectors(words[1]);
            end += sectors(words[1]);
        } else if (words[0] == "INDEX") {
            at[track][words[1].toInt()] = fileStart + sectors(words[2]);
        }
    }
    at[0][1] = end;
    return at;
}

} // namespace

// Discs as their tables of contents give them, ripped one file per track (and one for the audio before
// track 1 when it was extracted): the sheet places every index where it is on the disc, the lead-out
// after the last file, and libcdio reads the tracks, catalog, ISRCs, pre-emphasis and titles from it.
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
        {"plain", 0, false, {{0}, {300}, {450}}, 600, "", "MCN -; 1 - \"-\" -; 2 - \"-\" -; 3 - \"-\" -"},
        // (libcdio reports no pre-gap where INDEX 00 and INDEX 01 have one time, each in its file.)
        {"hidden audio extracted", 200, true, {{200}, {500}}, 700, "", "MCN -; 1 - \"-\" -; 2 - \"-\" -"},
        {"hidden audio not extracted",
         200,
         false,
         {{200}, {500}},
         700,
         "",
         "MCN -; 1 - \"-\" -; 2 - \"-\" -"},
        {"gaps before tracks 2 and 3",
         0,
         false,
         {{0}, {400, 150}, {700, 32}},
         1000,
         "",
         "MCN -; 1 - \"-\" -; 2 - \"-\" 250; 3 - \"-\" 268"},
        {"index 02", 0, false, {{0}, {300, 0, {100, 120}}}, 900, "", "MCN -; 1 - \"-\" -; 2 - \"-\" -"},
        {"ISRCs and catalog",
         0,
         false,
         {{0, 0, {}, "ITA012300001"}, {300, 0, {}, "IT-A01-23-00002"}, {450, 0, {}, "USRC17607839"}},
         600,
         "8012345678901",
         "MCN 8012345678901; 1 ITA012300001 \"-\" -; 2 - \"-\" -; 3 USRC17607839 \"-\" -"},
        {"a catalog that is none", 0, false, {{0}}, 75, "80123", "MCN -; 1 - \"-\" -"},
        {"pre-emphasis",
         0,
         false,
         {{0, 0, {}, "", "", true}, {300}, {450, 75, {}, "", "", true}},
         600,
         "",
         "MCN -; 1 - PRE \"-\" -; 2 - \"-\" -; 3 - PRE \"-\" 75"},
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
        EXPECT_EQ(placeIndexes(sheet.fileName()), expected) << disc.name;
        EXPECT_EQ(readByLibcdio(sheet.fileName()).toStdString(), disc.libcdio.toStdString()) << disc.name;
    }
    cdio_log_set_handler(logged);
}
