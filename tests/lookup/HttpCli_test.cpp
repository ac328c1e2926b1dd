#include "lookup/HttpCli.h"

#include "ScriptedHttpServer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

namespace
{

const QByteArray kAccept = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
const QByteArray kAgent = "User-Agent: Mozilla/4.0 (compatible; ICS)\r\n";

// The request of a lookup: the client set up as the window sets it up.
QByteArray LookupRequest(const QByteArray &target, const QByteArray &host, const QByteArray &extra = {})
{
    return "GET " + target + " HTTP/1.1\r\n" + kAccept + "Connection: Keep-Alive\r\nAccept-Language: it\r\n" +
           kAgent + "Host: " + host + "\r\n" + extra + "\r\n";
}

QByteArray Ok(const QByteArray &body, const QByteArray &fields = {})
{
    return "HTTP/1.1 200 OK\r\n" + fields + "Content-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

// A client with document handlers that keep each body in memory, as the window's keep them in a file.
struct Client {
    THttpCli http;
    QBuffer buffer;
    int begins = 0;
    int ends = 0;

    Client()
    {
        http.setObjectName("HttpCli1");
        http.setAcceptLanguage("it");
        http.setConnection("Keep-Alive");
        http.OnDocBegin = [this](QObject *sender) {
            EXPECT_EQ(sender, &http);
            ++begins;
            buffer.close();
            buffer.setData(QByteArray());
            buffer.open(QIODevice::WriteOnly);
            http.setRcvdStream(&buffer);
        };
        http.OnDocEnd = [this](QObject *sender) {
            EXPECT_EQ(sender, &http);
            ++ends;
            http.setRcvdStream(nullptr);
            buffer.close();
        };
    }

    std::optional<EHttpException> Get(const QString &url)
    {
        http.setURL(url);
        try {
            http.Get();
        } catch (const EHttpException &e) {
            return e;
        }
        return std::nullopt;
    }

    QByteArray Document() const { return buffer.data(); }
};

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

} // namespace

TEST(HttpCli, RequestLinesDirectAndThroughAProxy)
{
    struct Case {
        const char *name;
        QString url;
        QString proxy;
        QString proxyPort;
        QString target;
        QString host;
    };
    const QString query = "/~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09+9+150+20000&hello=u+h+QUARLE+1.0&proto=4";
    const Case cases[] = {
        {"direct, path and query", "http://%A" + query, "", "", query, "%A"},
        {"direct, no path", "http://%A", "", "", "/", "%A"},
        {"direct, query without path", "http://%A?x=1", "", "", "/?x=1", "%A"},
        {"proxy, port from the port edit", "http://cddb.example.org" + query, "127.0.0.1", "%P",
         "http://cddb.example.org" + query, "cddb.example.org"},
        {"proxy with its own port, server port kept", "http://cddb.example.org:8080/a?b", "127.0.0.1:%P", "1",
         "http://cddb.example.org:8080/a?b", "cddb.example.org:8080"},
        {"proxy as a URL, credentials and fragment left out", "http://me:pw@cddb.example.org:80/x#top",
         "http://127.0.0.1:%P/", "", "http://cddb.example.org:80/x", "cddb.example.org"},
        {"proxy, URL without protocol", "cddb.example.org/x", "127.0.0.1", "%P", "http://cddb.example.org/x",
         "cddb.example.org"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Add({LookupRequest(Fill(c.target, server).toLatin1(), Fill(c.host, server).toLatin1()),
                    ScriptedHttpServer::Split(Ok("doc"), 5)});
        Client client;
        client.http.setProxy(Fill(c.proxy, server));
        client.http.setProxyPort(Fill(c.proxyPort, server));
        const std::optional<EHttpException> error = client.Get(Fill(c.url, server));
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(server.Requests().size(), 1);
        EXPECT_EQ(client.Document(), "doc");
        EXPECT_EQ(client.http.StatusCode(), 200);
        EXPECT_EQ(client.http.ReasonPhrase(), "OK");
    }
}

TEST(HttpCli, OptionalLinesComeInTheirPlaceOrNotAtAll)
{
    ScriptedHttpServer server;
    const QByteArray host = server.Authority().toLatin1();
    server.Add(
        {"GET /a HTTP/1.0\r\nFrom: me@example.org\r\n" + kAccept +
             "Referer: http://example.org/\r\nConnection: Keep-Alive\r\nAccept-Language: it\r\n" + kAgent +
             "Host: " + host +
             "\r\nPragma: no-cache\r\nProxy-Connection: Keep-Alive\r\nIf-Modified-Since: Sun, 06 Nov 1994 "
             "08:49:37 GMT\r\n\r\n",
         {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n1"},
         true});
    server.Add({"GET /b HTTP/1.1\r\nHost: " + host + "\r\n\r\n", {Ok("2")}});

    Client client;
    client.http.setRequestVer("1.0");
    client.http.setSender("me@example.org");
    client.http.setReference("http://example.org/");
    client.http.setNoCache(true);
    client.http.setProxyConnection("Keep-Alive");
    client.http.setModifiedSince(QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC));
    EXPECT_FALSE(client.Get(server.Url("/a")));

    Client bare;
    bare.http.setAccept("");
    bare.http.setAgent("");
    bare.http.setAcceptLanguage("");
    bare.http.setConnection("");
    EXPECT_FALSE(bare.Get(server.Url("/b")));
    EXPECT_EQ(server.Mismatches(), QStringList());

    try {
        bare.http.setRequestVer("2.0");
        ADD_FAILURE() << "version 2.0 accepted";
    } catch (const EHttpException &e) {
        EXPECT_EQ(e.message(), "Insupported HTTP version");
    }
    EXPECT_EQ(bare.http.RequestVer(), "1.1");
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
        {"HTTP/1.1 without close", Ok("query"), false, {1, 1}},
        {"HTTP/1.1 with Connection: close", Ok("query", "Connection: close\r\n"), true, {1, 2}},
        {"HTTP/1.0", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nquery", true, {1, 2}},
        {"HTTP/1.0 with keep-alive",
         "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 5\r\n\r\nquery",
         false,
         {1, 1}},
        {"body up to the close on HTTP/1.1", "HTTP/1.1 200 OK\r\n\r\nquery", true, {1, 2}},
        // The server drops a connection the client meant to keep: the read goes again on a new one.
        {"kept connection closed by the server", Ok("query"), true, {1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        const QByteArray host = server.Authority().toLatin1();
        server.Add({LookupRequest("/~cddb/cddb.cgi?cmd=cddb+query", host),
                    ScriptedHttpServer::SplitAt(c.firstAnswer, {1, 9, 17}), c.serverCloses});
        server.Add({LookupRequest("/~cddb/cddb.cgi?cmd=cddb+read", host), {Ok("read")}});

        Client client;
        EXPECT_FALSE(client.Get(server.Url("/~cddb/cddb.cgi?cmd=cddb+query")));
        EXPECT_EQ(client.Document(), "query");
        EXPECT_FALSE(client.Get(server.Url("/~cddb/cddb.cgi?cmd=cddb+read")));
        EXPECT_EQ(client.Document(), "read");
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(server.RequestConnections(), c.connections);
    }
}

TEST(HttpCli, BodiesArriveWholeHoweverTheyAreFramedOrSplit)
{
    struct Case {
        const char *name;
        QByteArray answer;
        QList<int> cuts;
        bool closeAfter;
        int status;
        QByteArray document;
        int begins;
    };
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "1B\r\n200 rock 7a0a4a09 Artist \r\n\r\n"
                               "7;ext=1\r\n/ Album\r\n0\r\n\r\n";
    const Case cases[] = {
        {"content length",
         Ok("line 1\r\nline 2\r\n"),
         {3, 17, 18, 40},
         false,
         200,
         "line 1\r\nline 2\r\n",
         1},
        {"chunked", chunked, {2, 50, 51, 52, 70, 80}, false, 200, "200 rock 7a0a4a09 Artist \r\n/ Album", 1},
        {"up to the close",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n210 found\r\n.\r\n",
         {30, 47},
         true,
         200,
         "210 found\r\n.\r\n",
         1},
        {"no header at all",
         "<HTML><BODY>Proxy says hello</BODY></HTML>\r\n",
         {3, 10},
         true,
         200,
         "<HTML><BODY>Proxy says hello</BODY></HTML>\r\n",
         1},
        {"100 before the answer",
         "HTTP/1.1 100 Continue\r\n\r\n" + Ok("after 100"),
         {5, 24, 26},
         false,
         200,
         "after 100",
         1},
        {"no body", "HTTP/1.1 204 No Content\r\n\r\n", {10}, false, 204, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::SplitAt(c.answer, c.cuts), c.closeAfter});
        Client client;
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(client.http.StatusCode(), c.status);
        EXPECT_EQ(client.Document(), c.document);
        EXPECT_EQ(client.begins, c.begins);
        EXPECT_EQ(client.ends, c.begins);
        EXPECT_EQ(client.http.DocumentReceived(), c.begins == 1);
    }
}

TEST(HttpCli, FailuresRaiseTheirStatusAndMessage)
{
    struct Case {
        const char *name;
        QString url;
        QString proxy;
        QList<QByteArray> answer;
        bool closeAfter;
        int status;
        QString message;
        int requests;
    };
    const QString refused = QString("http://127.0.0.1:%1/").arg(ClosedPort());
    const Case cases[] = {
        {"404 from the server",
         "http://%A/x",
         "",
         {"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope"},
         false,
         404,
         "Not Found",
         1},
        {"500 up to the close",
         "http://%A/x",
         "",
         {"HTTP/1.0 500 Internal Server Error\r\n\r\noops"},
         true,
         500,
         "Internal Server Error",
         1},
        {"https", "https://%A/x", "", {}, false, 501, "Protocol \"https\" not implemented", 0},
        {"ftp through a proxy",
         "ftp://%A/x",
         "127.0.0.1:%P",
         {},
         false,
         501,
         "Protocol \"ftp\" not implemented",
         0},
        {"host that cannot be resolved",
         "http://unresolvable..host/x",
         "",
         {},
         false,
         404,
         "can't resolve hostname to IP address",
         0},
        {"connection refused", refused, "", {}, false, 404, "Connection refused (Error #111)", 0},
        {"proxy without any port",
         "http://%A/x",
         "127.0.0.1",
         {},
         false,
         404,
         "No port given for the proxy 127.0.0.1",
         0},
        {"body cut short by the close",
         "http://%A/x",
         "",
         {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd"},
         true,
         404,
         "Connection closed before the response was complete",
         1},
        {"garbage chunk size",
         "http://%A/x",
         "",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n"},
         false,
         404,
         "Invalid HTTP response: Invalid chunk size line",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Add({{}, c.answer, c.closeAfter});
        Client client;
        client.http.setProxy(Fill(c.proxy, server));
        const std::optional<EHttpException> error = client.Get(Fill(c.url, server));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->status(), c.status);
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(QString::fromUtf8(error->what()), c.message);
        EXPECT_EQ(client.http.StatusCode(), c.status);
        EXPECT_EQ(server.Requests().size(), c.requests);
        EXPECT_FALSE(client.http.Busy());
    }
}

TEST(HttpCli, FiveRelocationsAreFollowedAndTheSixthIsTheAnswer)
{
    ScriptedHttpServer other;
    other.Add({LookupRequest("/elsewhere/start", other.Authority().toLatin1()),
               {"HTTP/1.1 301 Moved\r\nLocation: /abs/dir/page\r\nContent-Length: 6\r\n\r\nmoved1"}});
    other.Add({LookupRequest("/abs/dir/page", other.Authority().toLatin1()),
               {"HTTP/1.1 302 Found\r\nLocation: next?q=1\r\n\r\n"}});
    other.Add({LookupRequest("/abs/dir/next?q=1", other.Authority().toLatin1()),
               {"HTTP/1.1 303 See Other\r\nLocation: sub/last\r\nContent-Length: 0\r\n\r\n"}});
    other.Add({LookupRequest("/abs/dir/sub/last", other.Authority().toLatin1()),
               {"HTTP/1.1 307 Again\r\nLocation: /final\r\nContent-Length: 6\r\n\r\nmoved5"}});
    other.Add({LookupRequest("/final", other.Authority().toLatin1()),
               ScriptedHttpServer::Split(
                   "HTTP/1.1 302 Sixth\r\nLocation: /never\r\nContent-Length: 5\r\n\r\nsixth", 4)});

    ScriptedHttpServer first;
    first.Add({LookupRequest("/start", first.Authority().toLatin1()),
               {"HTTP/1.1 302 Found\r\nLocation: " + other.Url("/elsewhere/start").toLatin1() +
                "\r\nContent-Length: 6\r\n\r\nmoved0"}});

    Client client;
    const std::optional<EHttpException> error = client.Get(first.Url("/start"));
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(client.http.StatusCode(), 302);
    EXPECT_EQ(client.http.ReasonPhrase(), "Sixth");
    EXPECT_EQ(client.Document(), "sixth");
    EXPECT_EQ(client.begins, 4);
    EXPECT_EQ(first.Mismatches(), QStringList());
    EXPECT_EQ(other.Mismatches(), QStringList());
    EXPECT_EQ(first.Requests().size(), 1);
    EXPECT_EQ(other.Requests().size(), 5);
    EXPECT_EQ(other.RequestConnections(), (QList<int>{1, 1, 1, 1, 1}));
}

TEST(HttpCli, ASecondRequestWhileOneWaitsIsRefusedAndLeavesTheFirstAlone)
{
    ScriptedHttpServer server;
    ScriptedExchange slow{{},
                          ScriptedHttpServer::Split("HTTP/1.1 302 Found\r\nLocation: /first-moved\r\n"
                                                    "Content-Length: 0\r\n\r\n",
                                                    8)};
    slow.pauseMs = 30;
    server.Add(slow);
    server.Add({LookupRequest("/first-moved", server.Authority().toLatin1()), {Ok("the first document")}});

    Client client;
    std::optional<EHttpException> refusal;
    QTimer::singleShot(60, [&] {
        // Settings changed by the refused caller must not reach the request in progress either.
        client.http.setURL(server.Url("/second"));
        client.http.setProxy(QString("127.0.0.1:%1").arg(ClosedPort()));
        try {
            client.http.Get();
        } catch (const EHttpException &e) {
            refusal = e;
        }
    });
    client.http.setURL(server.Url("/first"));
    EXPECT_NO_THROW(client.http.Get());
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message(), "HTTP component HttpCli1 is busy");
    EXPECT_EQ(refusal->status(), 0);
    EXPECT_EQ(client.Document(), "the first document");
    EXPECT_EQ(server.Mismatches(), QStringList());
    EXPECT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests().value(0).startsWith("GET /first "));
}

TEST(HttpCli, ASilentServerTimesOutButASlowOneDoesNot)
{
    struct Case {
        const char *name;
        bool silent;
        int pauseMs;
        bool timesOut;
    };
    const Case cases[] = {
        {"accepts and never answers", true, 0, true},
        {"answers a piece every 200 ms for almost two seconds", false, 200, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        ScriptedExchange exchange{{}, ScriptedHttpServer::Split(Ok("slow but steady"), 6)};
        exchange.silent = c.silent;
        exchange.pauseMs = c.pauseMs;
        server.Add(exchange);
        Client client;
        client.http.setTimeout(700);
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        EXPECT_EQ(bool(error), c.timesOut);
        if (error) {
            EXPECT_EQ(error->status(), 408);
            EXPECT_EQ(error->message(), "Request timed out: no answer from the server for 0.7 seconds");
        } else {
            EXPECT_EQ(client.Document(), "slow but steady");
        }
    }
    EXPECT_EQ(THttpCli(nullptr).Timeout(), 30000);
}

TEST(HttpCli, TheWindowKeepsRunningDuringASlowGet)
{
    ScriptedHttpServer server;
    ScriptedExchange exchange{{}, ScriptedHttpServer::Split(Ok("0123456789"), 6)};
    exchange.pauseMs = 50;
    server.Add(exchange);

    int ticks = 0;
    QTimer windowTimer;
    QObject::connect(&windowTimer, &QTimer::timeout, [&ticks] { ++ticks; });
    windowTimer.start(10);
    Client client;
    EXPECT_FALSE(client.Get(server.Url("/")));
    EXPECT_EQ(client.Document(), "0123456789");
    // Six pieces 50 ms apart: a stopped event loop would leave the timer at zero.
    EXPECT_GE(ticks, 5);
}

TEST(HttpCli, ABodyPastTheLimitEndsTheRequest)
{
    struct Case {
        const char *name;
        QByteArray head;
        QByteArray body;
        bool closeAfter;
        bool fails;
    };
    const QByteArray big(3000, 'x');
    const QByteArray exact(1000, 'y');
    const Case cases[] = {
        {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n", big, false, true},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
         QByteArray("3e8\r\n" + exact + "\r\n").repeated(3) + "0\r\n\r\n", false, true},
        {"up to the close", "HTTP/1.1 200 OK\r\n\r\n", big, true, true},
        {"exactly the limit", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", exact, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::Split(c.head + c.body, 700), c.closeAfter});
        Client client;
        client.http.setMaxDocumentSize(1000);
        const std::optional<EHttpException> error = client.Get(server.Url("/"));
        EXPECT_EQ(bool(error), c.fails);
        if (error) {
            EXPECT_EQ(error->status(), 413);
            EXPECT_EQ(error->message(), "Document larger than 1000 bytes");
            EXPECT_LE(client.Document().size(), 1000);
        }
    }
    EXPECT_EQ(THttpCli(nullptr).MaxDocumentSize(), 16 * 1024 * 1024);
}

TEST(HttpCli, AbortEndsTheWaitingRequest)
{
    ScriptedHttpServer server;
    ScriptedExchange exchange;
    exchange.silent = true;
    server.Add(exchange);
    Client client;
    QTimer::singleShot(50, [&client] { client.http.Abort(); });
    const std::optional<EHttpException> error = client.Get(server.Url("/"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->status(), 404);
    EXPECT_EQ(error->message(), "Connection aborted on request");
}

TEST(HttpCli, ClosingTheApplicationEndsTheWaitingRequest)
{
    // Quitting ends every event loop of the process for good, so this runs in a child process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ScriptedHttpServer server;
            ScriptedExchange exchange;
            exchange.silent = true;
            server.Add(exchange);
            Client client;
            QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
            const std::optional<EHttpException> error = client.Get(server.Url("/"));
            const bool aborted =
                error && error->status() == 404 && error->message() == "Connection aborted on request";
            std::exit(aborted ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
