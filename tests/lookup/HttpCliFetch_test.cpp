#include "lookup/DocumentFetcher.h"
#include "lookup/HttpCli.h"

#include "ScriptedHttpServer.h"
#include "TinyproxyProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

QByteArray Ok(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

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
    DocumentFetcher fetcher{http, programDir.path(),
                            [this](const QString &message) { messages.append(message); }};

    Window() { http.setObjectName("HttpCli1"); }
    QString TempPath() const { return programDir.filePath("temp"); }
    std::optional<QStringList> Fetch(const QString &url, const ProxySettings &proxy = {})
    {
        return fetcher.Fetch(proxy, url, pagina);
    }
};

} // namespace

TEST(HttpCliFetch, TheDocumentComesBackAsLatin1Lines)
{
    const QByteArray body =
        "210 Found exact matches, list follows\r\nrock 7a0a4a09 A / B\nclassical 7a0a4a09 C\r"
        "\r\nlast \xe8 line";
    ScriptedHttpServer server;
    QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += 13) {
        const QByteArray piece = body.mid(at, 13);
        chunked += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    chunked += "0\r\n\r\n";
    server.Add({{}, ScriptedHttpServer::Split(chunked, 17)});

    Window window;
    QFile old(window.TempPath());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older and much longer document that must be gone afterwards\n");
    old.close();

    const std::optional<QStringList> lines = window.Fetch(server.Url("/~cddb/cddb.cgi?cmd=cddb+query"));
    const QStringList expected{"210 Found exact matches, list follows", "rock 7a0a4a09 A / B",
                               "classical 7a0a4a09 C", "", QString::fromUtf8("last è line")};
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, expected);
    EXPECT_EQ(window.pagina, expected);
    EXPECT_EQ(ReadFile(window.TempPath()), body);
    EXPECT_EQ(window.messages, QStringList());
    EXPECT_EQ(window.http.RcvdStream(), nullptr);
    EXPECT_FALSE(window.http.OnDocBegin);
    // The window's settings for every request.
    EXPECT_EQ(window.http.AcceptLanguage(), "it");
    EXPECT_EQ(window.http.Connection(), "Keep-Alive");
    EXPECT_EQ(window.http.RequestVer(), "1.1");
}

TEST(HttpCliFetch, FailedRequestsGiveNothingAndNoMessage)
{
    struct Case {
        const char *name;
        QString url;
        QByteArray answer;
    };
    ScriptedHttpServer server;
    const Case cases[] = {
        {"404", server.Url("/x"), "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"},
        {"unresolvable host", "http://unresolvable..host/x", ""},
        {"https", "https://127.0.0.1/x", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.answer.isEmpty())
            server.Add({{}, {c.answer}});
        Window window;
        EXPECT_FALSE(window.Fetch(c.url));
        EXPECT_EQ(window.pagina, QStringList{"earlier line"});
        EXPECT_EQ(window.messages, QStringList());
        EXPECT_EQ(window.http.RcvdStream(), nullptr);
    }
}

TEST(HttpCliFetch, AnAnswerWithoutBodyIsAnEmptyDocumentNotThePreviousOne)
{
    struct Case {
        const char *name;
        QList<QByteArray> answers;
    };
    const Case cases[] = {
        {"204", {"HTTP/1.1 204 No Content\r\n\r\n"}},
        {"relocation with a body, then none",
         {"HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\nmoved",
          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Add({{}, {Ok("first document\r\n")}});
        for (const QByteArray &answer : c.answers)
            server.Add({{}, {answer}});
        Window window;
        EXPECT_EQ(window.Fetch(server.Url("/first")), QStringList{"first document"});
        EXPECT_EQ(window.Fetch(server.Url("/second")), QStringList());
        EXPECT_EQ(window.pagina, QStringList());
        EXPECT_EQ(ReadFile(window.TempPath()), "");
    }
}

TEST(HttpCliFetch, ADocumentFileThatCannotBeCreatedIsReportedOnce)
{
    ScriptedHttpServer server;
    server.Add({{}, {Ok("lost")}});
    Window window;
    ASSERT_TRUE(QDir(window.programDir.path()).mkdir("temp"));
    EXPECT_FALSE(window.Fetch(server.Url("/x")));
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith("Error opening file: ")) << window.messages[0].toStdString();
    EXPECT_GT(window.messages[0].size(), QString("Error opening file: ").size());
    EXPECT_EQ(window.http.RcvdStream(), nullptr);
    EXPECT_FALSE(window.http.Busy());
}

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
    EXPECT_EQ(window.http.URL(), server.Url("/first"));
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(HttpCliFetch, LinesSplitAtEveryKindOfLineBreak)
{
    struct Case {
        QByteArray text;
        QStringList lines;
    };
    const Case cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\r\n", {"one"}},
        {"one\ntwo", {"one", "two"}},
        {"one\rtwo\r\nthree\n", {"one", "two", "three"}},
        {"\n", {""}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\r\nb", {"a", "", "b"}},
        {"TTITLE0=Caf\xe9", {QString::fromUtf8("TTITLE0=Café")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(DocumentFetcher::SplitLines(c.text), c.lines);
    }
}

TEST(HttpCliFetch, ThroughARealProxyWithBasicAuthentication)
{
    if (!TinyproxyProcess::Available())
        GTEST_SKIP() << "tinyproxy is not installed";
    TinyproxyProcess proxy;
    ASSERT_TRUE(proxy.Start("user", "pass")) << proxy.Log().toStdString();

    struct Case {
        const char *name;
        QString user;
        QString password;
        bool reachesServer;
    };
    const Case cases[] = {
        {"right credentials", "user", "pass", true},
        {"no credentials", "", "", false},
        {"wrong password", "user", "wrong", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        if (c.reachesServer)
            server.Add({{}, ScriptedHttpServer::Split(Ok("200 rock 7a0a4a09 Artist / Album\r\n"), 7)});
        Window window;
        const ProxySettings settings{"127.0.0.1", QString::number(proxy.port()), c.user, c.password};
        const std::optional<QStringList> lines =
            window.Fetch(server.Url("/~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09"), settings);
        ASSERT_TRUE(lines) << proxy.Log().toStdString();
        EXPECT_EQ(server.Mismatches(), QStringList());
        if (c.reachesServer) {
            EXPECT_EQ(*lines, QStringList{"200 rock 7a0a4a09 Artist / Album"});
            EXPECT_EQ(window.http.StatusCode(), 200);
            ASSERT_EQ(server.Requests().size(), 1);
            EXPECT_TRUE(
                server.Requests()[0].startsWith("GET /~cddb/cddb.cgi?cmd=cddb+query+7a0a4a09 HTTP/1."));
            EXPECT_TRUE(server.Requests()[0].contains("\r\nHost: " + server.Authority().toLatin1() + "\r\n"));
        } else {
            // The proxy's refusal page is the document: a final 407 (or the 401 tinyproxy gives for a
            // wrong password) is not a failure.
            EXPECT_TRUE(window.http.StatusCode() == 407 || window.http.StatusCode() == 401)
                << window.http.StatusCode();
            EXPECT_TRUE(lines->join("\n").contains("Generated by tinyproxy"))
                << lines->join("\n").toStdString();
            EXPECT_EQ(server.Requests().size(), 0);
        }
    }
}
