#include "lookup/HttpCli.h"
#include "lookup/Ntlm.h"

#include "ScriptedHttpServer.h"

#include <QBuffer>
#include <QMessageAuthenticationCode>
#include <QtEndian>
#include <gtest/gtest.h>

#include <optional>

namespace
{

const QByteArray kAccept = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
const QByteArray kAgent = "User-Agent: Mozilla/4.0 (compatible; ICS)\r\n";
const QByteArray kUserPass = "dXNlcjpwYXNz"; // "user:pass"

QByteArray LookupRequest(const QByteArray &target, const QByteArray &host, const QByteArray &extra = {})
{
    return "GET " + target + " HTTP/1.1\r\n" + kAccept + "Connection: Keep-Alive\r\nAccept-Language: it\r\n" +
           kAgent + "Host: " + host + "\r\n" + extra + "\r\n";
}

QByteArray Answer(const QByteArray &statusLine, const QByteArray &fields, const QByteArray &body)
{
    return statusLine + "\r\n" + fields + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

// The CHALLENGE message of Microsoft's NTLMv2 example: server challenge 0123456789abcdef.
const QByteArray kChallenge =
    QByteArray::fromHex("4e544c4d53535000020000000c000c003800000033828ae20123456789abcdef"
                        "0000000000000000240024004400000006007017000000 0f"
                        "530065007200760065007200"
                        "02000c0044006f006d00610069006e00"
                        "01000c005300650072007600650072000000 0000");

struct Client {
    THttpCli http;
    QBuffer buffer;

    Client()
    {
        http.setObjectName("HttpCli1");
        http.setAcceptLanguage("it");
        http.setConnection("Keep-Alive");
        http.OnDocBegin = [this](QObject *) {
            buffer.close();
            buffer.setData(QByteArray());
            buffer.open(QIODevice::WriteOnly);
            http.setRcvdStream(&buffer);
        };
        http.OnDocEnd = [this](QObject *) {
            http.setRcvdStream(nullptr);
            buffer.close();
        };
    }

    void Credentials(const QString &user, const QString &password)
    {
        http.setUsername(user);
        http.setProxyUsername(user);
        http.setPassword(password);
        http.setProxyPassword(password);
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
};

// The value of a request's field, as the server reads it.
QByteArray FieldOf(const QByteArray &request, const QByteArray &name)
{
    for (const QByteArray &line : request.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}

// What the server does with the AUTHENTICATE message: recompute the NTLMv2 proof from the password.
bool ProofHolds(const QByteArray &authorization, const QString &user, const QString &domain,
                const QString &password)
{
    if (!authorization.startsWith("NTLM "))
        return false;
    const QByteArray message = QByteArray::fromBase64(authorization.mid(5));
    if (message.size() < 64 || qFromLittleEndian<quint32>(message.constData() + 8) != 3)
        return false;
    const auto field = [&message](int k) {
        const char *at = message.constData() + 12 + 8 * k;
        return message.mid(qFromLittleEndian<quint32>(at + 4), qFromLittleEndian<quint16>(at));
    };
    const QByteArray nt = field(1);
    const QByteArray ntOwf = Ntlm::NtOwfV2(user, domain, password);
    return nt.size() > 16 && nt.left(16) == QMessageAuthenticationCode::hash(
                                                QByteArray::fromHex("0123456789abcdef") + nt.mid(16), ntOwf,
                                                QCryptographicHash::Md5);
}

} // namespace

TEST(HttpCliAuth, A401WithoutCredentialsIsTheAnswer)
{
    ScriptedHttpServer server;
    server.Add(
        {{},
         {Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=\"cddb\"\r\n", "login page")}});
    Client client;
    const std::optional<EHttpException> error = client.Get(server.Url("/x"));
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(client.http.StatusCode(), 401);
    EXPECT_EQ(client.buffer.data(), "login page");
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(HttpCliAuth, BasicAnswersTo401And407)
{
    struct Step {
        QByteArray extraLines;
        QByteArray answer;
    };
    struct Case {
        const char *name;
        bool viaProxy;
        QString url;
        QString user;
        QString password;
        QList<Step> steps;
        int status;
        QByteArray document;
    };
    const QByteArray basic401 =
        Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", "who?");
    const QByteArray basic407 = Answer("HTTP/1.1 407 Proxy Authentication Required",
                                       "Proxy-Authenticate: Basic realm=\"p\"\r\n", "proxy?");
    const QByteArray ok = Answer("HTTP/1.1 200 OK", "", "titles");
    const Case cases[] = {
        {"server asks",
         false,
         "http://%A/x",
         "user",
         "pass",
         {{"", basic401}, {"Authorization: Basic " + kUserPass + "\r\n", ok}},
         200,
         "titles"},
        {"proxy asks",
         true,
         "http://cddb.example.org/x",
         "user",
         "pass",
         {{"", basic407}, {"Proxy-Authorization: Basic " + kUserPass + "\r\n", ok}},
         200,
         "titles"},
        {"proxy, then server asks",
         true,
         "http://cddb.example.org/x",
         "user",
         "pass",
         {{"", basic407},
          {"Proxy-Authorization: Basic " + kUserPass + "\r\n", basic401},
          {"Authorization: Basic " + kUserPass + "\r\nProxy-Authorization: Basic " + kUserPass + "\r\n", ok}},
         200,
         "titles"},
        {"refused again: the second 401 is the answer",
         false,
         "http://%A/x",
         "user",
         "pass",
         {{"", basic401},
          {"Authorization: Basic " + kUserPass + "\r\n", Answer("HTTP/1.1 401 No", "", "denied")}},
         401,
         "denied"},
        {"credentials in the URL",
         false,
         "http://user:pass@%A/x",
         "",
         "",
         {{"", basic401}, {"Authorization: Basic " + kUserPass + "\r\n", ok}},
         200,
         "titles"},
        {"NTLM needs a password, Basic does not",
         false,
         "http://%A/x",
         "user",
         "",
         {{"", Answer("HTTP/1.1 401 Unauthorized",
                      "WWW-Authenticate: NTLM\r\nWWW-Authenticate: Basic realm=x\r\n", "")},
          {"Authorization: Basic dXNlcjo=\r\n", ok}},
         200,
         "titles"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        const QString url = QString(c.url).replace("%A", server.Authority());
        const QByteArray target = c.viaProxy ? url.toLatin1() : "/x";
        const QByteArray host = c.viaProxy ? "cddb.example.org" : server.Authority().toLatin1();
        for (const Step &step : c.steps)
            server.Add(
                {LookupRequest(target, host, step.extraLines), ScriptedHttpServer::Split(step.answer, 11)});
        Client client;
        client.Credentials(c.user, c.password);
        if (c.viaProxy)
            client.http.setProxy(server.Authority());
        const std::optional<EHttpException> error = client.Get(url);
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(server.Requests().size(), c.steps.size());
        EXPECT_EQ(client.http.StatusCode(), c.status);
        EXPECT_EQ(client.buffer.data(), c.document);
    }
}

TEST(HttpCliAuth, NtlmV2HandshakeWithTheServerOnOneConnection)
{
    ScriptedHttpServer server;
    const QByteArray host = server.Authority().toLatin1();
    server.Add({LookupRequest("/x", host),
                {Answer("HTTP/1.1 401 Unauthorized",
                        "WWW-Authenticate: Basic realm=x\r\nWWW-Authenticate: NTLM\r\n", "who?")}});
    server.Add(
        {LookupRequest("/x", host, "Authorization: NTLM " + Ntlm::NegotiateMessage().toBase64() + "\r\n"),
         {Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: NTLM " + kChallenge.toBase64() + "\r\n",
                 "")}});
    server.Add({{}, ScriptedHttpServer::Split(Answer("HTTP/1.1 200 OK", "", "welcome"), 9)});
    Client client;
    client.Credentials("Domain\\User", "Password");
    const std::optional<EHttpException> error = client.Get(server.Url("/x"));
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(server.Mismatches(), QStringList());
    ASSERT_EQ(server.Requests().size(), 3);
    EXPECT_TRUE(ProofHolds(FieldOf(server.Requests()[2], "Authorization"), "User", "Domain", "Password"));
    EXPECT_FALSE(ProofHolds(FieldOf(server.Requests()[2], "Authorization"), "User", "Domain", "Passw0rd"));
    EXPECT_EQ(server.RequestConnections(), (QList<int>{1, 1, 1}));
    EXPECT_EQ(client.http.StatusCode(), 200);
    EXPECT_EQ(client.buffer.data(), "welcome");
}

TEST(HttpCliAuth, NtlmWithAnHttp10ProxyAsksItToKeepTheConnection)
{
    ScriptedHttpServer proxy;
    const QString url = "http://cddb.example.org/~cddb/cddb.cgi?cmd=x";
    proxy.Add({LookupRequest(url.toLatin1(), "cddb.example.org"),
               {Answer("HTTP/1.0 407 Proxy Authentication Required",
                       "Proxy-Authenticate: NTLM\r\nProxy-Connection: Keep-Alive\r\n", "")}});
    proxy.Add(
        {LookupRequest(url.toLatin1(), "cddb.example.org",
                       "Proxy-Connection: Keep-alive\r\nProxy-Authorization: NTLM " +
                           Ntlm::NegotiateMessage().toBase64() + "\r\n"),
         {Answer("HTTP/1.0 407 Proxy Authentication Required",
                 "Proxy-Authenticate: NTLM " + kChallenge.toBase64() + "\r\nProxy-Connection: Keep-Alive\r\n",
                 "")}});
    proxy.Add({{}, {Answer("HTTP/1.0 200 OK", "", "210 found")}, true});
    Client client;
    client.Credentials("Domain\\User", "Password");
    client.http.setProxy("127.0.0.1");
    client.http.setProxyPort(QString::number(proxy.port()));
    const std::optional<EHttpException> error = client.Get(url);
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(proxy.Mismatches(), QStringList());
    ASSERT_EQ(proxy.Requests().size(), 3);
    EXPECT_EQ(FieldOf(proxy.Requests()[2], "Proxy-Connection"), "Keep-alive");
    EXPECT_TRUE(
        ProofHolds(FieldOf(proxy.Requests()[2], "Proxy-Authorization"), "User", "Domain", "Password"));
    EXPECT_EQ(FieldOf(proxy.Requests()[2], "Authorization"), "");
    EXPECT_EQ(proxy.RequestConnections(), (QList<int>{1, 1, 1}));
    EXPECT_EQ(client.buffer.data(), "210 found");
}

TEST(HttpCliAuth, NtlmRefusedAfterTheHandshakeEndsWithThe401)
{
    ScriptedHttpServer server;
    server.Add({{}, {Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: NTLM\r\n", "")}});
    server.Add({{},
                {Answer("HTTP/1.1 401 Unauthorized",
                        "WWW-Authenticate: NTLM " + kChallenge.toBase64() + "\r\n", "")}});
    server.Add({{}, {Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: NTLM\r\n", "wrong password")}});
    Client client;
    client.Credentials("User", "bad");
    const std::optional<EHttpException> error = client.Get(server.Url("/x"));
    EXPECT_FALSE(error) << error->what();
    EXPECT_EQ(server.Requests().size(), 3);
    EXPECT_EQ(client.http.StatusCode(), 401);
    EXPECT_EQ(client.buffer.data(), "wrong password");
}
