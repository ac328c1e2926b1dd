#include "lookup/HttpResponseParser.h"

#include <gtest/gtest.h>

namespace
{

// Feeds input in pieces of pieceSize bytes, keeping what the parser leaves unconsumed in front of the
// next piece as the client's socket buffer does; returns the body, and the leftover in *leftover.
QByteArray FeedInPieces(HttpResponseParser &parser, const QByteArray &input, int pieceSize, bool close,
                        QByteArray *leftover = nullptr)
{
    QByteArray body, pending;
    for (qsizetype at = 0; at < input.size(); at += pieceSize) {
        pending += input.mid(at, pieceSize);
        if (!parser.Complete() && !parser.Failed())
            pending.remove(0, parser.Feed(pending, body));
    }
    if (close)
        parser.ConnectionClosed();
    if (leftover)
        *leftover = pending;
    return body;
}

} // namespace

TEST(HttpResponseParser, BodiesAreFramedAsTheHeaderSays)
{
    struct Case {
        QByteArray input;
        bool close;
        int status;
        QByteArray body;
        bool keepAlive;
        QByteArray leftover = {};
    };
    const QByteArray ok11 = "HTTP/1.1 200 OK\r\n";
    const Case cases[] = {
        {ok11 + "Content-Length: 3\r\n\r\nabcHTTP/1.1 204", false, 200, "abc", true, "HTTP/1.1 204"},
        {ok11 +
             "Transfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\n",
         false, 200, "hello world", true},
        {"HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\n3\nabc\n0\n\n", false, 200, "abc", true},
        {ok11 + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", false, 200,
         "abc", true},
        {ok11 + "Content-Type: text/plain\r\n\r\nline 1\r\nline 2", true, 200, "line 1\r\nline 2", false},
        {"HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nxyz", true, 200, "xyz", false},
        {"HTTP/1.1 100 Continue\r\n\r\n" + ok11 + "Content-Length: 2\r\n\r\nok", false, 200, "ok", true},
        {"<html><body>\r\nno header</body></html>", true, 200, "<html><body>\r\nno header</body></html>",
         false},
        {"\r\n" + ok11 + "Content-Length: 1\r\n\r\nx", false, 200, "x", true},
        {"HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", false, 204, "", true},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", false, 401, "", true},
        {"HTTP/1.0 407 Proxy Authentication Required\r\n\r\n<html>login</html>", true, 407,
         "<html>login</html>", false},
        {"HTTP/1.0 200 OK\r\nConnection:  Keep-Alive \r\nContent-Length: 1\r\n\r\nx", false, 200, "x", true},
        {ok11 + "Connection: close\r\nContent-Length: 1\r\n\r\nx", false, 200, "x", false},
        {ok11 + "Proxy-Connection: Close\r\nContent-Length: 1\r\n\r\nx", false, 200, "x", false},
    };
    for (const Case &c : cases) {
        for (int pieceSize : {1, 7, 4096}) {
            SCOPED_TRACE(c.input.toStdString() + ", pieces of " + std::to_string(pieceSize));
            HttpResponseParser parser("1.1");
            QByteArray leftover;
            EXPECT_EQ(FeedInPieces(parser, c.input, pieceSize, c.close, &leftover), c.body);
            EXPECT_FALSE(parser.Failed()) << parser.Error().toStdString();
            EXPECT_TRUE(parser.Complete());
            EXPECT_EQ(parser.Status(), c.status);
            EXPECT_EQ(parser.KeepAlive(), c.keepAlive);
            EXPECT_EQ(leftover, c.leftover);
        }
    }
}

TEST(HttpResponseParser, HostileOrBrokenAnswersFailInsteadOfGrowing)
{
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray cases[] = {
        "HTTP/1.1 200 OK\r\nX: " + QByteArray(HttpResponseParser::kMaxHeaderBytes, 'a'),
        "HTTP/1.1 200 OK\r\n" + QByteArray("X: y\r\n").repeated(20000),
        QByteArray("garbage\r\n").repeated(10000),
        chunked + "zz\r\n",
        chunked + "fffffffffffffffff\r\n",
        chunked + "1" + QByteArray(5000, ' '),
        "HTTP/1.1 OK\r\n\r\n",
    };
    for (const QByteArray &input : cases) {
        SCOPED_TRACE(input.left(60).toStdString());
        HttpResponseParser parser;
        QByteArray leftover;
        FeedInPieces(parser, input, 1000, false, &leftover);
        EXPECT_TRUE(parser.Failed());
        EXPECT_FALSE(parser.KeepAlive());
        EXPECT_LE(leftover.size(), HttpResponseParser::kMaxHeaderBytes + 1000);
    }
}
