#include "lookup/Cddb.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

const QString Prefix = "http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=";
const QString Greeting = "&hello=quarle+localhost+QUARLE+1.0&proto=4";

} // namespace

// The server's category and listed identifier cannot add parameters or end the command.
TEST(Cddb, ReadUrlCannotBeBentByTheServersWords)
{
    const std::tuple<const char *, const char *, QString> cases[] = {
        {"rock", "1202e203", "rock+1202e203+"},
        {"a&proto=1#x", "1202e203", "a%26proto%3D1%23x+1202e203+"},
        {"mi+sc%", "1&x=+", "mi%2Bsc%25+1%26x%3D%2B+"},
    };
    for (const auto &[category, id, read] : cases)
        EXPECT_EQ(Cddb::ReadUrl(category, id), Prefix + "cddb+read+" + read + Greeting);
}

// A 210 list gives its first match, with its own category and identifier; an empty one none.
TEST(Cddb, QueryAnswersGiveCategoryAndTitle)
{
    const std::tuple<const char *, bool, QString, QString, QString> cases[] = {
        // answer, found, category, identifier, title
        {"210 Found exact matches, list follows\njazz 1202e203 First / One\nrock 1202e203 Second\n.", true,
         "jazz", "1202e203", "First / One"},
        {"211 Found inexact matches, list follows\n.", false, "", "", ""},
    };
    for (const auto &[answer, found, category, discId, title] : cases) {
        const CddbMatch match = Cddb::QueryMatch(QString(answer).split('\n'));
        EXPECT_EQ(std::tuple(match.found, match.category, match.discId, found ? match.title : ""),
                  std::tuple(found, category, discId, title))
            << answer;
    }
}

// Titles up to the end line; a long title goes on in further lines of its keyword; a bad index stops
// the scan with the conversion error, keeping the titles before it.
TEST(Cddb, TitleLinesAreScannedUpToTheEndLine)
{
    const std::tuple<const char *, std::map<int, std::string>, std::string> cases[] = {
        {"200 x\nTTITLE2=Part A, \nTTITLE1=B\nTTITLE2=Part B\n.", {{1, "B"}, {2, "Part A, Part B"}}, ""},
        {"200 x\nTTITLE0=  E=mc2 caf\xe9 \n.", {{0, "  E=mc2 caf\xc3\xa9 "}}, ""},
        {"TTITLE0=status line\nttitle1=no\nTTITLE1=Kept\n.\nTTITLE2=Not examined", {{1, "Kept"}}, ""},
        {"x\nTTITLE0=One\nTTITLE2147483648=", {{0, "One"}}, "'2147483648' is not a valid integer value"},
    };
    for (const auto &[document, titles, error] : cases) {
        std::map<int, std::string> scanned;
        std::string raised;
        try {
            Cddb::ScanTitles(QString::fromLatin1(document).split('\n'),
                             [&](int i, const QString &t) { scanned[i] = t.toStdString(); });
        } catch (const EConvertError &e) {
            raised = e.what();
        }
        EXPECT_EQ(std::pair(scanned, raised), std::pair(titles, error)) << document;
    }
}
