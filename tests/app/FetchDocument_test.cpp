#include "app/FetchDocument.h"

#include "lookup/HttpCli.h"

#include "ScriptedHttpServer.h"
#include "TinyproxyProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FetchDocument, ReturnsTheLinesDirectlyAndThroughTinyproxy)
{
    const QByteArray body = "210 rock 7a0a4a09 CD database entry follows (until terminating `.')\r\n"
                            "DTITLE=Artist / Album\r\nTTITLE0=Primo\r\nTTITLE1=Secondo\r\n.\r\n";
    const QStringList lines = QString(body).split("\r\n", Qt::SkipEmptyParts);
    TinyproxyProcess proxy;
    for (const bool viaProxy : {false, true}) {
        SCOPED_TRACE(viaProxy ? "through tinyproxy" : "direct");
        if (viaProxy) {
            if (!TinyproxyProcess::Available())
                GTEST_SKIP() << "tinyproxy is not installed";
            ASSERT_TRUE(proxy.Start("user", "pass")) << proxy.Log().toStdString();
        }
        ScriptedHttpServer server;
        const QByteArray answer =
            "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
        server.Add({{}, ScriptedHttpServer::Split(answer + body, 9)});
        QTemporaryDir programDir;
        THttpCli http;
        QStringList pagina, messages;
        const ProxySettings settings =
            viaProxy ? ProxySettings{"127.0.0.1", QString::number(proxy.port()), "user", "pass"}
                     : ProxySettings{};
        EXPECT_EQ(FetchDocument(http, settings, server.Url("/~cddb/cddb.cgi?cmd=cddb+read+rock+7a0a4a09+"),
                                programDir.path(), pagina, QDeadlineTimer(60000),
                                [&messages](const QString &m) { messages << m; }),
                  lines);
        EXPECT_EQ(pagina, lines);
        EXPECT_TRUE(messages.isEmpty());
        QFile temp(programDir.filePath("temp"));
        ASSERT_TRUE(temp.open(QIODevice::ReadOnly));
        EXPECT_EQ(temp.readAll(), body);
        EXPECT_EQ(server.Requests().size(), 1);
    }
}

TEST(FetchDocument, AFailedFetchIsNothingWithoutAMessageBox)
{
    ScriptedHttpServer server;
    server.Add({{}, {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}});
    QTemporaryDir programDir;
    THttpCli http;
    QStringList pagina{"kept"};
    // No reporter: a message box would block this test, and none may appear for a failed request.
    EXPECT_FALSE(FetchDocument(http, {}, server.Url("/x"), programDir.path(), pagina, QDeadlineTimer(60000)));
    EXPECT_EQ(pagina, QStringList{"kept"});
}
