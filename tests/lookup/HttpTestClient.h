#pragma once

#include "ScriptedHttpServer.h"
#include "lookup/HttpCli.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <optional>

inline QByteArray Answer(const QByteArray &statusLine, const QByteArray &fields, const QByteArray &body)
{
    return statusLine + "\r\n" + fields + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

inline QByteArray Ok(const QByteArray &body)
{
    return Answer("HTTP/1.1 200 OK", {}, body);
}

// A client named and set up as the window's, keeping each document in memory.
struct HttpTestClient {
    THttpCli http;
    QBuffer buffer;

    HttpTestClient()
    {
        http.setConnection("Keep-Alive");
        http.OnDocBegin = [this](QObject *) {
            buffer.close();
            buffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
            http.setRcvdStream(&buffer);
        };
        http.OnDocEnd = [this](QObject *) { http.setRcvdStream(nullptr); };
    }
    // Get on url; the exception it raised, if any.
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
    QByteArray Document() const { return buffer.data(); }
};
