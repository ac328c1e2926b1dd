#include "lookup/Cddb.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

const std::string Prefix = "http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=";
const std::string Greeting = "&hello=quarle+localhost+QUARLE+1.0&proto=4";

QStringList Lines(const char *text)
{
    return QString::fromLatin1(text).split('\n');
}

// The titles a document gives, by index, and the conversion error that stopped the scan.
std::map<int, std::string> Scan(const char *document, std::string &error)
{
    std::map<int, std::string> titles;
    try {
        Cddb::ScanTitles(Lines(document),
                         [&titles](int i, const QString &t) { titles[i] = t.toStdString(); });
    } catch (const EConvertError &e) {
        error = e.what();
    }
    return titles;
}

} // namespace

TEST(Cddb, QueryUrlCarriesIdCountOffsetsAndLength)
{
    EXPECT_EQ(Cddb::QueryUrl("1202e203", {150, 18787, 40512}, 738).toStdString(),
              Prefix + "cddb+query+1202e203+3+150+18787+40512+738" + Greeting);
    // N tracks make N + 3 words after "cmd=cddb+query" and before the greeting.
    for (uint32_t n : {1u, 14u, 99u}) {
        std::vector<uint32_t> offsets;
        for (uint32_t i = 0; i < n; ++i)
            offsets.push_back(150 + i * 1000);
        const QString command = Cddb::QueryUrl("00000000", offsets, 1).section("cmd=cddb+query+", 1);
        EXPECT_EQ(command.section("&hello=", 0, 0).split('+').size(), n + 3) << n;
    }
}

// A category from a hostile answer must not add parameters, end the command or break the request line.
TEST(Cddb, ReadUrlEndsWithPlusAndCannotBeBentByTheCategory)
{
    const std::pair<const char *, std::string> cases[] = {
        {"rock", "rock+1202e203+"},
        {"", "+1202e203+"}, // after no match: an empty category
        {"a&proto=1#x", "a%26proto%3D1%23x+1202e203+"},
        {"mi+sc%", "mi%2Bsc%25+1202e203+"},
    };
    for (const auto &[category, read] : cases)
        EXPECT_EQ(Cddb::ReadUrl(category, "1202e203").toStdString(), Prefix + "cddb+read+" + read + Greeting);
    // The identifier of a listed match comes from the server too.
    EXPECT_EQ(Cddb::ReadUrl("rock", "1&x=+").toStdString(),
              Prefix + "cddb+read+rock+1%26x%3D%2B+" + Greeting);
}

TEST(Cddb, QueryAnswersGiveCategoryAndTitle)
{
    struct Case {
        const char *answer;
        bool success, found;
        const char *category, *title, *discId = "";
    } cases[] = {
        {"200 rock 1202e203 Some Artist / Some Album", true, true, "rock", "Some Artist / Some Album"},
        {"200 misc 0a00bc02 A  B ", true, true, "misc", "A  B "},
        // Missing words: the category needs a space after it.
        {"200 rock", true, true, "", "rock"},
        {"202 No match for disc ID 1202e203.", false, false, "", ""},
        {"210 Found exact matches, list follows\njazz 1202e203 First / One\nrock 1202e203 Second / Two\n.",
         true, true, "jazz", "First / One", "1202e203"},
        {"211 Found inexact matches, list follows\nclassical 1202e204 Orchestra / Symphonies\n.", true, true,
         "classical", "Orchestra / Symphonies", "1202e204"},
        {"211 Found inexact matches, list follows\n.", true, false, "", ""},
        {"210 Found exact matches", true, false, "", ""},
        {"", false, false, "", ""},
        {"<HTML><BODY>Proxy error</BODY></HTML>", false, false, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(Cddb::IsSuccess(Cddb::StatusWord(Lines(c.answer))), c.success);
        const CddbMatch match = Cddb::QueryMatch(Lines(c.answer));
        EXPECT_EQ(match.found, c.found);
        EXPECT_EQ(match.category.toStdString(), c.category);
        EXPECT_EQ(match.discId.toStdString(), c.discId);
        if (c.found) {
            EXPECT_EQ(match.title.toStdString(), c.title);
        }
    }
}

TEST(Cddb, TitleLinesAreScannedUpToTheEndLine)
{
    const std::pair<const char *, std::map<int, std::string>> cases[] = {
        {"210 rock 1202e203 CD database entry follows\n# xmcd\nDISCID=1202e203\nDTITLE=Artist / Album\n"
         "TTITLE0=Intro\nTTITLE1=Song\nEXTD=\nEXTT0=\n.",
         {{0, "Intro"}, {1, "Song"}}},
        {"200 x\nTTITLE1=\n.", {{1, ""}}},
        // A long title goes on in further lines of its keyword.
        {"200 x\nTTITLE2=Part A, \nTTITLE1=B\nTTITLE2=Part B\n.", {{1, "B"}, {2, "Part A, Part B"}}},
        {"200 x\nTTITLE0=E=mc2 = fame\n.", {{0, "E=mc2 = fame"}}},
        {"200 x\nTTITLE0=  spaced caf\xe9 \n.", {{0, "  spaced caf\xc3\xa9 "}}},
        {"200 x\nTTITLE0=Kept\n.\nTTITLE1=Not examined\nTTITLE0=Nor this", {{0, "Kept"}}},
        {"200 x\nTTITLE0=One\nTTITLE1=Two", {{0, "One"}, {1, "Two"}}},
        {"TTITLE0=status line\nttitle1=no\n TTITLE2=no\n.", {}},
    };
    for (const auto &[document, titles] : cases) {
        std::string error;
        EXPECT_EQ(Scan(document, error), titles) << document;
        EXPECT_EQ(error, "") << document;
    }
}

TEST(Cddb, BadTitleIndexRaisesTheConversionErrorKeepingEarlierTitles)
{
    const std::pair<const char *, const char *> cases[] = {
        {"TTITLEx=Two", "'x' is not a valid integer value"},
        {"TTITLE1 Two", "'' is not a valid integer value"},
        {"TTITLE2147483648=Two", "'2147483648' is not a valid integer value"},
        {"TTITLE-=Two", "'-' is not a valid integer value"},
    };
    for (const auto &[line, message] : cases) {
        std::string error;
        const std::string document = "200 x\nTTITLE0=One\n" + std::string(line) + "\nTTITLE2=Three\n.";
        EXPECT_EQ(Scan(document.c_str(), error), (std::map<int, std::string>{{0, "One"}})) << line;
        EXPECT_EQ(error, message) << line;
    }
}

// The disc's data for the files' tags: DTITLE split at its first " / ", pieces joined, and on a
// compilation each "Artist / Title" track split into its own artist and title.
TEST(Cddb, EntryGivesArtistAlbumYearGenreAndCompilationArtists)
{
    struct Case {
        const char *document;
        const char *artist, *album, *year, *genre;
        const char *track1Artist, *track1Title;
    } cases[] = {
        {"210 rock 1202e203\nDTITLE=Ensemble / Prove / Due\nDYEAR=1999\nDGENRE=Rock\nTTITLE0=A\n"
         "TTITLE1=Andante / Allegro\n.\nDYEAR=2000",
         "Ensemble", "Prove / Due", "1999", "Rock", "", "Andante / Allegro"},
        {"210 misc 1202e203\nDTITLE=VARIOUS ARTISTS / Hits of the\nDTITLE= Year\nTTITLE1=Someone / Some\n"
         "TTITLE1=thing / else\n.",
         "VARIOUS ARTISTS", "Hits of the Year", "", "", "Someone", "Something / else"},
        {"210 misc 1202e203\nDTITLE=Various / Mix\nTTITLE1=No artist here\n.", "Various", "Mix", "", "", "",
         "No artist here"},
        {"210 misc 1202e203\nDTITLE=Live at Home\nDGENRE=Jazz\nTTITLE1=X / Y\n.", "Live at Home",
         "Live at Home", "", "Jazz", "", "X / Y"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        const CddbEntry entry = Cddb::ReadEntry(Lines(c.document));
        EXPECT_EQ(std::tuple(entry.artist.toStdString(), entry.album.toStdString(), entry.year.toStdString(),
                             entry.genre.toStdString()),
                  std::tuple(std::string(c.artist), std::string(c.album), std::string(c.year),
                             std::string(c.genre)));
        const CddbTrackTitle track = entry.tracks.at(1);
        EXPECT_EQ(std::pair(track.artist.toStdString(), track.title.toStdString()),
                  std::pair(std::string(c.track1Artist), std::string(c.track1Title)));
    }
}
