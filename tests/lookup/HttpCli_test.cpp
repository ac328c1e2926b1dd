#include "HttpTestClient.h"

#include <QTimer>

// A kept connection serves the read too; dropped by the server, the read goes again on a new one.
TEST(HttpCli, QueryAndReadShareAConnectionWhenTheServerKeepsIt)
{
    for (const bool serverCloses : {false, true}) {
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::SplitAt(Ok("query"), {1, 9, 17}), serverCloses});
        server.Add({{}, {Ok("read")}});
        HttpTestClient client;
        EXPECT_FALSE(client.Get(server.Url("/q")));
        EXPECT_FALSE(client.Get(server.Url("/r")));
        EXPECT_EQ(client.Document(), "read");
        EXPECT_EQ(server.RequestConnections(), (QList<int>{1, serverCloses ? 2 : 1}));
    }
}

TEST(HttpCli, FailuresRaiseTheirStatusAndMessage)
{
    const QString tooLarge = "Document larger than 1000 bytes";
    const std::tuple<QString, QByteArray, int, QString> cases[] = {
        {"http://%A/x", Answer("HTTP/1.1 404 Not Found", "", "nope"), 404, "Not Found"},
        {"http://%A/x", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd", 404,
         "Connection closed before the response was complete"},
        // However a body is framed, no more than the limit is held; a length past it takes nothing.
        {"http://%A/x", Ok(QByteArray(3000, 'x')), 413, tooLarge},
        {"http://%A/x",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
             QByteArray("3e8\r\n" + QByteArray(1000, 'y') + "\r\n").repeated(3),
         413, tooLarge},
        // A relocation can neither add lines to the request nor split its request line.
        {"http://%A/x", Answer("HTTP/1.1 302 Found", "Location: /a\rX-Injected: 1\r\n", ""), 400,
         "Invalid URL: control characters in it"},
    };
    for (const auto &[url, answer, status, message] : cases) {
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::Split(answer, 700), true});
        HttpTestClient client;
        client.http.setMaxDocumentSize(1000);
        const std::optional<EHttpException> error =
            client.Get(QString(url).replace("%A", server.Authority()));
        EXPECT_EQ(error ? std::pair(error->status(), QString(error->what())) : std::pair(0, QString()),
                  std::pair(status, message));
        EXPECT_LE(client.Document().size(), answer.contains("Length: 3000") ? 0 : 1000);
    }
    // A server that relocates without end: past the fifth relocation its answer is the result.
    ScriptedHttpServer loop;
    for (int i = 0; i < 7; ++i)
        loop.Add({{}, {Answer("HTTP/1.1 302 Found", "Location: /again\r\n", "")}});
    HttpTestClient client;
    EXPECT_FALSE(client.Get(loop.Url("/x")));
    EXPECT_EQ(loop.Requests().size(), 6);
}

// The time-out counts from the last byte received, not from the request.
TEST(HttpCli, ASilentServerTimesOutButASlowOneDoesNot)
{
    for (const bool silent : {true, false}) {
        ScriptedExchange exchange{{}, ScriptedHttpServer::Split(Ok("slow but steady"), 6)};
        exchange.silent = silent;
        exchange.pauseMs = 200;
        ScriptedHttpServer server({exchange});
        HttpTestClient client;
        client.http.setTimeout(700);
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        EXPECT_EQ(error ? error->status() : 200, silent ? 408 : 200);
        EXPECT_EQ(client.Document(), silent ? "" : "slow but steady");
    }
}
