#include "HttpTestClient.h"
#include "ScriptedHttpServer.h"
#include "lookup/Ntlm.h"

#include <QMessageAuthenticationCode>
#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

const QByteArray kBasic = "Basic dXNlcjpwYXNz"; // "user:pass"

// The CHALLENGE message of Microsoft's NTLMv2 example: server challenge 0123456789abcdef.
const QByteArray kChallenge =
    QByteArray::fromHex("4e544c4d53535000020000000c000c003800000033828ae20123456789abcdef"
                        "0000000000000000240024004400000006007017000000 0f"
                        "530065007200760065007200"
                        "02000c0044006f006d00610069006e00"
                        "01000c005300650072007600650072000000 0000");

QByteArray FieldOf(const QByteArray &request, const QByteArray &name)
{
    for (const QByteArray &line : request.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}

// What the server does with the AUTHENTICATE message: recompute the NTLMv2 proof from the password.
bool ProofHolds(const QByteArray &authorization, const QString &password)
{
    const QByteArray message = QByteArray::fromBase64(authorization.mid(5));
    if (!authorization.startsWith("NTLM ") || message.size() < 64)
        return false;
    const char *at = message.constData() + 12 + 8;
    const QByteArray nt = message.mid(qFromLittleEndian<quint32>(at + 4), qFromLittleEndian<quint16>(at));
    const QByteArray key = Ntlm::NtOwfV2("User", "Domain", password);
    return nt.size() > 16 && nt.left(16) == QMessageAuthenticationCode::hash(
                                                QByteArray::fromHex("0123456789abcdef") + nt.mid(16), key,
                                                QCryptographicHash::Md5);
}

} // namespace

// Without credentials the 401 page is the answer; NTLM needs a password, Basic does not.
TEST(HttpCliAuth, BasicAnswersTo401And407)
{
    struct Case {
        const char *name;
        bool viaProxy;
        QString url, user, password;
        QList<QPair<QByteArray, QByteArray>> steps; // extra request lines, answer
        QByteArray document;
    };
    const QByteArray ask = Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=x\r\n", "who?");
    const QByteArray askP = Answer("HTTP/1.1 407 Proxy", "Proxy-Authenticate: Basic realm=p\r\n", "");
    const QByteArray ok = Ok("t"), auth = "Authorization: " + kBasic + "\r\n";
    const QByteArray authP = "Proxy-Authorization: " + kBasic + "\r\n", remote = "http://cddb.example.org/x";
    const QByteArray both =
        Answer("HTTP/1.1 401 No", "WWW-Authenticate: NTLM\r\nWWW-Authenticate: Basic\r\n", "");
    const QByteArray noPass = "Authorization: Basic dXNlcjo=\r\n";
    const QString L = "http://%A/x";
    const QString ru = QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c"); // sent as UTF-8
    const QByteArray authRu = "Authorization: Basic " + ("user:" + ru.toUtf8()).toBase64() + "\r\n";
    const Case cases[] = {
        {"no credentials", false, L, "", "", {{"", ask}}, "who?"},
        {"server asks", false, L, "user", "pass", {{"", ask}, {auth, ok}}, "t"},
        {"proxy asks", true, remote, "user", "pass", {{"", askP}, {authP, ok}}, "t"},
        {"proxy+server", true, remote, "user", "pass", {{"", askP}, {authP, ask}, {auth + authP, ok}}, "t"},
        {"refused again", false, L, "user", "pass", {{"", ask}, {auth, Ok("denied")}}, "denied"},
        {"credentials in the URL", false, "http://user:pass@%A/x", "", "", {{"", ask}, {auth, ok}}, "t"},
        {"no password", false, L, "user", "", {{"", both}, {noPass, ok}}, "t"},
        {"password outside Latin-1", false, L, "user", ru, {{"", ask}, {authRu, ok}}, "t"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        const QString url = QString(c.url).replace("%A", server.Authority());
        const QByteArray host = c.viaProxy ? "cddb.example.org" : server.Authority().toLatin1();
        for (const auto &[extra, answer] : c.steps)
            server.Add({LookupRequest(c.viaProxy ? url.toLatin1() : "/x", host, extra),
                        ScriptedHttpServer::Split(answer, 11)});
        HttpTestClient client;
        client.Credentials(c.user, c.password);
        if (c.viaProxy)
            client.http.setProxy(server.Authority());
        const std::optional<EHttpException> error = client.Get(url);
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        EXPECT_EQ(client.Document(), c.document);
    }
}

// The credentials are the proxy page's: a server that relocates the request elsewhere must not get
// them by asking from there, nor may a server posing as a proxy.
TEST(HttpCliAuth, CredentialsOnlyForTheFirstHostAndTheProxy)
{
    const QByteArray ask = Answer("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=x\r\n", "who?");
    const QByteArray askP = Answer("HTTP/1.1 407 Proxy", "Proxy-Authenticate: Basic realm=p\r\n", "proxy?");
    const auto to = [](const QByteArray &location) {
        return Answer("HTTP/1.1 302 Found", "Location: " + location + "\r\n", "");
    };
    const struct {
        const char *name;
        bool viaProxy;
        QList<QByteArray> answers; // before the challenge is answered, if it is
        bool answered;
    } cases[] = {
        {"relocated on the same host", true, {to("/y"), ask}, true},
        {"relocated to another host", true, {to("http://other.example.org/y"), ask}, false},
        {"relocated to another port", true, {to("http://cddb.example.org:8080/y"), ask}, false},
        {"relocated there and back",
         true,
         {to("http://other.example.org/y"), to("http://cddb.example.org/x"), ask},
         false},
        {"407 without a proxy", false, {askP}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        for (const QByteArray &answer : c.answers)
            server.Add({{}, {answer}});
        if (c.answered)
            server.Add({{}, {Ok("t")}});
        HttpTestClient client;
        client.Credentials("user", "pass");
        if (c.viaProxy)
            client.http.setProxy(server.Authority());
        const std::optional<EHttpException> error =
            client.Get(c.viaProxy ? QString("http://cddb.example.org/x") : server.Url("/x"));
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        ASSERT_EQ(server.Requests().size(), c.answers.size() + c.answered);
        for (qsizetype i = 0; i < server.Requests().size(); ++i)
            EXPECT_EQ(server.Requests()[i].contains("Authorization: "), c.answered && i == c.answers.size())
                << i;
        EXPECT_EQ(client.Document(),
                  c.answered ? "t" : c.answers.last().mid(c.answers.last().indexOf("\r\n\r\n") + 4));
    }
}

// Negotiate, challenge and answer on one connection, with the server and with an HTTP/1.0 proxy that
// must be asked to keep the connection; a refusal after the handshake is the answer.
TEST(HttpCliAuth, NtlmV2HandshakeOnOneConnection)
{
    struct Case {
        bool viaProxy;
        const char *password;
        QByteArray document;
    };
    for (const Case &c : {Case{false, "Password", "welcome"}, Case{true, "Password", "welcome"},
                          Case{false, "bad", "wrong password"}}) {
        SCOPED_TRACE(std::string(c.viaProxy ? "proxy, " : "server, ") + c.password);
        ScriptedHttpServer server;
        const QString url = c.viaProxy ? "http://cddb.example.org/x" : server.Url("/x");
        const QByteArray target = c.viaProxy ? url.toLatin1() : "/x";
        const QByteArray host = c.viaProxy ? "cddb.example.org" : server.Authority().toLatin1();
        const QByteArray ask = c.viaProxy ? "Proxy-Authenticate: " : "WWW-Authenticate: ";
        const QByteArray tell = c.viaProxy ? "Proxy-Authorization" : "Authorization";
        const QByteArray status =
            c.viaProxy ? "HTTP/1.0 407 Proxy Authentication Required" : "HTTP/1.1 401 No";
        const QByteArray keep = c.viaProxy ? "Proxy-Connection: Keep-Alive\r\n" : "";
        server.Add({LookupRequest(target, host),
                    {Answer(status, ask + "Basic realm=x\r\n" + ask + "NTLM\r\n" + keep, "")}});
        server.Add({LookupRequest(target, host,
                                  (c.viaProxy ? "Proxy-Connection: Keep-alive\r\n" : "") + tell + ": NTLM " +
                                      Ntlm::NegotiateMessage().toBase64() + "\r\n"),
                    {Answer(status, ask + "NTLM " + kChallenge.toBase64() + "\r\n" + keep, "")}});
        const bool accept = QByteArray(c.password) == "Password";
        server.Add({{},
                    ScriptedHttpServer::Split(
                        accept ? Ok(c.document) : Answer(status, ask + "NTLM\r\n", c.document), 9)});
        HttpTestClient client;
        client.Credentials("Domain\\User", c.password);
        if (c.viaProxy)
            client.http.setProxy(server.Authority());
        const std::optional<EHttpException> error = client.Get(url);
        EXPECT_FALSE(error) << error->what();
        EXPECT_EQ(server.Mismatches(), QStringList());
        ASSERT_EQ(server.Requests().size(), 3);
        EXPECT_TRUE(ProofHolds(FieldOf(server.Requests()[2], tell), c.password));
        EXPECT_FALSE(ProofHolds(FieldOf(server.Requests()[2], tell), "Passw0rd"));
        EXPECT_EQ(server.RequestConnections(), (QList<int>{1, 1, 1}));
        EXPECT_EQ(client.Document(), c.document);
    }
}
