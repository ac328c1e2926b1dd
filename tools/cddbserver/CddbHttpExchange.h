#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

class CddbDemoDatabase;

// The HTTP side of the demo's CDDB server, on plain bytes: takes requests off the front of what a
// connection has received and makes their answers. It serves the CDDB protocol at
// "/~cddb/cddb.cgi?cmd=...&hello=...&proto=N", in origin form ("GET /~cddb/cddb.cgi?... HTTP/1.1")
// and in the absolute form a proxy receives ("GET http://host/~cddb/cddb.cgi?... HTTP/1.1").
//
//   GET /~cddb/cddb.cgi?cmd=cddb+query+3a0b1c04+4+150+3150+7275+9525+261&hello=u+h+c+1&proto=4 HTTP/1.1
//   Host: freedb.dbpoweramp.com
//
//   HTTP/1.1 200 OK
//   Content-Type: text/plain; charset=ISO-8859-1
//   Content-Length: 67
//
//   200 classical 3a0b1c04 QUARLE Demo Ensemble / Quattro brani di prova
class CddbHttpExchange
{
public:
    // The most a request's header may take; a longer one is refused and its connection closed.
    static constexpr qsizetype MaxHeaderBytes = 64 * 1024;

    struct Reply {
        QByteArray bytes;
        bool close = false; // the connection ends once the reply is out
        QString command;    // the CDDB command answered, for the server's log; empty for HTTP errors
        int status = 0;     // the HTTP status
    };

    explicit CddbHttpExchange(const CddbDemoDatabase &database) : database_(database) {}

    // A file served as it is at `path` (the AccurateRip database's dBAR file of the demo disc).
    void AddDocument(const QByteArray &path, const QByteArray &bytes) { documents_[path] = bytes; }

    // Removes the first complete request from inbox and answers it. Nothing while the request's
    // header is still incomplete. A request that cannot be answered safely (malformed, too long, with
    // a body) gets an error reply that closes the connection; inbox is then cleared.
    std::optional<Reply> Next(QByteArray &inbox) const;

private:
    const CddbDemoDatabase &database_;
    QMap<QByteArray, QByteArray> documents_;
};
