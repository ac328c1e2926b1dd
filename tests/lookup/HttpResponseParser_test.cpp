#include "lookup/HttpResponseParser.h"

#include <gtest/gtest.h>

namespace
{

// Feeds input in pieces, the unconsumed rest kept in front of the next as the client's buffer does.
QByteArray Feed(HttpResponseParser &parser, const QByteArray &input, int pieceSize, bool close,
                QByteArray &leftover)
{
    QByteArray body;
    leftover.clear();
    for (qsizetype at = 0; at < input.size(); at += pieceSize) {
        leftover += input.mid(at, pieceSize);
        if (!parser.Complete() && !parser.Failed())
            leftover.remove(0, parser.Feed(leftover, body));
    }
    if (close)
        parser.ConnectionClosed();
    return body;
}

} // namespace

TEST(HttpResponseParser, BodiesAreFramedAsTheHeaderSays)
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\n", chunked = "Transfer-Encoding: chunked\r\n\r\n";
    const std::tuple<QByteArray, bool, int, QByteArray, bool, QByteArray> cases[] = {
        // answer, closed after it; status, body, connection kept, bytes left for the next answer
        {ok + "Content-Length: 3\r\n\r\nabcHTTP/1.1 204", false, 200, "abc", true, "HTTP/1.1 204"},
        {ok + chunked + "5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\n", false, 200,
         "hello world", true, ""},
        {"HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\n3\nabc\n0\n\n", false, 200, "abc", true, ""},
        {ok + "Content-Length: 2\r\n" + chunked + "3\r\nabc\r\n0\r\n\r\n", false, 200, "abc", true, ""},
        {"HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nok", false, 200, "ok", true, ""},
        {"<html>\r\nno header</html>", true, 200, "<html>\r\nno header</html>", false, ""},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", false, 401, "", true, ""},
        // A proxy's HTTP/1.0 refusal page runs to the close.
        {"HTTP/1.0 407 Proxy\r\n\r\n<html>login</html>", true, 407, "<html>login</html>", false, ""},
        {"HTTP/1.0 200 OK\r\nConnection: Keep-Alive \r\nContent-Length: 1\r\n\r\nx", false, 200, "x", true,
         ""},
        {ok + "Proxy-Connection: Close\r\nContent-Length: 1\r\n\r\nx", false, 200, "x", false, ""},
    };
    for (const auto &[input, close, status, body, keepAlive, rest] : cases) {
        for (int pieceSize : {1, 7, 4096}) {
            HttpResponseParser parser("1.1");
            QByteArray leftover;
            EXPECT_EQ(Feed(parser, input, pieceSize, close, leftover), body) << input.toStdString();
            EXPECT_TRUE(parser.Complete() && !parser.Failed()) << parser.Error().toStdString();
            EXPECT_EQ(std::tuple(parser.Status(), parser.KeepAlive(), leftover),
                      std::tuple(status, keepAlive, rest));
        }
    }
}

// However the bytes arrive, neither a header nor a chunk-size line can grow past its bound.
TEST(HttpResponseParser, HostileOrBrokenAnswersFailInsteadOfGrowing)
{
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray cases[] = {
        "HTTP/1.1 200 OK\r\nX: " + QByteArray(HttpResponseParser::kMaxHeaderBytes, 'a'),
        "HTTP/1.1 200 OK\r\n" + QByteArray("X: 0123456789ab\r\n").repeated(5000), // 17-byte lines
        chunked + "zz\r\n",
        chunked + "fffffffffffffffff\r\n",
        chunked + "1" + QByteArray(5000, ' '),
        "HTTP/1.1 OK\r\n\r\n",
    };
    for (const QByteArray &input : cases) {
        // 5100 bytes: pieces of whole 17-byte lines, where only the bound on complete lines holds.
        for (int pieceSize : {1000, 5100}) {
            HttpResponseParser parser;
            QByteArray leftover;
            Feed(parser, input, pieceSize, false, leftover);
            EXPECT_TRUE(parser.Failed() && !parser.KeepAlive()) << input.left(60).toStdString();
            EXPECT_LE(leftover.size(), HttpResponseParser::kMaxHeaderBytes + pieceSize);
        }
    }
}
