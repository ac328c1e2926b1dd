#include "ScriptedHttpServer.h"
#include "lookup/AccurateRipDb.h"
#include "lookup/HttpCli.h"

#include <gtest/gtest.h>

namespace
{

// Tracks from their first sectors as a disc's table of contents gives them (LBA, lead-in counted);
// a data track first or last.
std::vector<TDiscTocEntry> FromLba(std::vector<int32_t> audio, int32_t data = 0, bool dataFirst = false)
{
    std::vector<TDiscTocEntry> toc;
    for (int32_t lba : audio)
        toc.push_back({lba - 150, true});
    if (data > 0)
        toc.insert(dataFirst ? toc.begin() : toc.end(), {data - 150, false});
    return toc;
}

void Put32(QByteArray &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i)));
}

QByteArray Pressing(const TAccurateRipId &id, const std::vector<TAccurateRipEntry> &entries)
{
    QByteArray b;
    b.append(char(id.audioTracks));
    Put32(b, id.id1);
    Put32(b, id.id2);
    Put32(b, id.cddb);
    for (const TAccurateRipEntry &e : entries) {
        b.append(char(e.confidence));
        Put32(b, e.crc);
        Put32(b, e.frame450);
    }
    return b;
}

} // namespace

// Published identifiers: a plain audio disc, an enhanced CD (ten audio tracks, then a data track in
// a second session) and a mixed-mode CD (a data track, then 28 audio tracks).
TEST(AccurateRipDb, DiscIdentifiersAndUrlFromTheTableOfContents)
{
    const struct {
        std::vector<TDiscTocEntry> toc;
        int32_t leadOutLba;
        const char *text;
    } rows[] = {
        {FromLba({150, 11563, 25174, 45863}), 55370, "004-0002189a-00087f33-1f02e004"},
        {FromLba({150, 12767, 40487, 63225, 93410, 118115, 151865, 184340, 215260, 247455}, 281735), 333801,
         "010-00164419-00b9f6e2-9e11600b"},
        {FromLba({66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916, 151852,
                  160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746, 226384,
                  232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674},
                 150, true),
         261976, "028-00517a54-05a845d2-af0da31d"},
    };
    for (const auto &row : rows) {
        const TAccurateRipId id = AccurateRipDiscId(row.toc, row.leadOutLba - 150);
        EXPECT_EQ(id.Text(), row.text);
    }
    EXPECT_EQ(AccurateRipDiscId(rows[1].toc, rows[1].leadOutLba - 150).Url(),
              "http://www.accuraterip.com/accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin");
}

// A file with two pressings of the disc (one of them v2) and one of another disc: each track is
// judged on the entries of this disc only; a file cut short or with trailing bytes is no answer.
TEST(AccurateRipDb, VerdictsFromAFileOfPressings)
{
    const TAccurateRipId disc{3, 0x1234, 0x5678, 0x9abcdef0};
    const TAccurateRipId other{3, 0x1234, 0x5679, 0x9abcdef0};
    QByteArray file = Pressing(disc, {{5, 0x11111111, 1}, {5, 0x22222222, 2}, {0, 0, 0}});
    file += Pressing(other, {{9, 0xAAAA0001, 0}, {9, 0xAAAA0002, 0}, {9, 0xAAAA0003, 0}});
    file += Pressing(disc, {{12, 0x1111F00D, 1}, {7, 0x22220000, 2}, {0, 0, 0}});
    const auto answer = ParseAccurateRipFile(file);
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->size(), 3u);

    const struct {
        std::optional<std::vector<TAccurateRipPressing>> answer;
        int track;
        uint32_t v1, v2;
        const char *verdict;
    } rows[] = {
        {answer, 1, 0x11111111, 0x0, "accurata (fiducia 5)"},
        {answer, 1, 0x0, 0x1111F00D, "accurata (fiducia 12)"},
        {answer, 2, 0x22222222, 0x22220000, "accurata (fiducia 7)"},
        {answer, 2, 0x22222223, 0x1, "non accurata"},
        {answer, 2, 0xAAAA0002, 0x1, "non accurata"}, // another disc's checksum
        {answer, 3, 0x0, 0x0, "disco assente"},       // no confidence for the track
        {answer, 4, 0x0, 0x0, "disco assente"},
        {ParseAccurateRipFile(Pressing({1, 0x1234, 0x5678, 0x9abcdef1}, {{9, 1, 0}})), 1, 1, 1,
         "disco assente"},
        {ParseAccurateRipFile(QByteArray()), 1, 1, 1, "disco assente"},
        {std::nullopt, 1, 0x11111111, 0, "non raggiungibile"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(CompareWithAccurateRip(row.answer, disc, row.track, row.v1, row.v2).Text(), row.verdict)
            << row.track;

    for (const QByteArray &bad :
         {file.left(file.size() - 1), file + char(0), file.left(12), QByteArray("<html>404</html>")})
        EXPECT_FALSE(ParseAccurateRipFile(bad)) << bad.size();
}

// The file is fetched as bytes (CR and LF are data); a final 407 (no credentials to try) is no answer,
// though it raises nothing and has a body.
TEST(AccurateRipDb, FetchGivesTheBytesOrNothing)
{
    const QByteArray body("\x03\r\n\x00\r\x0a\x01", 7);
    ScriptedHttpServer server({
        {{}, {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n" + body}},
        {{}, {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 3\r\n\r\nno!"}},
    });
    THttpCli http;
    EXPECT_EQ(FetchAccurateRipFile(http, {}, server.Url("/a.bin")), body);
    EXPECT_FALSE(FetchAccurateRipFile(http, {}, server.Url("/b.bin")));
}
