// Discs with what an archivist looks for, extracted whole through the session: what the rows, the cue
// sheet, the tags and the log make of each disc's layout and codes.
#include "session/DiscSession.h"

#include "CueRead.h"
#include "FlacDecode.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include "disc/Quarle.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <gtest/gtest.h>

#include <cdio/logging.h>

#include <numeric>

namespace
{

DiscTrack with(DiscTrack track, int32_t gap, double gapHz, const QString &isrc = {}, bool pre = false,
               std::vector<int32_t> indexes = {})
{
    track.gap = gap;
    track.gapFrequency = gapHz;
    track.isrc = isrc;
    track.preemphasis = pre;
    track.indexes = std::move(indexes);
    return track;
}

// As a player places the sheet's indexes on the disc: each FILE (FLAC) after the previous one, a PREGAP as
// silence before the track's INDEX 01. Track -> index -> LSN, and the lead-out as track 0.
std::map<int, std::map<int, int32_t>> placeIndexes(const QString &sheet)
{
    std::map<int, std::map<int, int32_t>> at;
    QFile in(sheet);
    in.open(QIODevice::ReadOnly);
    int32_t fileStart = 0, end = 0;
    int track = 0;
    const auto sectors = [](const QString &mmssff) {
        return (mmssff.section(':', 0, 0).toInt() * 60 + mmssff.section(':', 1, 1).toInt()) * 75 +
               mmssff.section(':', 2, 2).toInt();
    };
    for (const QString &line : QString::fromUtf8(in.readAll()).split("\r\n")) {
        const QStringList words = line.trimmed().split(' ');
        if (words[0] == "FILE") {
            fileStart = end;
            end += int32_t(DecodeFlac(QFileInfo(sheet).path() + "/" + line.section('"', 1, 1)).size() / 1176);
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

// Each disc ripped to FLAC with "Prova e copia": the hidden audio is a row numbered 0 and a file of its
// own when it is not silence; every file holds its track from INDEX 01 to the next one's; the cue sheet,
// placed as a player places its files and read by libcdio, gives back the image's indexes and codes; the
// tags carry ISRC and BARCODE; the log's table of contents gives each pre-gap, ISRC and pre-emphasis, and
// the copy of a track with a gap at its end is confirmed.
TEST(DiscSession, TheDiscsLayoutReachesRowsCueSheetTagsAndLog)
{
    const struct {
        const char *name;
        std::vector<DiscTrack> tracks;
        QString catalog;
        QStringList rows;
        QString libcdio, hidden, tocLine; // what libcdio reads; the log's line on the hidden audio; a TOC line
    } discs[] = {
        {"hidden audio, a gap before track 3, ISRCs, catalog, pre-emphasis",
         {with(DiscTrack::tone(150, 440), 100, 330, "ITA012300001"), with(DiscTrack::tone(150, 550), 0, 0, {}, true),
          with(DiscTrack::tone(150, 660), 150, 0, "USRC17607839")},
         "8012345678901",
         {"0 Traccia nascosta", "1 Track 01", "2 Track 02", "3 Track 03"},
         "MCN 8012345678901; 1 ITA012300001 \"Track 01\" -; 2 - PRE \"Track 02\" -; 3 USRC17607839 \"Track 03\" 150",
         "presente, 100 settori (traccia 0)",
         "  03  00:07:25  00:02:00  00:02:00  USRC17607839  no"},
        // A drive answers zeros for a catalogue number or ISRC that the disc does not have.
        {"a silent stretch before track 1, index 02, a data track after a gap, codes of zeros",
         {with(DiscTrack::tone(150, 440), 75, 0, "000000000000"),
          with(DiscTrack::tone(225, 550), 0, 0, {}, false, {60}), with(DiscTrack::data(300), 20, 0)},
         "0000000000000",
         {"1 Track 01", "2 Track 02"},
         "MCN -; 1 - \"Track 01\" -; 2 - \"Track 02\" -",
         "silenzio digitale, non estratto",
         "  03  00:06:20  00:04:00  00:00:20  -  dati"},
    };
    const cdio_log_handler_t logged = cdio_log_set_handler([](cdio_log_level_t, const char *) {});
    for (const auto &disc : discs) {
        TestDisc image(disc.tracks, "disc", {{}, {}, disc.catalog});
        QTemporaryDir program, out;
        TDiscSession::Services services;
        services.programDir = [path = program.path()] { return path; };
        services.fetchAccurateRipFile = [](THttpCli &, const ProxySettings &, const QString &, qint64) {
            return TFetchedFile();
        };
        TDiscSession session(services);
        session.SelectDrive(0);
        QStringList rows;
        for (const TDiscRow &row : session.Rows())
            rows << QString::number(row.trackNum) + " " + row.description;
        EXPECT_EQ(rows, disc.rows) << disc.name;
        std::vector<int> all(session.Rows().size());
        std::iota(all.begin(), all.end(), 0);
        QSignalSpy settled(&session, &TDiscSession::ExtractionSettled);
        ASSERT_TRUE(session.StartExtraction({all, out.path() + "/", AudioFormat::Flac, {}, {}, true}));
        ASSERT_TRUE(settled.wait(20000)) << disc.name;

        // The audio before track 1, and track 1 with the gap before track 2 at its end.
        const auto samples = [&](const QString &name) {
            const std::vector<int16_t> decoded = DecodeFlac(out.filePath(name));
            return QByteArray(reinterpret_cast<const char *>(decoded.data()), qsizetype(decoded.size() * 2));
        };
        EXPECT_EQ(samples("Traccia nascosta.flac") == gapAudioBytes(disc.tracks[0]), disc.rows[0].startsWith("0"))
            << disc.name;
        EXPECT_TRUE(samples("Track 01.flac") ==
                    trackAudioBytes(disc.tracks[0]) + gapAudioBytes(disc.tracks[1]))
            << disc.name;

        const QString sheet = out.filePath("QUARLE.cue");
        WavTestFile::Write(out.filePath("QUARLE.bin"), {}); // libcdio opens it, whatever the sheet names
        std::map<int, std::map<int, int32_t>> expected;
        const TOwnedStringList<TTrack> &tracks = session.Quarle().Tracks();
        for (int i = 0; i < tracks.Count(); ++i) {
            auto &at = expected[i + 1];
            at[1] = image.image().startSector(size_t(i));
            if (disc.tracks[size_t(i)].gap > 0)
                at[0] = image.image().gapSector(size_t(i));
            for (size_t k = 0; k < disc.tracks[size_t(i)].indexes.size(); ++k)
                at[int(k) + 2] = at[1] + disc.tracks[size_t(i)].indexes[k];
        }
        expected[0][1] = tracks.object(tracks.Count() - 1)->EndSector + 1;
        EXPECT_EQ(placeIndexes(sheet), expected) << disc.name;
        EXPECT_EQ(ReadCueByLibcdio(sheet).toStdString(), disc.libcdio.toStdString()) << disc.name;

        TagLib::FLAC::File tagged(qPrintable(out.filePath("Track 01.flac")));
        const TagLib::PropertyMap tags = tagged.properties();
        EXPECT_EQ(QStringList({TStringToQString(tags["ISRC"].toString()), TStringToQString(tags["BARCODE"].toString())}),
                  QStringList({QString(disc.tracks[0].isrc).remove(QRegularExpression("^0+$")),
                               QString(disc.catalog).remove(QRegularExpression("^0+$"))}))
            << disc.name;

        const QString log = WavTestFile::Read(out.filePath("QUARLE.log"));
        EXPECT_TRUE(log.contains(QRegularExpression("\nTraccia 01  Track 01.flac .*  copia confermata\n")) &&
                    log.contains("\nAudio prima della traccia 1: " + disc.hidden + "\n") &&
                    log.contains("\n" + disc.tocLine + "\n") && log.contains("\nFoglio CUE: QUARLE.cue\n"))
            << disc.name << log.toStdString();
    }
    cdio_log_set_handler(logged);
}
