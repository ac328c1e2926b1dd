#include "rip/RipVerification.h"
#include "rip/TrackFileNames.h"

#include <gtest/gtest.h>

// Titles from a disc database name files: nothing in them may cut a name short (a NUL), hide it or make
// it a folder (dots), lead out of the folder, bring control characters along or show as another name
// (marks that turn the text's direction); a title that leaves no name gives the track's caption, the
// log's "QUARLE"; one too long is cut to 255 bytes with its extension and suffix, whole characters only.
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
    EXPECT_EQ(TRipVerification::LogFileName("Artista / Album" + QString(nul) + "\x1b."),
              "Artista - Album.log");
    EXPECT_EQ(TRipVerification::LogFileName(" . "), "QUARLE.log");
}
