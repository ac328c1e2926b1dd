#include "rip/ExtractionPlan.h"
#include "rip/TrackFileNames.h"

#include <gtest/gtest.h>

// Titles from a disc database name files: nothing in them may cut a name short (a NUL), hide it or make
// it a folder (dots), lead out of the folder, bring control characters along or show as another name
// (marks that turn the text's direction); a title that leaves no name gives the track's caption; one too
// long is cut to 255 bytes with its extension and suffix, whole characters only.
TEST(TrackFileNames, HostileTitlesGiveCleanNamesOfTheirOwn)
{
    const QChar nul(0);
    const QString notes = "x" + QString("\U0001F3B5").repeated(100);
    const std::pair<QString, QString> rows[] = {
        {"Song One.mp3" + QString(nul), "Song One.mp3"},
        {"Same" + QString(nul) + "one", "Sameone"},
        {"\x1b[31mRed\x1b[0m\t\x7f", "[31mRed[0m"},
        {" .. ", "Track 04"},
        {"../../etc/passwd", "-..-etc-passwd"},
        {". hidden .", "hidden"},
        {notes, "x" + QString("\U0001F3B5").repeated(62)}, // 401 bytes, four a note
        {notes, "x" + QString("\U0001F3B5").repeated(61) + " (2)"},
        // Titles that differ only in halves of surrogate pairs give one name as the file system sees it.
        {"Song" + QString(QChar(0xd800)), "Song\ufffd"},
        {"Song" + QString(QChar(0xd801)), "Song\ufffd (2)"},
        {"Song" + QString(QChar(0xdc00)), "Song\ufffd (3)"},
        {"\u202eevil\u202dcod.exe", "evilcod.exe"},
        {"a\u200eb\u200fc\u202a\u202b\u202c\u2066d\u2067\u2068\u2069\u061c", "abcd"},
    };
    TTrackFileNames names;
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(names.Next("/f/", rows[i].first, QString("Track %1").arg(i + 1, 2, 10, QChar('0')), ".wav",
                             ".wav"),
                  "/f/" + rows[i].second + ".wav");
}

// "Nomi dei file": a pattern gives each track's folders and name from its row, the log goes beside the
// first track. A value never makes a folder of its own nor leads out of the destination; an unknown
// artist or album still gives a folder, a missing year or disc number goes with what joins it. With the
// compatible option, what FAT, exFAT and NTFS refuse is replaced (characters, device names, a blank or
// dot at the end, where a cut may leave one); without it, "%T" names files as it always did.
TEST(TrackFileNames, PatternsGiveFoldersAndNamesThatTravel)
{
    const QString label = "Artista / Album: live" + QString(QChar(0)) + "\x1b.",
                  finale = "Finale: pi\u00f9 mosso?";
    const QString cut = QString(249, 'x') + " yz", lost = "Artista sconosciuto/Album sconosciuto/";
    const Mp3TagFields album{.track = "1/9", .artist = "Artista", .album = "Album"};
    const struct {
        const char *pattern;
        bool portable;
        QString title, label;
        int trackNum;
        Mp3TagFields tags;
        QString file, log{}; // under the destination; an empty log is not looked at
    } cases[] = {
        // clang-format off
        {"%T", false, finale, label, 1, {}, finale + ".flac", "Artista - Album: live.log"},
        {"%T", true, finale, label, 1, {}, "Finale- pi\u00f9 mosso_.flac", "Artista - Album- live.log"},
        {"%T", true, "<\"a\\b|c*\">", {}, 1, {}, "_'a-b-c_'_.flac"},
        {"%N - %T", true, "Intro", {}, 3, {.track = "3/12"}, "03 - Intro.flac"},
        {"%N - %T", true, "Traccia nascosta", {}, 0, {}, "00 - Traccia nascosta.flac"},
        {"%N%% %Q %T", true, "Intro", {}, 3, {}, "03% %Q Intro.flac"},
        {"%B/%L/%N - %T", true, finale, {}, 1, album, "Artista/Album/01 - Finale- pi\u00f9 mosso_.flac",
         "Artista/Album/QUARLE.log"},
        {"%B/%L/%N - %T", true, "", " . ", 1, {.track = "1/9"}, lost + "01 - Track 01.flac",
         lost + "QUARLE.log"},
        {"%B/%A - %T/", true, "Brano", {}, 1, {.artist = "Autore", .albumArtist = "Vari"},
         "Vari/Autore - Brano/Brano.flac"},
        {"%L (%Y)/%D-%N %T", true, "Brano", {}, 2, {.album = "Album"}, "Album/02 Brano.flac"},
        {"%L (%Y)/%D-%N %T", true, "Brano", {}, 2, {.album = "Album", .year = "1999", .disc = "1/2"},
         "Album (1999)/1-02 Brano.flac"},
        {"%L/%T", true, "Andante / Allegro", {}, 1, {.album = "AC/DC"}, "AC-DC/Andante - Allegro.flac"},
        {"../%T/../%L", true, "x", {}, 1, {.album = ".."}, "x/Album sconosciuto.flac"},
        {"%L/%T", true, "con.live", {}, 1, {.album = "Aux"}, "Aux_/con_.live.flac"},
        {"%L/%T", false, "con.live", {}, 1, {.album = "Aux"}, "Aux/con.live.flac"},
        {"%L/%T", true, cut, {}, 1, {.album = QString(300, 'a')},
         QString(255, 'a') + "/" + cut.left(249) + ".flac"},
        {"%T", false, cut, {}, 1, {}, cut.left(250) + ".flac"},
        // clang-format on
    };
    for (const auto &c : cases) {
        TExtractionPlan plan;
        plan.folder = "/f/";
        plan.format = AudioFormat::Flac;
        plan.namePattern = c.pattern;
        plan.portableNames = c.portable;
        plan.discLabel = c.label;
        const QString caption = QString("Track %1").arg(c.trackNum, 2, 10, QChar('0'));
        plan.rows.push_back({0, uint16_t(c.trackNum), c.title, caption, {}, c.tags});
        NameFiles(plan, false);
        EXPECT_EQ(AudioFile(plan, plan.rows[0]).toStdString(), ("/f/" + c.file).toStdString()) << c.pattern;
        EXPECT_TRUE(c.log.isEmpty() || plan.logFile == "/f/" + c.log) << plan.logFile.toStdString();
    }
}
