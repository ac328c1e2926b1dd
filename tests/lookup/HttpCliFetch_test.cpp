#include "HttpTestClient.h"
#include "ScriptedHttpServer.h"
#include "TinyproxyProcess.h"
#include "lookup/DocumentFetcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The window's side of a fetch: its client, its folder and the messages it would show.
struct Window {
    THttpCli http;
    QTemporaryDir programDir;
    QStringList pagina{"earlier line"};
    QStringList messages;
    DocumentFetcher fetcher{http, programDir.path(), [this](const QString &m) { messages.append(m); }};

    Window() { http.setObjectName("HttpCli1"); }
    QString TempPath() const { return programDir.filePath("temp"); }
    std::optional<QStringList> Fetch(const QString &url, const ProxySettings &proxy = {},
                                     QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever))
    {
        return fetcher.Fetch(proxy, url, pagina, deadline);
    }
};

} // namespace

TEST(HttpCliFetch, TheDocumentComesBackAsLatin1LinesAndReplacesTheOldFile)
{
    const QByteArray body = "210 Found\r\nrock 7a0a4a09 A / B\nclassical 7a0a4a09 C\r\r\nlast \xe8 line";
    QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += 13)
        chunked += QByteArray::number(body.mid(at, 13).size(), 16) + "\r\n" + body.mid(at, 13) + "\r\n";
    ScriptedHttpServer server;
    server.Add({{}, ScriptedHttpServer::Split(chunked + "0\r\n\r\n", 17)});
    Window window;
    QFile old(window.TempPath());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older and much longer document that must be gone afterwards\n");
    old.close();

    const QStringList expected{"210 Found", "rock 7a0a4a09 A / B", "classical 7a0a4a09 C", "",
                               QString::fromUtf8("last è line")};
    EXPECT_EQ(window.Fetch(server.Url("/")), expected);
    EXPECT_EQ(window.pagina, expected);
    EXPECT_EQ(ReadFile(window.TempPath()), body);
    EXPECT_EQ(window.messages, QStringList());
    EXPECT_EQ(window.http.RcvdStream(), nullptr);
}

TEST(HttpCliFetch, FailedRequestsGiveNothingAndNoMessage)
{
    ScriptedHttpServer server;
    server.Add({{}, {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}});
    for (const QString &url : {server.Url("/x"), QString("http://unresolvable..host/x")}) {
        Window window;
        EXPECT_FALSE(window.Fetch(url));
        EXPECT_EQ(window.pagina, QStringList{"earlier line"});
        EXPECT_EQ(window.messages, QStringList());
    }
}

TEST(HttpCliFetch, AnAnswerWithoutBodyIsAnEmptyDocumentNotThePreviousOne)
{
    const QList<QByteArray> cases[] = {
        {"HTTP/1.1 204 No Content\r\n\r\n"},
        {Answer("HTTP/1.1 302 Found", "Location: /next\r\n", "moved"), Ok("")},
    };
    for (const QList<QByteArray> &answers : cases) {
        ScriptedHttpServer server;
        server.Add({{}, {Ok("first document\r\n")}});
        for (const QByteArray &answer : answers)
            server.Add({{}, {answer}});
        Window window;
        EXPECT_EQ(window.Fetch(server.Url("/first")), QStringList{"first document"});
        EXPECT_EQ(window.Fetch(server.Url("/second")), QStringList());
        EXPECT_EQ(ReadFile(window.TempPath()), "");
    }
}

// No answer can make the lookup hold much: too long, too many lines, or trickled past the deadline.
TEST(HttpCliFetch, ADocumentPastTheBoundsGivesNothing)
{
    const QByteArray open = "HTTP/1.1 200 OK\r\n\r\n";
    const struct {
        const char *name;
        QList<QByteArray> answer;
        int pauseMs;
    } cases[] = {
        {"over 1 MiB",
         {open, QByteArray(DocumentFetcher::kMaxDocumentSize / 2, 'x') + "\n",
          QByteArray(DocumentFetcher::kMaxDocumentSize / 2, 'x')},
         2},
        {"too many lines", {open + QByteArray(DocumentFetcher::kMaxDocumentLines + 1, '\n')}, 2},
        {"a byte at a time", ScriptedHttpServer::Split(Ok(QByteArray(100, 'x')), 1), 20},
    };
    for (const auto &c : cases) {
        ScriptedHttpServer server;
        ScriptedExchange exchange{{}, c.answer, true};
        exchange.pauseMs = c.pauseMs;
        server.Add(exchange);
        Window window;
        EXPECT_FALSE(window.Fetch(server.Url("/"), {}, QDeadlineTimer(500))) << c.name;
        EXPECT_EQ(window.pagina, QStringList{"earlier line"}) << c.name;
        EXPECT_FALSE(window.http.Busy()) << c.name;
        EXPECT_LE(QFileInfo(window.TempPath()).size(), DocumentFetcher::kMaxDocumentSize) << c.name;
    }
}

TEST(HttpCliFetch, ADocumentFileThatCannotBeCreatedIsReportedOnce)
{
    ScriptedHttpServer server;
    server.Add({{}, {Ok("lost")}});
    Window window;
    ASSERT_TRUE(QDir(window.programDir.path()).mkdir("temp")); // a folder where the file should be
    EXPECT_FALSE(window.Fetch(server.Url("/x")));
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith("Error opening file: ")) << window.messages[0].toStdString();
    EXPECT_FALSE(window.http.Busy());
}

// The refused fetch must neither touch the document file being written nor its caller's lines.
TEST(HttpCliFetch, AFetchStartedDuringAnotherIsRefusedAndTheFirstCompletes)
{
    ScriptedHttpServer server;
    ScriptedExchange slow{{}, ScriptedHttpServer::Split(Ok("query answer\r\n"), 5)};
    slow.pauseMs = 40;
    server.Add(slow);
    Window window;
    std::optional<std::optional<QStringList>> nested;
    QStringList nestedPagina{"untouched"};
    QTimer::singleShot(50, [&] {
        DocumentFetcher second(window.http, window.programDir.path(), {});
        nested = second.Fetch({}, server.Url("/second"), nestedPagina);
    });
    EXPECT_EQ(window.Fetch(server.Url("/first")), QStringList{"query answer"});
    ASSERT_TRUE(nested);
    EXPECT_FALSE(*nested);
    EXPECT_EQ(nestedPagina, QStringList{"untouched"});
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(HttpCliFetch, ThroughARealProxyWithBasicAuthentication)
{
    if (!TinyproxyProcess::Available())
        GTEST_SKIP() << "tinyproxy is not installed";
    TinyproxyProcess proxy;
    ASSERT_TRUE(proxy.Start("user", "pass")) << proxy.Log().toStdString();
    for (const auto &[user, password] : {std::pair{"user", "pass"}, {"", ""}, {"user", "wrong"}}) {
        const bool right = QByteArray(password) == "pass";
        SCOPED_TRACE(password);
        ScriptedHttpServer server;
        if (right)
            server.Add({{}, ScriptedHttpServer::Split(Ok("200 rock 7a0a4a09 Artist / Album\r\n"), 7)});
        Window window;
        const std::optional<QStringList> lines =
            window.Fetch(server.Url("/~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09"),
                         {"127.0.0.1", QString::number(proxy.port()), user, password});
        ASSERT_TRUE(lines) << proxy.Log().toStdString();
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(server.Requests().size(), right ? 1 : 0);
        if (right) {
            EXPECT_EQ(*lines, QStringList{"200 rock 7a0a4a09 Artist / Album"});
            EXPECT_TRUE(
                server.Requests()[0].startsWith("GET /~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09 HTTP/1."));
        } else {
            // The proxy's refusal page (407, or 401 for a wrong password) is the document, not a failure.
            EXPECT_TRUE(lines->join("\n").contains("Generated by tinyproxy"))
                << lines->join("\n").toStdString();
        }
    }
}
