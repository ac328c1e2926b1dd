// The demo's CDDB server (tests/support): its answers to the commands and requests the lookup sends,
// and one lookup's exchange through the program's own HTTP client.
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "CddbHttpExchange.h"
#include "HttpTestClient.h"
#include "lookup/Cddb.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace
{

// The demo disc's entry as the demo script writes it (UTF-8 text).
const char kEntry[] = "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\t3150\n#\t7275\n#\t9525\n#\n"
                      "DISCID=2200be04\nDTITLE=QUARLE Demo Ensemble / Quattro brani di prova\n"
                      "TTITLE0=Preludio d'autunno\nTTITLE1=Andante / Allegro\nTTITLE2=Canzone della sera\n"
                      "TTITLE3=Finale: più mosso\n\n.\nEXTD=\n";
const QString kFound = "200 classical 2200be04 QUARLE Demo Ensemble / Quattro brani di prova";
const QByteArray kQuery = "/~cddb/cddb.cgi?cmd=cddb+query+2200be04+4+150+3150+7275+9525+192&proto=4";

CddbDemoDatabase DemoDatabase()
{
    CddbDemoDatabase database;
    QString error;
    EXPECT_TRUE(database.Add("classical", QString::fromUtf8(kEntry), &error)) << error.toStdString();
    return database;
}

std::map<int, QString> Titles(const QStringList &entry)
{
    std::map<int, QString> titles;
    Cddb::ScanTitles(entry, [&titles](int index, const QString &title) { titles[index] = title; });
    return titles;
}

QByteArray Get(const QByteArray &target, const QByteArray &fields = "Host: x\r\n",
               const QByteArray &version = "HTTP/1.1")
{
    return "GET " + target + " " + version + "\r\n" + fields + "\r\n";
}

} // namespace

// After a query without a match the program reads with an empty category ("cddb+read++id+"); the empty
// and "." lines of the file are left out so that the list does not end early.
TEST(CddbDemoDatabase, AnswersQueriesAndReadsLikeACddbServer)
{
    const CddbDemoDatabase database = DemoDatabase();
    EXPECT_EQ(database.Answer("cddb query 12345678 1 150 20"), QStringList{"202 No match found."});
    EXPECT_EQ(database.Answer("cddb read  2200be04 "), QStringList{"500 Command syntax error."});
    const QStringList entry = database.Answer("cddb read classical 2200be04");
    EXPECT_EQ(entry.count("."), 1);
    EXPECT_EQ(entry.last(), ".");
    EXPECT_EQ(Titles(entry)[3], QString::fromUtf8("Finale: più mosso"));
}

// Origin form, or absolute form as through a proxy; garbage and unknown versions end the connection.
TEST(CddbHttpExchange, AnswersRequestsInOriginAndAbsoluteForm)
{
    const CddbDemoDatabase database = DemoDatabase();
    const CddbHttpExchange exchange(database);
    const QByteArray found = kFound.toLatin1() + "\r\n";
    struct Case {
        QByteArray request;
        int status;
        bool close;
    };
    const Case cases[] = {
        {Get(kQuery), 200, false},
        {Get("HTTP://freedb.dbpoweramp.com:80" + kQuery), 200, false},
        {Get(kQuery, "Connection: close\r\n"), 200, true},
        {Get(kQuery, "", "HTTP/1.0"), 200, true},
        {"\x16\x03\x01 hello\r\n\r\n", 400, true},
        {Get(kQuery, "", "HTTP/2.0"), 505, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        QByteArray inbox = c.request;
        const std::optional<CddbHttpExchange::Reply> reply = exchange.Next(inbox);
        ASSERT_TRUE(reply.has_value());
        const QByteArray body = reply->bytes.mid(reply->bytes.indexOf("\r\n\r\n") + 4);
        EXPECT_EQ(reply->bytes.mid(9, 3).toInt(), c.status);
        EXPECT_EQ(reply->close, c.close);
        EXPECT_EQ(reply->bytes.contains("Connection: close\r\n"), c.close);
        EXPECT_TRUE(reply->bytes.contains("Content-Length: " + QByteArray::number(body.size()) + "\r\n"));
        EXPECT_EQ(body.startsWith(found), c.status == 200);
        EXPECT_TRUE(inbox.isEmpty());
    }
}

TEST(CddbHttpExchange, FramesRequestsAsTheyArriveAndBoundsTheHeader)
{
    const CddbDemoDatabase database = DemoDatabase();
    const CddbHttpExchange exchange(database);
    const QByteArray query = Get(kQuery);
    for (qsizetype cut = 0; cut < query.size(); ++cut) {
        QByteArray inbox = query.left(cut);
        ASSERT_FALSE(exchange.Next(inbox).has_value()) << cut;
        EXPECT_EQ(inbox, query.left(cut)) << cut;
    }
    QByteArray inbox = "\r\n" + query + Get("/~cddb/cddb.cgi?cmd=cddb+read+classical+2200be04+");
    EXPECT_TRUE(exchange.Next(inbox).value().bytes.contains("\r\n\r\n200 "));
    EXPECT_TRUE(exchange.Next(inbox).value().bytes.contains("\r\n\r\n210 "));
    EXPECT_FALSE(exchange.Next(inbox).has_value());

    // A header that never ends is refused once it passes the bound, not buffered for ever.
    QByteArray endless = "GET / HTTP/1.1\r\nX: " + QByteArray(CddbHttpExchange::MaxHeaderBytes, 'a');
    const std::optional<CddbHttpExchange::Reply> refused = exchange.Next(endless);
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->bytes.startsWith("HTTP/1.1 431"));
    EXPECT_TRUE(refused->close);
    EXPECT_TRUE(endless.isEmpty());
}

// The lookup's two requests through the program's own client, with the server as its proxy the way
// the demo sets the "Config. Proxy" page: query then read, on one connection.
TEST(CddbDemoServer, ServesALookupThroughTheProgramsClientOnOneConnection)
{
    const CddbDemoDatabase database = DemoDatabase();
    CddbDemoServer server(database);
    QString error;
    ASSERT_TRUE(server.Listen(0, &error)) << error.toStdString();
    HttpTestClient client;
    client.http.setProxy("127.0.0.1");
    client.http.setProxyPort(QString::number(server.Port()));

    EXPECT_FALSE(client.Get(Cddb::QueryUrl("2200be04", {150, 3150, 7275, 9525}, 190)));
    const CddbMatch match = Cddb::QueryMatch(QString::fromLatin1(client.Document()).split("\r\n"));
    EXPECT_TRUE(match.found);
    EXPECT_EQ(match.category, "classical");
    EXPECT_FALSE(client.Get(Cddb::ReadUrl(match.category, "2200be04")));
    const std::map<int, QString> titles = Titles(QString::fromLatin1(client.Document()).split("\r\n"));
    EXPECT_EQ(titles.size(), 4u);
    EXPECT_EQ(titles.at(3), QString::fromUtf8("Finale: più mosso"));
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(server.Connections(), 1);
}

TEST(CddbDemoServer, ClosesAnIdleConnection)
{
    const CddbDemoDatabase database = DemoDatabase();
    CddbDemoServer server(database);
    server.setIdleTimeoutMs(100);
    ASSERT_TRUE(server.Listen(0));
    // Half a request, then nothing.
    QTcpSocket socket;
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_TRUE(socket.waitForConnected(10000));
    socket.write("GET /~cddb/cddb.cgi HTTP/1.1\r\n");
    EXPECT_TRUE(closed.wait(30000));
    EXPECT_EQ(server.Requests(), 0);
}
