#include "HttpTestClient.h"

#include <gtest/gtest.h>

QByteArray LookupRequest(const QByteArray &target, const QByteArray &host, const QByteArray &extra)
{
    return "GET " + target +
           " HTTP/1.1\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
           "Connection: Keep-Alive\r\nAccept-Language: it\r\nUser-Agent: Mozilla/4.0 (compatible; ICS)\r\n"
           "Host: " +
           host + "\r\n" + extra + "\r\n";
}

QByteArray Answer(const QByteArray &statusLine, const QByteArray &fields, const QByteArray &body)
{
    return statusLine + "\r\n" + fields + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

QByteArray Ok(const QByteArray &body)
{
    return Answer("HTTP/1.1 200 OK", {}, body);
}

HttpTestClient::HttpTestClient()
{
    http.setObjectName("HttpCli1");
    http.setAcceptLanguage("it");
    http.setConnection("Keep-Alive");
    http.OnDocBegin = [this](QObject *sender) {
        EXPECT_EQ(sender, &http);
        ++begins;
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

void HttpTestClient::Credentials(const QString &user, const QString &password)
{
    http.setUsername(user);
    http.setProxyUsername(user);
    http.setPassword(password);
    http.setProxyPassword(password);
}

std::optional<EHttpException> HttpTestClient::Get(const QString &url)
{
    http.setURL(url);
    try {
        http.Get();
    } catch (const EHttpException &e) {
        return e;
    }
    return std::nullopt;
}
