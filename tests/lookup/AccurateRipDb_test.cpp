#include "ScriptedHttpServer.h"
#include "lookup/AccurateRipDb.h"
#include "lookup/HttpCli.h"

#include <gtest/gtest.h>

namespace
{

std::vector<TDiscTocEntry> FromLba(std::vector<int32_t> audio, int32_t data = 0)
{
    std::vector<TDiscTocEntry> toc;
    for (int32_t lba : audio)
        toc.push_back({lba - 150, true});
    if (data > 0)
        toc.push_back({data - 150, false});
    return toc;
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

// The file comes as bytes (CR, LF are data); a 404 is the database's word that it has no such disc; a
// final 407, a 401 (never answered with the proxy page's credentials), a file over a mebibyte, another
// status is no answer.
TEST(AccurateRipDb, FetchGivesTheBytesTheDatabasesNoOrNothing)
{
    const QByteArray body("\x03\r\n\x00\r\x0a\x01", 7);
    ScriptedHttpServer server({
        {{}, {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n" + body}},
        {{}, {"HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!"}},
        {{}, {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 3\r\n\r\nno!"}},
        {{}, {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=x\r\nContent-Length: 0\r\n\r\n"}},
        {{}, {"HTTP/1.1 200 OK\r\n\r\n", QByteArray(1024 * 1024 + 1, 'x')}, true},
        {{}, {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"}},
    });
    THttpCli http;
    using F = TFetchedFile;
    const std::pair<F::Kind, QByteArray> expected[] = {{F::Found, body},     {F::Absent, {}},
                                                       {F::Unreachable, {}}, {F::Unreachable, {}},
                                                       {F::Unreachable, {}}, {F::Unreachable, {}}};
    for (const auto &[kind, bytes] : expected) {
        const F got = FetchFile(http, {"", "", "user", "pass"}, server.Url("/f.bin"), kSmallFileBytes);
        EXPECT_EQ(std::pair(got.kind, got.bytes), std::pair(kind, bytes));
    }
    for (const QByteArray &request : server.Requests())
        EXPECT_FALSE(request.contains("Authorization:"));
    // A cover: up to 4 MiB, and only a JPEG or PNG image.
    const QByteArray jpeg = "\xff\xd8\xff" + QByteArray(3 << 20, 'j'), png = "\x89PNG\r\n\x1a\n" + QByteArray(9, 'p');
    // clang-format off
    for (const auto &[image, type] : {std::pair{jpeg, "image/jpeg"}, {png, "image/png"}, {QByteArray("<html>"), ""},
                                      {jpeg + QByteArray(1 << 20, 'j'), ""}}) {
        ScriptedHttpServer cover(QList<ScriptedExchange>{{{}, {"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(image.size()) + "\r\n\r\n" + image}}});
        EXPECT_EQ(CoverImage(FetchFile(http, {}, cover.Url("/c"), kCoverBytes)).second, type);
    }
    // clang-format on
}
