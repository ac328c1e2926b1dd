#include "lookup/Cddb.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

const std::string Prefix = "http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=";
const std::string Greeting = "&hello=quarle+localhost+QUARLE+1.0&proto=4";

QStringList lines(const char *text)
{
    return QString::fromLatin1(text).split('\n');
}

// Scans a document into a map index -> title, in the order the lines store them.
std::map<int, std::string> scan(const QStringList &document, std::string *error = nullptr)
{
    std::map<int, std::string> titles;
    try {
        Cddb::ScanTitles(document,
                         [&titles](int index, const QString &title) { titles[index] = title.toStdString(); });
    } catch (const EConvertError &e) {
        if (error)
            *error = e.what();
    }
    return titles;
}

} // namespace

TEST(Cddb, QueryUrlCarriesIdCountOffsetsAndLength)
{
    const QString url = Cddb::QueryUrl("1202e203", {150, 18787, 40512}, 738);
    EXPECT_EQ(url.toStdString(), Prefix + "cddb+query+1202e203+3+150+18787+40512+738" + Greeting);

    // N tracks make N + 3 words after "cmd=cddb+query" and before the greeting.
    for (size_t n : {1u, 2u, 14u, 99u}) {
        std::vector<uint32_t> offsets;
        for (size_t i = 0; i < n; ++i)
            offsets.push_back(uint32_t(150 + i * 1000));
        const QString q = Cddb::QueryUrl("00000000", offsets, 1);
        const QString command = q.section("cmd=cddb+query+", 1).section("&hello=", 0, 0);
        EXPECT_EQ(size_t(command.split('+').size()), n + 3) << n;
        EXPECT_FALSE(command.contains("++")) << n;
    }
}

TEST(Cddb, ReadUrlEndsWithPlusAndCannotBeBentByTheCategory)
{
    struct Case {
        const char *category;
        std::string expected;
    } cases[] = {
        {"rock", Prefix + "cddb+read+rock+1202e203+" + Greeting},
        // No match: an empty category, so two "+" in a row.
        {"", Prefix + "cddb+read++1202e203+" + Greeting},
        // A category from a hostile answer must not add parameters, end the command or break the
        // request line.
        {"a&proto=1#x", Prefix + "cddb+read+a%26proto%3D1%23x+1202e203+" + Greeting},
        {"mi+sc%", Prefix + "cddb+read+mi%2Bsc%25+1202e203+" + Greeting},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Cddb::ReadUrl(c.category, "1202e203").toStdString(), c.expected) << c.category;
}

TEST(Cddb, QueryAnswersGiveCategoryAndTitle)
{
    struct Case {
        const char *name;
        const char *answer;
        bool success;
        bool found;
        const char *category;
        const char *title;
    } cases[] = {
        {"exact", "200 rock 1202e203 Some Artist / Some Album", true, true, "rock",
         "Some Artist / Some Album"},
        {"exact, title with spaces kept", "200 misc 0a00bc02 A  B ", true, true, "misc", "A  B "},
        // Missing words: the text is not shortened further, the category needs a space after it.
        {"two words", "200 rock", true, true, "", "rock"},
        {"three words", "200 rock 1202e203", true, true, "rock", "1202e203"},
        {"no match", "202 No match for disc ID 1202e203.", false, false, "", ""},
        {"exact list",
         "210 Found exact matches, list follows (until terminating `.')\n"
         "jazz 1202e203 First Artist / First Album\n"
         "rock 1202e203 Second Artist / Second Album\n.",
         true, true, "jazz", "First Artist / First Album"},
        {"inexact list",
         "211 Found inexact matches, list follows (until terminating `.')\n"
         "classical 1202e204 Orchestra / Symphonies\n.",
         true, true, "classical", "Orchestra / Symphonies"},
        {"empty list", "211 Found inexact matches, list follows (until terminating `.')\n.", true, false, "",
         ""},
        {"list cut short", "210 Found exact matches", true, false, "", ""},
        {"status word alone", "200", false, false, "", ""},
        {"empty document", "", false, false, "", ""},
        {"proxy page", "<HTML><BODY>Proxy error</BODY></HTML>", false, false, "", ""},
        {"server error", "500 Command syntax error", false, false, "", ""},
    };
    for (const Case &c : cases) {
        const QStringList document = lines(c.answer);
        EXPECT_EQ(Cddb::IsSuccess(Cddb::StatusWord(document)), c.success) << c.name;
        const CddbMatch match = Cddb::QueryMatch(document);
        EXPECT_EQ(match.found, c.found) << c.name;
        EXPECT_EQ(match.category.toStdString(), c.category) << c.name;
        if (c.found) {
            EXPECT_EQ(match.title.toStdString(), c.title) << c.name;
        }
    }
}

TEST(Cddb, TitleLinesAreScannedUpToTheEndLine)
{
    using Titles = std::map<int, std::string>;
    struct Case {
        const char *name;
        const char *entry;
        Titles titles;
    } cases[] = {
        {"plain entry",
         "210 rock 1202e203 CD database entry follows (until terminating `.')\n"
         "# xmcd\n#\nDISCID=1202e203\nDTITLE=Some Artist / Some Album\nDYEAR=1999\n"
         "TTITLE0=Intro\nTTITLE1=Song\nTTITLE2=Outro\nEXTD=\nEXTT0=\nPLAYORDER=\n.",
         {{0, "Intro"}, {1, "Song"}, {2, "Outro"}}},
        {"empty title", "200 x\nTTITLE1=\n.", {{1, ""}}},
        {"later line replaces", "200 x\nTTITLE2=Part A\nTTITLE2=Part B\n.", {{2, "Part B"}}},
        {"equals signs in the title", "200 x\nTTITLE0=E=mc2 = fame\n.", {{0, "E=mc2 = fame"}}},
        {"title taken unchanged",
         "200 x\nTTITLE0=  spaced \\n caf\xe9 \n.",
         {{0, "  spaced \\n caf\xc3\xa9 "}}},
        {"lines after the end line",
         "200 x\nTTITLE0=Kept\n.\nTTITLE1=Not examined\nTTITLE0=Nor this",
         {{0, "Kept"}}},
        {"no end line", "200 x\nTTITLE0=One\nTTITLE1=Two", {{0, "One"}, {1, "Two"}}},
        {"keyword is case-sensitive and at the start", "200 x\nttitle0=no\n TTITLE1=no\nDTITLE=no\n.", {}},
        {"status line is not a title", "TTITLE0=status\nTTITLE1=body\n.", {{1, "body"}}},
        {"negative and large indexes pass through",
         "200 x\nTTITLE-1=a\nTTITLE+7=b\nTTITLE2147483647=c\n.",
         {{-1, "a"}, {7, "b"}, {2147483647, "c"}}},
    };
    for (const Case &c : cases) {
        std::string error;
        EXPECT_EQ(scan(lines(c.entry), &error), c.titles) << c.name;
        EXPECT_EQ(error, "") << c.name;
    }
}

TEST(Cddb, BadTitleIndexRaisesTheConversionErrorKeepingEarlierTitles)
{
    struct Case {
        const char *name;
        const char *entry;
        const char *message;
    } cases[] = {
        {"letters", "200 x\nTTITLE0=One\nTTITLEx=Two\nTTITLE2=Three\n.", "'x' is not a valid integer value"},
        {"no equals sign", "200 x\nTTITLE0=One\nTTITLE1 Two\n.", "'' is not a valid integer value"},
        {"empty index", "200 x\nTTITLE0=One\nTTITLE=Two\n.", "'' is not a valid integer value"},
        {"space in index", "200 x\nTTITLE0=One\nTTITLE 1=Two\n.", "' 1' is not a valid integer value"},
        {"beyond int", "200 x\nTTITLE0=One\nTTITLE2147483648=Two\n.",
         "'2147483648' is not a valid integer value"},
        {"sign alone", "200 x\nTTITLE0=One\nTTITLE-=Two\n.", "'-' is not a valid integer value"},
    };
    for (const Case &c : cases) {
        std::string error;
        const auto titles = scan(lines(c.entry), &error);
        EXPECT_EQ(error, c.message) << c.name;
        EXPECT_EQ(titles, (std::map<int, std::string>{{0, "One"}})) << c.name;
    }
    EXPECT_EQ(Cddb::ParseIndex("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(Cddb::ParseIndex("007"), 7);
}
