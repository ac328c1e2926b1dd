#include "HttpTestClient.h"

namespace
{

const QByteArray kAsk = Answer("HTTP/1.1 401 No", "WWW-Authenticate: Basic realm=x\r\n", "who?");
const QByteArray kAskProxy = Answer("HTTP/1.1 407 Proxy", "Proxy-Authenticate: Basic realm=p\r\n", "");
const QByteArray kAuth = "Authorization: Basic dXNlcjpwYXNz\r\n"; // "user:pass"

// The document got with the proxy page's user and password, through the server as a proxy when the
// URL names another host: one request per answer, the last carrying the last step's lines.
QByteArray Get(const QString &url, const QList<QPair<QByteArray, QByteArray>> &steps,
               const QString &user = "user", const QString &password = "pass")
{
    ScriptedHttpServer server;
    for (const auto &step : steps)
        server.Add({{}, {step.second}});
    HttpTestClient client;
    client.http.setUsername(user);
    client.http.setProxyUsername(user);
    client.http.setPassword(password);
    client.http.setProxyPassword(password);
    client.http.setProxy(url.contains("%A") ? "" : server.Authority());
    EXPECT_FALSE(client.Get(QString(url).replace("%A", server.Authority())));
    EXPECT_EQ(server.Requests().size(), steps.size());
    // A last step "!X" asks that the last request has no line X.
    const QByteArray last = steps.last().first, request = server.Requests().value(steps.size() - 1);
    EXPECT_EQ(request.contains("\r\n" + last.mid(last.startsWith('!'))), !last.startsWith('!'))
        << request.data();
    return client.Document();
}

} // namespace

// Without credentials the 401 page is the answer; a password outside Latin-1 goes as UTF-8. A server
// that relocates the request elsewhere must not get the credentials by asking from there, nor may a
// server posing as a proxy.
TEST(HttpCliAuth, BasicCredentialsOnlyForTheFirstHostAndTheProxy)
{
    const QString ru = QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c");
    EXPECT_EQ(Get("http://%A/x", {{"", kAsk}}, "", ""), "who?");
    EXPECT_EQ(Get("http://%A/x",
                  {{"", kAsk}, {"Authorization: Basic " + ("user:" + ru.toUtf8()).toBase64(), Ok("t")}},
                  "user", ru),
              "t");
    EXPECT_EQ(Get("http://cddb.example.org/x",
                  {{"", kAskProxy}, {"Proxy-" + kAuth, kAsk}, {kAuth + "Proxy-" + kAuth, Ok("t")}}),
              "t");
    const auto to = [](const QByteArray &location) {
        return QPair<QByteArray, QByteArray>{
            "", Answer("HTTP/1.1 302 Found", "Location: " + location + "\r\n", "")};
    };
    const QString url = "http://cddb.example.org/x";
    EXPECT_EQ(Get(url, {to("/y"), {"", kAsk}, {kAuth, Ok("t")}}), "t");
    EXPECT_EQ(Get(url, {to("http://other.example.org/y"), {"", kAsk}}), "who?");
    EXPECT_EQ(
        Get(url,
            {{"", kAsk}, {kAuth, to("http://other.example.org/y").second}, {"!Authorization:", Ok("t")}}),
        "t");
    EXPECT_EQ(Get(url, {to("http://cddb.example.org:8080/y"), {"", kAsk}}), "who?");
    EXPECT_EQ(Get(url, {to("http://other.example.org/y"), to("http://cddb.example.org/x"), {"", kAsk}}),
              "who?");
    EXPECT_EQ(Get("http://%A/x", {{"", kAskProxy}}), ""); // no proxy set
}
