#include "lookup/HttpResponseParser.h"

#include <gtest/gtest.h>

namespace
{

struct Outcome {
    QByteArray body;
    QByteArray leftover;
};

// Feeds input as it would arrive in pieces of pieceSize bytes, keeping what the parser leaves
// unconsumed in front of the next piece, as the client's socket buffer does.
Outcome FeedInPieces(HttpResponseParser &parser, const QByteArray &input, int pieceSize, bool closeAtEnd)
{
    Outcome out;
    QByteArray pending;
    for (qsizetype at = 0; at < input.size(); at += pieceSize) {
        pending += input.mid(at, pieceSize);
        if (!parser.Complete() && !parser.Failed())
            pending.remove(0, parser.Feed(pending, out.body));
    }
    if (closeAtEnd)
        parser.ConnectionClosed();
    out.leftover = pending;
    return out;
}

} // namespace

TEST(HttpResponseParser, BodiesAreFramedAsTheHeaderSays)
{
    struct Case {
        const char *name;
        QByteArray input;
        bool closeAtEnd;
        int status;
        QByteArray body;
        bool complete;
        bool keepAlive;
        QByteArray leftover;
    };
    const Case cases[] = {
        {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, 200, "hello", true,
         true, ""},
        {"content length, the next response stays",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcHTTP/1.1 204", false, 200, "abc", true, true,
         "HTTP/1.1 204"},
        {"chunked, with extension and trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n6\r\n "
         "world\r\nA\r\n0123456789"
         "\r\n0\r\nX-Trailer: 1\r\n\r\n",
         false, 200, "hello world0123456789", true, true, ""},
        {"chunked, bare line feeds", "HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\n3\nabc\n0\n\n", false,
         200, "abc", true, true, ""},
        {"chunked wins over a content length",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         false, 200, "abc", true, true, ""},
        {"until close, also on HTTP/1.1",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nline 1\r\nline 2", true, 200, "line 1\r\nline 2",
         true, false, ""},
        {"until close, not yet closed", "HTTP/1.1 200 OK\r\n\r\npart", false, 200, "part", false, false, ""},
        {"content length not a number counts as absent", "HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nxyz",
         true, 200, "xyz", true, false, ""},
        {"100 before the answer",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false, 200, "ok",
         true, true, ""},
        {"header-less document", "<html><body>\r\nno header</body></html>", true, 200,
         "<html><body>\r\nno header</body></html>", true, false, ""},
        {"stray line break before the status line", "\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx",
         false, 200, "x", true, true, ""},
        {"204 never has a body", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", false, 204, "", true,
         true, ""},
        {"401 without length has none", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", false,
         401, "", true, true, ""},
        {"407 page of an HTTP/1.0 proxy runs to the close",
         "HTTP/1.0 407 Proxy Authentication Required\r\nConnection: close\r\n\r\n<html>login</html>", true,
         407, "<html>login</html>", true, false, ""},
        {"302 with length 0", "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n", false, 302,
         "", true, true, ""},
        {"HTTP/1.0 closes", "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, 200, "x", true, false,
         ""},
        {"HTTP/1.0 kept by its field",
         "HTTP/1.0 200 OK\r\nConnection:  Keep-Alive \r\nContent-Length: 1\r\n\r\nx", false, 200, "x", true,
         true, ""},
        {"close field", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx", false, 200, "x",
         true, false, ""},
        {"proxy close field", "HTTP/1.1 200 OK\r\nProxy-Connection: Close\r\nContent-Length: 1\r\n\r\nx",
         false, 200, "x", true, false, ""},
    };
    for (const Case &c : cases) {
        for (int pieceSize : {1, 3, 7, 4096}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(pieceSize));
            HttpResponseParser parser("1.1");
            const Outcome out = FeedInPieces(parser, c.input, pieceSize, c.closeAtEnd);
            EXPECT_FALSE(parser.Failed()) << parser.Error().toStdString();
            EXPECT_EQ(parser.Status(), c.status);
            EXPECT_EQ(out.body, c.body);
            EXPECT_EQ(parser.Complete(), c.complete);
            if (c.complete) {
                EXPECT_EQ(parser.KeepAlive(), c.keepAlive);
            }
            EXPECT_EQ(out.leftover, c.leftover);
        }
    }
}

TEST(HttpResponseParser, StatusLineAndFieldsAreReadAsSent)
{
    struct Case {
        QByteArray statusLine;
        QByteArray version;
        int status;
        QByteArray reason;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK", "1.1", 200, "OK"},
        {"HTTP/1.0 404 Not Found", "1.0", 404, "Not Found"},
        {"HTTP/1.1 500", "1.1", 500, ""},
        {"HTTP/1.1   302 Moved Temporarily", "1.1", 302, "Moved Temporarily"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.statusLine.toStdString());
        HttpResponseParser parser;
        QByteArray body;
        const QByteArray input =
            c.statusLine + "\r\nContent-Type: Text/HTML; Charset=X\r\nLocation:   /a b\r\n"
                           "X-Empty:\r\nno colon line\r\nLocation: /second\r\nContent-Length: 0\r\n\r\n";
        EXPECT_EQ(parser.Feed(input, body), input.size());
        ASSERT_TRUE(parser.Complete());
        EXPECT_EQ(parser.Version(), c.version);
        EXPECT_EQ(parser.Status(), c.status);
        EXPECT_EQ(parser.Reason(), c.reason);
        EXPECT_EQ(parser.ContentType(), "text/html; charset=x");
        EXPECT_EQ(parser.Values("location"), (QList<QByteArray>{"/a b", "/second"}));
        EXPECT_EQ(parser.Value("x-empty"), "");
        EXPECT_EQ(parser.ContentLength(), 0);
    }
}

TEST(HttpResponseParser, HostileOrBrokenAnswersFailInsteadOfGrowing)
{
    struct Case {
        const char *name;
        QByteArray input;
    };
    const Case cases[] = {
        {"endless header line",
         "HTTP/1.1 200 OK\r\nX: " + QByteArray(HttpResponseParser::kMaxHeaderBytes, 'a')},
        {"endless header", "HTTP/1.1 200 OK\r\n" + QByteArray("X: y\r\n").repeated(20000)},
        {"endless garbage before a status line", QByteArray("garbage\r\n").repeated(10000)},
        {"chunk size not hexadecimal", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
        {"chunk size beyond reason",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffff\r\n"},
        {"endless chunk size line",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1" + QByteArray(5000, ' ')},
        {"status without a code", "HTTP/1.1 OK\r\n\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpResponseParser parser;
        const Outcome out = FeedInPieces(parser, c.input, 1000, false);
        EXPECT_TRUE(parser.Failed());
        EXPECT_FALSE(parser.KeepAlive());
        EXPECT_LE(out.leftover.size(), HttpResponseParser::kMaxHeaderBytes + 1000);
    }
}
