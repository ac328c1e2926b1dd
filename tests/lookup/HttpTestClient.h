#pragma once

#include "lookup/HttpCli.h"

#include <QBuffer>
#include <optional>

// The request of a lookup from a client set up as the window sets it up.
QByteArray LookupRequest(const QByteArray &target, const QByteArray &host, const QByteArray &extra = {});
// An answer with a Content-Length for its body.
QByteArray Answer(const QByteArray &statusLine, const QByteArray &fields, const QByteArray &body);
QByteArray Ok(const QByteArray &body);

// A client named and set up as the window's, keeping each document in memory.
struct HttpTestClient {
    THttpCli http;
    QBuffer buffer;
    int begins = 0;

    HttpTestClient();
    void Credentials(const QString &user, const QString &password);
    // Get on url; the exception it raised, if any.
    std::optional<EHttpException> Get(const QString &url);
    QByteArray Document() const { return buffer.data(); }
};
