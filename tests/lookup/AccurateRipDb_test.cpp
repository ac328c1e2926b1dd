#include "ScriptedHttpServer.h"
#include "lookup/AccurateRipDb.h"
#include "lookup/HttpCli.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

// Tracks from their first sectors as a disc's table of contents gives them (LBA, lead-in counted);
// a data track last.
std::vector<TDiscTocEntry> FromLba(std::vector<int32_t> audio, int32_t data = 0)
{
    std::vector<TDiscTocEntry> toc;
    for (int32_t lba : audio)
        toc.push_back({lba - 150, true});
    if (data > 0)
        toc.push_back({data - 150, false});
    return toc;
}

QByteArray Pressing(const TAccurateRipId &id, const std::vector<TAccurateRipEntry> &entries)
{
    QByteArray b(1, char(id.audioTracks));
    const auto put = [&b](quint32 v) {
        b.append(reinterpret_cast<const char *>(&(v = qToLittleEndian(v))), 4);
    };
    put(id.id1), put(id.id2), put(id.cddb);
    for (const TAccurateRipEntry &e : entries)
        b.append(char(e.confidence)), put(e.crc), put(e.frame450);
    return b;
}

} // namespace

// Published identifiers: a plain audio disc and an enhanced CD (ten audio tracks, then a data track in
// a second session, whose lead-out is the disc's).
TEST(AccurateRipDb, DiscIdentifiersFromTheTableOfContents)
{
    const std::tuple<std::vector<TDiscTocEntry>, int32_t, const char *> rows[] = {
        {FromLba({150, 11563, 25174, 45863}), 55370, "004-0002189a-00087f33-1f02e004"},
        {FromLba({150, 12767, 40487, 63225, 93410, 118115, 151865, 184340, 215260, 247455}, 281735), 333801,
         "010-00164419-00b9f6e2-9e11600b"},
    };
    for (const auto &[toc, leadOutLba, text] : rows)
        EXPECT_EQ(AccurateRipDiscId(toc, leadOutLba - 150).Text(), text);
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

    const std::tuple<int, uint32_t, uint32_t, const char *> rows[] = {
        {1, 0x0, 0x1111F00D, "accurata (fiducia 12)"},
        {2, 0x22222222, 0x22220000, "accurata (fiducia 7)"},
        {2, 0xAAAA0002, 0x1, "non accurata"}, // another disc's checksum
        {3, 0x0, 0x0, "disco assente"},       // no confidence for the track
        {4, 0x0, 0x0, "disco assente"},
    };
    for (const auto &[track, v1, v2, verdict] : rows)
        EXPECT_EQ(CompareWithAccurateRip(answer, disc, track, v1, v2).Text(), verdict) << track;
    EXPECT_EQ(CompareWithAccurateRip(std::nullopt, disc, 1, 1, 0).Text(), "non raggiungibile");
    for (const QByteArray &bad :
         {file.left(file.size() - 1), file + char(0), file.left(12), QByteArray("<html>404</html>")})
        EXPECT_FALSE(ParseAccurateRipFile(bad)) << bad.size();
}

// The file is fetched as bytes (CR and LF are data); a final 407 (no credentials to try), though it
// raises nothing and has a body, and a file of more than a mebibyte are no answer.
TEST(AccurateRipDb, FetchGivesTheBytesOrNothing)
{
    const QByteArray body("\x03\r\n\x00\r\x0a\x01", 7);
    ScriptedHttpServer server({
        {{}, {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n" + body}},
        {{}, {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 3\r\n\r\nno!"}},
        {{}, {"HTTP/1.1 200 OK\r\n\r\n", QByteArray(1024 * 1024 + 1, 'x')}, true},
    });
    THttpCli http;
    EXPECT_EQ(FetchAccurateRipFile(http, {}, server.Url("/a.bin")), body);
    EXPECT_FALSE(FetchAccurateRipFile(http, {}, server.Url("/b.bin")));
    EXPECT_FALSE(FetchAccurateRipFile(http, {}, server.Url("/c.bin")));
}
