#include "app/FetchDocument.h"

#include "lookup/HttpCli.h"

#include "ScriptedHttpServer.h"
#include "TinyproxyProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray Ok(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray kReadAnswer = "210 rock 7a0a4a09 CD database entry follows (until terminating `.')\r\n"
                               "DTITLE=Artist / Album\r\nTTITLE0=Primo\r\nTTITLE1=Secondo\r\n.\r\n";
const QStringList kReadLines{"210 rock 7a0a4a09 CD database entry follows (until terminating `.')",
                             "DTITLE=Artist / Album", "TTITLE0=Primo", "TTITLE1=Secondo", "."};

} // namespace

TEST(FetchDocument, ReturnsTheLinesDirectlyAndThroughTinyproxy)
{
    std::unique_ptr<TinyproxyProcess> proxy;
    if (TinyproxyProcess::Available()) {
        proxy = std::make_unique<TinyproxyProcess>();
        ASSERT_TRUE(proxy->Start("user", "pass")) << proxy->Log().toStdString();
    }
    struct Case {
        const char *name;
        bool viaProxy;
    };
    for (const Case &c : {Case{"direct", false}, Case{"through tinyproxy", true}}) {
        SCOPED_TRACE(c.name);
        if (c.viaProxy && !proxy)
            GTEST_SKIP() << "tinyproxy is not installed";
        ScriptedHttpServer server;
        server.Add({{}, ScriptedHttpServer::Split(Ok(kReadAnswer), 9)});
        QTemporaryDir programDir;
        THttpCli http;
        http.setObjectName("HttpCli1");
        QStringList pagina;
        QStringList messages;
        const ProxySettings settings =
            c.viaProxy ? ProxySettings{"127.0.0.1", QString::number(proxy->port()), "user", "pass"}
                       : ProxySettings{};
        const std::optional<QStringList> lines =
            FetchDocument(http, settings, server.Url("/~cddb/cddb.cgi?cmd=cddb+read+rock+7a0a4a09+"),
                          programDir.path(), pagina, [&messages](const QString &m) { messages << m; });
        ASSERT_TRUE(lines);
        EXPECT_EQ(*lines, kReadLines);
        EXPECT_EQ(pagina, kReadLines);
        EXPECT_TRUE(messages.isEmpty());
        QFile temp(programDir.filePath("temp"));
        ASSERT_TRUE(temp.open(QIODevice::ReadOnly));
        EXPECT_EQ(temp.readAll(), kReadAnswer);
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
    EXPECT_FALSE(FetchDocument(http, {}, server.Url("/x"), programDir.path(), pagina));
    EXPECT_EQ(pagina, QStringList{"kept"});
}
