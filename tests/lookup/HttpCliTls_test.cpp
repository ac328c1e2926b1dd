#include "HttpTestClient.h"

// A certificate counts only when the system's CAs or QUARLE_CA_FILE's vouch for it for the URL's host;
// through a proxy the GET goes inside a CONNECT tunnel, and the proxy's credentials go to the proxy alone.
// A server that shakes hands slowly, but never pausing as long as the time-out, is answering.
TEST(HttpCliTls, CertificatesAreCheckedAndAProxyOnlyTunnels)
{
    const auto tls = [](const char *name) { return QStringLiteral(QUARLE_TEST_DATA_DIR "/tls/") + name; };
    const struct {
        const char *certificate, *caFile, *viaProxyTo;
        QByteArray answer, document;
        bool slow = false;
    } rows[] = {
        {"server.pem", "ca.pem", nullptr, Ok("over tls"), "over tls"},
        {"server.pem", "ca.pem", "musicbrainz.org", Ok("over tls"), "over tls"},
        {"server.pem", "ca.pem", nullptr, Ok("over tls"), "over tls", true},
        {"server.pem", "ca.pem", "musicbrainz.org", Ok("over tls"), "over tls", true},
        {"server.pem", "ca.pem", "example.org", Ok("over tls"), ""},
        {"wrong.pem", "ca.pem", nullptr, Ok("over tls"), ""},
        {"server.pem", nullptr, nullptr, Ok("over tls"), ""},
        {"server.pem", "ca.pem", nullptr, Answer("HTTP/1.1 302 Found", "Location: http://%P/plain\r\n", ""),
         ""},
    };
    for (const auto &row : rows) {
        // The slow server's bytes pass 100 bytes every 100 ms: its handshake takes longer than 400 ms.
        const int pause = row.slow ? 75 : 2, piece = row.slow ? 150 : 0;
        ScriptedHttpServer plain, server({}, tls(row.certificate), tls("server.key"));
        ScriptedHttpServer relay({{{}, {}, false, false, pause, server.port(), piece}});
        server.Add({{}, {QByteArray(row.answer).replace("%P", plain.Authority().toLatin1())}});
        const QByteArray host =
            row.viaProxyTo ? QByteArray(row.viaProxyTo) : (row.slow ? relay : server).Authority().toLatin1();
        plain.Add({{},
                   {row.viaProxyTo ? Answer("HTTP/1.1 407 Proxy", "Proxy-Authenticate: Basic realm=p\r\n", "")
                                   : Ok("in the clear")}});
        plain.Add(
            {{}, {"HTTP/1.1 200 Connection established\r\n\r\n"}, false, false, pause, server.port(), piece});
        row.caFile ? qputenv("QUARLE_CA_FILE", tls(row.caFile).toLocal8Bit()) : qunsetenv("QUARLE_CA_FILE");
        HttpTestClient client;
        if (row.slow)
            client.http.setTimeout(300);
        client.http.setProxyUsername("puser");
        client.http.setProxyPassword("ppass");
        client.http.setProxy(row.viaProxyTo ? plain.Authority() : "");
        const std::optional<EHttpException> error = client.Get("https://" + host + "/x");
        EXPECT_EQ(error ? error->status() : 0, row.document.isEmpty() ? 404 : 0) << row.answer.data();
        EXPECT_EQ(client.Document(), row.document);
        // The server sees a GET in origin form for its own host, and nothing meant for a proxy.
        for (const QByteArray &request : server.Requests().mid(0, 1))
            EXPECT_TRUE(request.startsWith("GET /x HTTP/1.1\r\n") &&
                        request.contains("\r\nHost: " + host + "\r\n") && !request.contains("Proxy-"))
                << request.data();
        if (row.viaProxyTo) {
            ASSERT_EQ(plain.Requests().size(), 2);
            EXPECT_TRUE(plain.Requests()[0].startsWith("CONNECT " + host + ":443 HTTP/1.1\r\nHost: " + host +
                                                       ":443\r\n"));
            EXPECT_TRUE(plain.Requests()[1].contains("Proxy-Authorization: Basic " +
                                                     QByteArray("puser:ppass").toBase64()));
        }
    }
    qunsetenv("QUARLE_CA_FILE");
}
