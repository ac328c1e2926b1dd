#include "HttpTestClient.h"
#include "lookup/DocumentFetcher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>

namespace
{

// The window's side of a fetch: its client, its folder and the document file the fetch leaves there.
struct Window {
    THttpCli http;
    QTemporaryDir programDir;
    QStringList pagina{"earlier line"};
    DocumentFetcher fetcher{http, programDir.path(),
                            [](const QString &m) { ADD_FAILURE() << m.toStdString(); }};

    std::optional<QStringList> Fetch(const QString &url, QDeadlineTimer deadline = QDeadlineTimer::Forever)
    {
        return fetcher.Fetch({}, url, pagina, deadline);
    }
    QByteArray File()
    {
        QFile file(programDir.filePath("temp"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

} // namespace

// Latin-1 lines; an answer without a body is an empty document, never the previous one.
TEST(HttpCliFetch, TheDocumentComesBackAsLinesAndReplacesTheOldFile)
{
    const QByteArray body = "210 Found\r\nrock 7a0a4a09 A / B\r\r\nlast \xe8 line";
    for (const QByteArray &second : {QByteArray("HTTP/1.1 204 No Content\r\n\r\n"),
                                     Answer("HTTP/1.1 302 Found", "Location: /next\r\n", "moved")}) {
        ScriptedHttpServer server(QList<ScriptedExchange>{{{}, {Ok(body)}}, {{}, {second}}, {{}, {Ok("")}}});
        Window window;
        EXPECT_EQ(window.Fetch(server.Url("/first")),
                  QStringList({"210 Found", "rock 7a0a4a09 A / B", "", QString::fromUtf8("last è line")}));
        EXPECT_EQ(window.File(), body);
        EXPECT_EQ(window.Fetch(server.Url("/second")), QStringList());
        EXPECT_EQ(window.File(), "");
    }
}

// A failure, or an answer too long, with too many lines, trickled past the deadline, or cut short on a
// full disk (here the file size limit, which binds root too), gives nothing.
TEST(HttpCliFetch, AFailureOrADocumentPastTheBoundsGivesNothing)
{
    const QByteArray open = "HTTP/1.1 200 OK\r\n\r\n", half(DocumentFetcher::kMaxDocumentSize / 2, 'x');
    const std::tuple<QList<QByteArray>, int, rlim_t> cases[] = {
        {{Answer("HTTP/1.1 404 Not Found", "", "not found")}, 2, RLIM_INFINITY},
        {{open, half + "\n", half}, 2, RLIM_INFINITY},
        {{open + QByteArray(DocumentFetcher::kMaxDocumentLines + 1, '\n')}, 2, RLIM_INFINITY},
        {ScriptedHttpServer::Split(Ok(QByteArray(100, 'x')), 1), 20, RLIM_INFINITY},
        {{Ok(QByteArray(5000, 'x'))}, 2, 1000},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto &[answer, pauseMs, fileLimit] : cases) {
        ScriptedExchange exchange{{}, answer, true};
        exchange.pauseMs = pauseMs;
        ScriptedHttpServer server({exchange});
        Window window;
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = std::min(fileLimit, saved.rlim_max);
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::optional<QStringList> lines = window.Fetch(server.Url("/"), QDeadlineTimer(500));
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_FALSE(lines) << answer.size();
        EXPECT_EQ(window.pagina, QStringList{"earlier line"});
        EXPECT_LE(window.File().size(), DocumentFetcher::kMaxDocumentSize);
    }
}

// A second fetch from inside the first (a second refresh) must leave the first's document alone.
TEST(HttpCliFetch, AFetchStartedDuringAnotherIsRefusedAndTheFirstCompletes)
{
    ScriptedExchange slow{{}, ScriptedHttpServer::Split(Ok("query answer\r\n"), 5)};
    slow.pauseMs = 40;
    ScriptedHttpServer server({slow});
    Window window;
    std::optional<QStringList> nested{{"not run"}};
    QTimer::singleShot(50, [&] { nested = window.Fetch(server.Url("/second")); });
    EXPECT_EQ(window.Fetch(server.Url("/first")), QStringList{"query answer"});
    EXPECT_FALSE(nested);
    EXPECT_EQ(server.Requests().size(), 1);
}
