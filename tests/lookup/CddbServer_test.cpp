// The demo's CDDB server (tests/support): its answers to the commands and requests the lookup sends,
// and one lookup's exchange through the program's own HTTP client.
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "CddbHttpExchange.h"

#include "lookup/Cddb.h"
#include "lookup/HttpCli.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace
{

const QString kDiscId = "2200be04";

// The demo disc's entry as the demo script writes it (UTF-8 text).
const char kEntry[] = "# xmcd\n"
                      "#\n"
                      "# Track frame offsets:\n"
                      "#\t150\n#\t3150\n#\t7275\n#\t9525\n"
                      "#\n"
                      "# Disc length: 192 seconds\n"
                      "#\n"
                      "DISCID=2200be04\n"
                      "DTITLE=QUARLE Demo Ensemble / Quattro brani di prova\n"
                      "TTITLE0=Preludio d'autunno\n"
                      "TTITLE1=Andante / Allegro\n"
                      "TTITLE2=Canzone della sera\n"
                      "TTITLE3=Finale: più mosso\n"
                      "\n"
                      ".\n"
                      "EXTD=\n";

CddbDemoDatabase DemoDatabase()
{
    CddbDemoDatabase database;
    QString error;
    EXPECT_TRUE(database.Add("classical", QString::fromUtf8(kEntry), &error)) << error.toStdString();
    return database;
}

struct ParsedReply {
    int status = 0;
    QByteArray headers;
    QByteArray body;
};

ParsedReply Parse(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    ParsedReply reply;
    reply.status = bytes.mid(9, 3).toInt();
    reply.headers = bytes.left(end + 2);
    reply.body = bytes.mid(end + 4);
    return reply;
}

QByteArray Get(const QByteArray &target, const QByteArray &fields = "Host: freedb.dbpoweramp.com\r\n",
               const QByteArray &version = "HTTP/1.1")
{
    return "GET " + target + " " + version + "\r\n" + fields + "\r\n";
}

} // namespace

TEST(CddbDemoDatabase, AnswersQueriesAndReadsLikeACddbServer)
{
    const CddbDemoDatabase database = DemoDatabase();
    const QString readHead = "210 classical 2200be04 CD database entry follows (until terminating `.')";
    struct Case {
        const char *name;
        QString command;
        QStringList expected; // when only the first line matters, just that line
        bool wholeAnswer;
    };
    const Case cases[] = {
        {"known disc",
         "cddb query 2200be04 4 150 3150 7275 9525 192",
         {"200 classical 2200be04 QUARLE Demo Ensemble / Quattro brani di prova"},
         true},
        {"known disc, upper-case id",
         "cddb query 2200BE04 4 150 3150 7275 9525 192",
         {"200 classical 2200be04 QUARLE Demo Ensemble / Quattro brani di prova"},
         true},
        {"unknown disc", "cddb query 12345678 1 150 20", {"202 No match found."}, true},
        {"offsets fewer than the count",
         "cddb query 2200be04 4 150 3150 192",
         {"500 Command syntax error."},
         true},
        {"no track count", "cddb query 2200be04", {"500 Command syntax error."}, true},
        {"id that is not one", "cddb query 2200be0x 1 150 2", {"500 Command syntax error."}, true},
        {"read, known entry", "cddb read classical 2200be04", {readHead}, false},
        {"read, other category",
         "cddb read rock 2200be04",
         {"401 rock 2200be04 No such CD entry in database."},
         true},
        // After a query without a match the program reads with an empty category ("cddb+read++id+").
        {"read without category", "cddb read  2200be04 ", {"500 Command syntax error."}, true},
        {"other command", "motd", {"500 Unrecognized command."}, true},
        {"no command", "", {"500 Unrecognized command."}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList answer = database.Answer(c.command);
        if (c.wholeAnswer) {
            EXPECT_EQ(answer, c.expected);
        } else {
            EXPECT_EQ(answer.value(0), c.expected.value(0));
        }
    }

    // The entry follows the status line whole, the empty and "." lines of the file left out so that
    // the list does not end early; the titles come out as the program reads them.
    const QStringList entry = database.Answer("cddb read classical 2200be04");
    ASSERT_GE(entry.size(), 3);
    EXPECT_EQ(entry.last(), ".");
    EXPECT_EQ(entry.count("."), 1);
    EXPECT_TRUE(entry.contains("EXTD="));
    std::map<int, QString> titles;
    Cddb::ScanTitles(entry, [&titles](int index, const QString &title) { titles[index] = title; });
    const std::map<int, QString> expected{{0, "Preludio d'autunno"},
                                          {1, "Andante / Allegro"},
                                          {2, "Canzone della sera"},
                                          {3, QString::fromUtf8("Finale: più mosso")}};
    EXPECT_EQ(titles, expected);
}

TEST(CddbDemoDatabase, RefusesAnEntryWithoutAUsableDiscId)
{
    const struct {
        const char *name;
        const char *category;
        const char *text;
    } cases[] = {
        {"no DISCID line", "misc", "DTITLE=A / B\nTTITLE0=x\n"},
        {"id too short", "misc", "DISCID=2200be0\nDTITLE=A / B\n"},
        {"category of two words", "two words", kEntry},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CddbDemoDatabase database;
        QString error;
        EXPECT_FALSE(database.Add(c.category, QString::fromUtf8(c.text), &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(database.Entries().empty());
    }

    // Several ids on one line, as entries shared by two pressings have them.
    CddbDemoDatabase database;
    ASSERT_TRUE(database.Add("misc", "DISCID=11111101,2222AA01\nDTITLE=X / Y\n"));
    EXPECT_EQ(database.Answer("cddb query 2222aa01 1 150 2").value(0), "200 misc 2222aa01 X / Y");
}

TEST(CddbHttpExchange, AnswersRequestsInOriginAndAbsoluteForm)
{
    const CddbDemoDatabase database = DemoDatabase();
    const CddbHttpExchange exchange(database);
    const QByteArray query = "/~cddb/cddb.cgi?cmd=cddb+query+2200be04+4+150+3150+7275+9525+192"
                             "&hello=quarle+localhost+QUARLE+1.0&proto=4";
    const QByteArray found = "200 classical 2200be04 QUARLE Demo Ensemble / Quattro brani di prova\r\n";
    struct Case {
        const char *name;
        QByteArray request;
        int status;
        QByteArray bodyStart; // the body's first bytes; empty: not checked
        bool close;
    };
    const Case cases[] = {
        {"origin form", Get(query), 200, found, false},
        {"absolute form, as through a proxy", Get("http://freedb.dbpoweramp.com" + query), 200, found, false},
        {"absolute form with port, upper-case scheme", Get("HTTP://freedb.dbpoweramp.com:80" + query), 200,
         found, false},
        {"encoded path", Get("/%7Ecddb/cddb.cgi?cmd=cddb+query+2200be04+4+150+3150+7275+9525+192"), 200,
         found, false},
        {"unknown disc", Get("/~cddb/cddb.cgi?cmd=cddb+query+12345678+1+150+20&proto=4"), 200,
         "202 No match found.\r\n", false},
        {"read, Latin-1 at level 4",
         Get("http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=cddb+read+classical+2200be04+"
             "&hello=quarle+localhost+QUARLE+1.0&proto=4"),
         200, "210 classical 2200be04 CD database entry follows (until terminating `.')\r\n# xmcd\r\n",
         false},
        {"no command", Get("/~cddb/cddb.cgi"), 200, "500 Unrecognized command.\r\n", false},
        {"Connection: close is honoured", Get(query, "Host: x\r\nConnection: close\r\n"), 200, found, true},
        {"HTTP/1.0 closes unless asked", Get(query, "", "HTTP/1.0"), 200, found, true},
        {"HTTP/1.0 keep-alive", Get(query, "Connection: Keep-Alive\r\n", "HTTP/1.0"), 200, found, false},
        {"bare LF line ends", "GET " + query + " HTTP/1.1\nHost: x\n\n", 200, found, false},
        {"other path", Get("/cddb.cgi?cmd=motd"), 404, "", false},
        {"other method", "DELETE " + query + " HTTP/1.1\r\n\r\n", 405, "", false},
        {"request with a body", "POST " + query + " HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 400, "",
         true},
        {"chunked body", Get(query, "Transfer-Encoding: chunked\r\n"), 400, "", true},
        {"bad Content-Length", Get(query, "Content-Length: -1\r\n"), 400, "", true},
        {"garbage", "\x16\x03\x01 hello\r\n\r\n", 400, "", true},
        {"target of another form", Get("freedb.dbpoweramp.com/~cddb/cddb.cgi"), 400, "", true},
        {"header line without a colon", Get(query, "Host x\r\n"), 400, "", true},
        {"folded header line", Get(query, "Host: x\r\n y\r\n"), 400, "", true},
        {"other HTTP version", Get(query, "", "HTTP/2.0"), 505, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray inbox = c.request;
        const std::optional<CddbHttpExchange::Reply> reply = exchange.Next(inbox);
        ASSERT_TRUE(reply.has_value());
        const ParsedReply parsed = Parse(reply->bytes);
        EXPECT_EQ(parsed.status, c.status);
        EXPECT_EQ(reply->close, c.close);
        EXPECT_EQ(parsed.headers.contains("Connection: close\r\n"), c.close);
        EXPECT_TRUE(parsed.headers.contains("Content-Type: text/plain"));
        EXPECT_TRUE(
            parsed.headers.contains("Content-Length: " + QByteArray::number(parsed.body.size()) + "\r\n"))
            << parsed.headers.toStdString();
        if (!c.bodyStart.isEmpty()) {
            EXPECT_EQ(parsed.body.left(c.bodyStart.size()), c.bodyStart);
        }
        EXPECT_TRUE(inbox.isEmpty());
    }

    // The entry's text goes out in the character set of the protocol level asked for.
    for (const auto &[proto, title] : {std::pair{"4", QByteArray("TTITLE3=Finale: pi\xf9 mosso\r\n")},
                                       std::pair{"6", QByteArray("TTITLE3=Finale: pi\xc3\xb9 mosso\r\n")}}) {
        SCOPED_TRACE(proto);
        QByteArray inbox = Get("/~cddb/cddb.cgi?cmd=cddb+read+classical+2200be04&proto=" + QByteArray(proto));
        const std::optional<CddbHttpExchange::Reply> reply = exchange.Next(inbox);
        ASSERT_TRUE(reply.has_value());
        EXPECT_TRUE(Parse(reply->bytes).body.contains(title));
    }
}

TEST(CddbHttpExchange, FramesRequestsAsTheyArriveAndBoundsTheHeader)
{
    const CddbDemoDatabase database = DemoDatabase();
    const CddbHttpExchange exchange(database);
    const QByteArray query = Get("/~cddb/cddb.cgi?cmd=cddb+query+2200be04+4+150+3150+7275+9525+192");
    const QByteArray read = Get("/~cddb/cddb.cgi?cmd=cddb+read+classical+2200be04+");

    // A request split anywhere waits for its end; two in one piece are answered in order.
    for (qsizetype cut = 0; cut < query.size(); ++cut) {
        QByteArray inbox = query.left(cut);
        ASSERT_FALSE(exchange.Next(inbox).has_value()) << cut;
        EXPECT_EQ(inbox, query.left(cut)) << cut;
    }
    QByteArray inbox = "\r\n" + query + read;
    const std::optional<CddbHttpExchange::Reply> first = exchange.Next(inbox);
    const std::optional<CddbHttpExchange::Reply> second = exchange.Next(inbox);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(Parse(first->bytes).body.startsWith("200 "));
    EXPECT_TRUE(Parse(second->bytes).body.startsWith("210 "));
    EXPECT_FALSE(exchange.Next(inbox).has_value());

    // A header that never ends is refused once it passes the bound, not buffered for ever.
    QByteArray endless = "GET / HTTP/1.1\r\nX: " + QByteArray(CddbHttpExchange::MaxHeaderBytes, 'a');
    const std::optional<CddbHttpExchange::Reply> refused = exchange.Next(endless);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(Parse(refused->bytes).status, 431);
    EXPECT_TRUE(refused->close);
    EXPECT_TRUE(endless.isEmpty());

    QByteArray justLonger =
        Get("/~cddb/cddb.cgi", "X: " + QByteArray(CddbHttpExchange::MaxHeaderBytes, 'a') + "\r\n");
    const std::optional<CddbHttpExchange::Reply> tooLong = exchange.Next(justLonger);
    ASSERT_TRUE(tooLong.has_value());
    EXPECT_EQ(Parse(tooLong->bytes).status, 431);
}

// The lookup's two requests through the program's own client, with the server set as its proxy the
// way the demo sets the "Config. Proxy" page: query then read, on one connection.
TEST(CddbDemoServer, ServesALookupThroughTheProgramsClientOnOneConnection)
{
    const CddbDemoDatabase database = DemoDatabase();
    CddbDemoServer server(database);
    QString error;
    ASSERT_TRUE(server.Listen(0, &error)) << error.toStdString();

    THttpCli http;
    http.setConnection("Keep-Alive");
    http.setProxy("127.0.0.1");
    http.setProxyPort(QString::number(server.Port()));
    QBuffer buffer;
    http.OnDocBegin = [&](QObject *) {
        buffer.close();
        buffer.setData(QByteArray());
        buffer.open(QIODevice::WriteOnly);
        http.setRcvdStream(&buffer);
    };
    http.OnDocEnd = [&](QObject *) {
        http.setRcvdStream(nullptr);
        buffer.close();
    };
    const auto fetch = [&](const QString &url) {
        http.setURL(url);
        http.Get();
        return QString::fromLatin1(buffer.data()).split("\r\n");
    };

    const QStringList answer = fetch(Cddb::QueryUrl(kDiscId, {150, 3150, 7275, 9525}, 190));
    const CddbMatch match = Cddb::QueryMatch(answer);
    EXPECT_TRUE(match.found);
    EXPECT_EQ(match.category, "classical");
    EXPECT_EQ(match.title, "QUARLE Demo Ensemble / Quattro brani di prova");

    const QStringList entry = fetch(Cddb::ReadUrl(match.category, kDiscId));
    EXPECT_TRUE(Cddb::IsSuccess(Cddb::StatusWord(entry)));
    std::map<int, QString> titles;
    Cddb::ScanTitles(entry, [&titles](int index, const QString &title) { titles[index] = title; });
    EXPECT_EQ(titles[1], "Andante / Allegro");
    EXPECT_EQ(titles[3], QString::fromUtf8("Finale: più mosso"));

    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(server.Connections(), 1);
}

TEST(CddbDemoServer, ClosesAnIdleConnection)
{
    const CddbDemoDatabase database = DemoDatabase();
    CddbDemoServer server(database);
    server.setIdleTimeoutMs(100);
    ASSERT_TRUE(server.Listen(0));

    // A client that opens a connection and sends half a request, then nothing.
    QTcpSocket socket;
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_TRUE(socket.waitForConnected(10000));
    socket.write("GET /~cddb/cddb.cgi HTTP/1.1\r\n");
    EXPECT_TRUE(closed.wait(30000));
    EXPECT_EQ(server.Requests(), 0);
}
