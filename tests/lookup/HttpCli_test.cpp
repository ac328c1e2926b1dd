#include "HttpTestClient.h"
#include "ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

QString Fill(QString text, const ScriptedHttpServer &server)
{
    return text.replace("%A", server.Authority()).replace("%P", QString::number(server.port()));
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A server that accepts and never answers.
ScriptedExchange Silent()
{
    ScriptedExchange exchange;
    exchange.silent = true;
    return exchange;
}

} // namespace

TEST(HttpCli, RequestLinesDirectAndThroughAProxy)
{
    struct Case {
        QString url, proxy, proxyPort, target, host;
    };
    const QString query = "/~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09+9+150&proto=4";
    const QString remote = "http://cddb.example.org";
    const Case cases[] = {
        {"http://%A" + query, "", "", query, "%A"},
        {"http://%A", "", "", "/", "%A"},
        {remote + query, "127.0.0.1", "%P", remote + query, "cddb.example.org"},
        {remote + ":8080/a?b", "127.0.0.1:%P", "1", remote + ":8080/a?b", "cddb.example.org:8080"},
        // Credentials and fragment never reach the proxy.
        {"http://me:pw@cddb.example.org:80/x#top", "http://127.0.0.1:%P/", "", remote + ":80/x",
         "cddb.example.org"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        ScriptedHttpServer server;
        server.Add({LookupRequest(Fill(c.target, server).toLatin1(), Fill(c.host, server).toLatin1()),
                    ScriptedHttpServer::Split(Ok("doc"), 5)});
        HttpTestClient client;
        client.http.setProxy(Fill(c.proxy, server));
        client.http.setProxyPort(Fill(c.proxyPort, server));
        const std::optional<EHttpException> error = client.Get(Fill(c.url, server));
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(client.Document(), "doc");
    }
}

TEST(HttpCli, QueryAndReadShareAConnectionWhenTheServerKeepsIt)
{
    struct Case {
        const char *name;
        QByteArray firstAnswer;
        bool serverCloses;
        QList<int> connections;
    };
    const Case cases[] = {
        {"HTTP/1.1", Ok("query"), false, {1, 1}},
        {"Connection: close", Answer("HTTP/1.1 200 OK", "Connection: close\r\n", "query"), true, {1, 2}},
        {"HTTP/1.0", Answer("HTTP/1.0 200 OK", "", "query"), true, {1, 2}},
        {"up to the close", "HTTP/1.1 200 OK\r\n\r\nquery", true, {1, 2}},
        // A kept connection dropped by the server: the read goes again on a new one.
        {"dropped by the server", Ok("query"), true, {1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        const QByteArray host = server.Authority().toLatin1();
        server.Add({LookupRequest("/q", host), ScriptedHttpServer::SplitAt(c.firstAnswer, {1, 9, 17}),
                    c.serverCloses});
        server.Add({LookupRequest("/r", host), {Ok("read")}});
        HttpTestClient client;
        EXPECT_FALSE(client.Get(server.Url("/q")));
        EXPECT_EQ(client.Document(), "query");
        EXPECT_FALSE(client.Get(server.Url("/r")));
        EXPECT_EQ(client.Document(), "read");
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(server.RequestConnections(), c.connections);
    }
}

TEST(HttpCli, BodiesArriveWholeHoweverTheyAreFramedOrSplit)
{
    struct Case {
        QByteArray answer;
        QList<int> cuts;
        bool closeAfter;
        QByteArray document;
    };
    const QByteArray html = "<HTML><BODY>Proxy says hello</BODY></HTML>\r\n";
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1B\r\n200 rock 7a0a4a09 "
                               "Artist \r\n\r\n7;ext=1\r\n/ Album\r\n0\r\n\r\n";
    const Case cases[] = {
        {chunked, {2, 50, 51, 52, 70, 80}, false, "200 rock 7a0a4a09 Artist \r\n/ Album"},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n210 found\r\n.\r\n",
         {30, 47},
         true,
         "210 found\r\n.\r\n"},
        {html, {3, 10}, true, html},
        {"HTTP/1.1 100 Continue\r\n\r\n" + Ok("after 100"), {5, 24, 26}, false, "after 100"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer.left(30).toStdString());
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::SplitAt(c.answer, c.cuts), c.closeAfter});
        HttpTestClient client;
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(client.http.StatusCode(), 200);
        EXPECT_EQ(client.Document(), c.document);
        EXPECT_EQ(client.begins, 1);
    }
}

TEST(HttpCli, FailuresRaiseTheirStatusAndMessage)
{
    struct Case {
        QString url, proxy;
        QByteArray answer;
        int status;
        QString message;
    };
    const QByteArray big(3000, 'x'), chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const Case cases[] = {
        {"http://%A/x", "", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope", 404, "Not Found"},
        {"https://%A/x", "", "", 501, "Protocol \"https\" not implemented"},
        {"http://unresolvable..host/x", "", "", 404, "can't resolve hostname to IP address"},
        {QString("http://127.0.0.1:%1/").arg(ClosedPort()), "", "", 404, "Connection refused (Error #111)"},
        {"http://%A/x", "127.0.0.1", "", 404, "No port given for the proxy 127.0.0.1"},
        {"http://%A/x", "", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd", 404,
         "Connection closed before the response was complete"},
        // A hostile server cannot make the client hold more than the limit, however it frames the body.
        {"http://%A/x", "", Ok(big), 413, "Document larger than 1000 bytes"},
        {"http://%A/x", "", "HTTP/1.1 200 OK\r\n\r\n" + big, 413, "Document larger than 1000 bytes"},
        {"http://%A/x", "", chunked + QByteArray("3e8\r\n" + QByteArray(1000, 'y') + "\r\n").repeated(3), 413,
         "Document larger than 1000 bytes"},
        // A relocation cannot add lines to the request (header injection) nor split its request line.
        {"http://%A/x", "", Answer("HTTP/1.1 302 Found", "Location: /a\rX-Injected: 1\r\n", ""), 400,
         "Invalid URL: control characters in it"},
        {"http://%A/x", "", Answer("HTTP/1.1 302 Found", "Location: http://a\tb/ HTTP/1.1\r\n", ""), 400,
         "Invalid URL: control characters in it"},
        {"http://%A/x", "", Answer("HTTP/1.1 302 Found", "Location: http://a b/\r\n", ""), 400,
         "Invalid URL: spaces in the host name"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::Split(c.answer, 700), true});
        HttpTestClient client;
        client.http.setMaxDocumentSize(1000);
        client.http.setProxy(Fill(c.proxy, server));
        const std::optional<EHttpException> error = client.Get(Fill(c.url, server));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->status(), c.status);
        EXPECT_EQ(QString::fromUtf8(error->what()), c.message);
        EXPECT_EQ(server.Requests().size(), c.answer.isEmpty() ? 0 : 1);
        EXPECT_FALSE(client.http.Busy());
        EXPECT_LE(client.Document().size(), 1000);
    }
}

// Relative locations resolve against the current one; the sixth relocation is the answer.
TEST(HttpCli, FiveRelocationsAreFollowedAndTheSixthIsTheAnswer)
{
    ScriptedHttpServer other;
    const QByteArray host = other.Authority().toLatin1();
    const QByteArray steps[][3] = {{"/elsewhere/start", "301", "/abs/dir/page"},
                                   {"/abs/dir/page", "302", "next?q=a b"},
                                   {"/abs/dir/next?q=a%20b", "303", "sub/last"},
                                   {"/abs/dir/sub/last", "307", "/final"},
                                   {"/final", "302", "/never"}};
    for (const auto &[target, status, location] : steps)
        other.Add(
            {LookupRequest(target, host),
             ScriptedHttpServer::Split(
                 Answer("HTTP/1.1 " + status + " R" + status, "Location: " + location + "\r\n", status), 4)});
    ScriptedHttpServer first;
    first.Add({LookupRequest("/start", first.Authority().toLatin1()),
               {Answer("HTTP/1.1 302 Found", "Location: " + other.Url("/elsewhere/start").toLatin1() + "\r\n",
                       "moved")}});

    HttpTestClient client;
    const std::optional<EHttpException> error = client.Get(first.Url("/start"));
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(client.http.StatusCode(), 302);
    EXPECT_EQ(client.http.ReasonPhrase(), "R302");
    EXPECT_EQ(client.Document(), "302");
    EXPECT_EQ(first.Mismatches() + other.Mismatches(), QStringList());
    EXPECT_EQ(other.RequestConnections(), (QList<int>{1, 1, 1, 1, 1}));
}

TEST(HttpCli, ASecondRequestWhileOneWaitsIsRefusedAndLeavesTheFirstAlone)
{
    ScriptedHttpServer server;
    ScriptedExchange slow{
        {}, ScriptedHttpServer::Split(Answer("HTTP/1.1 302 Found", "Location: /moved\r\n", ""), 8)};
    slow.pauseMs = 30;
    server.Add(slow);
    server.Add({LookupRequest("/moved", server.Authority().toLatin1()), {Ok("the first document")}});

    HttpTestClient client;
    std::optional<EHttpException> refusal;
    QTimer::singleShot(60, [&] {
        // Settings changed by the refused caller must not reach the request in progress either.
        client.http.setProxy(QString("127.0.0.1:%1").arg(ClosedPort()));
        refusal = client.Get(server.Url("/second"));
    });
    EXPECT_FALSE(client.Get(server.Url("/first")));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message(), "HTTP component HttpCli1 is busy");
    EXPECT_EQ(client.Document(), "the first document");
    EXPECT_EQ(server.Mismatches(), QStringList());
    EXPECT_EQ(server.Requests().size(), 2);
}

// The time-out counts from the last byte received, not from the request; the window's timers keep
// firing while Get waits.
TEST(HttpCli, ASilentServerTimesOutButASlowOneDoesNot)
{
    int ticks = 0;
    QTimer windowTimer;
    QObject::connect(&windowTimer, &QTimer::timeout, [&ticks] { ++ticks; });
    windowTimer.start(10);
    for (const bool silent : {true, false}) {
        ticks = 0;
        ScriptedHttpServer server;
        ScriptedExchange exchange{{}, ScriptedHttpServer::Split(Ok("slow but steady"), 6)};
        exchange.silent = silent;
        exchange.pauseMs = 200;
        server.Add(exchange);
        HttpTestClient client;
        client.http.setTimeout(700);
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        ASSERT_EQ(bool(error), silent);
        if (error) {
            EXPECT_EQ(error->status(), 408);
            EXPECT_EQ(error->message(), "Request timed out: no answer from the server for 0.7 seconds");
        } else {
            EXPECT_EQ(client.Document(), "slow but steady");
            EXPECT_GE(ticks, 20);
        }
    }
}

TEST(HttpCli, AbortOrQuittingEndsTheWaitingRequest)
{
    ScriptedHttpServer server;
    server.Add(Silent());
    HttpTestClient client;
    QTimer::singleShot(50, [&client] { client.http.Abort(); });
    const std::optional<EHttpException> error = client.Get(server.Url("/"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "Connection aborted on request");

    // Quitting ends every event loop of the process for good, so this runs in a child process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ScriptedHttpServer silent;
            silent.Add(Silent());
            HttpTestClient quitting;
            QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
            const std::optional<EHttpException> e = quitting.Get(silent.Url("/"));
            std::exit(e && e->message() == "Connection aborted on request" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
