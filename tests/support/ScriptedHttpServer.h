#pragma once

#include <QStringList>
#include <QTcpServer>

#include <memory>

class QTcpSocket;

// One step of a scripted HTTP exchange: the request expected next (empty accepts any) and the answer,
// written piece by piece with pauses so that it arrives split, the close with it, or no answer at all.
// With tunnelTo, the connection then relays its bytes both ways to that port, as a proxy's CONNECT does,
// the far end's in pieces of tunnelPiece bytes pauseMs apart when given. A script that starts with a
// tunnel and no answer relays from the first connection's first byte.
struct ScriptedExchange {
    QByteArray expected;
    QList<QByteArray> reply;
    bool closeAfter = false;
    bool silent = false;
    int pauseMs = 2;
    quint16 tunnelTo = 0;
    int tunnelPiece = 0;
};

// An HTTP server on 127.0.0.1 that plays a script: the n-th request received, on whatever connection,
// gets the n-th answer. It records every request and the connection it came on. It runs on the
// thread's event loop, so a synchronous client on the same thread drives it while it waits.
class ScriptedHttpServer : public QObject
{
public:
    // Given a certificate and its key (PEM files), it speaks HTTPS.
    explicit ScriptedHttpServer(QList<ScriptedExchange> script = {}, const QString &certificate = {},
                                const QString &key = {});

    void Add(const ScriptedExchange &exchange) { script_.append(exchange); }
    quint16 port() const { return server_->serverPort(); }
    QString Authority() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    QString Url(const QString &path) const { return "http://" + Authority() + path; }

    const QList<QByteArray> &Requests() const { return requests_; }
    // For each request, the number (from 1) of the connection it arrived on.
    const QList<int> &RequestConnections() const { return requestConnections_; }
    // Requests that differed from the script, described for a test failure.
    const QStringList &Mismatches() const { return mismatches_; }

    // Cuts bytes into pieces of the given size (the last one shorter), or at the given offsets.
    static QList<QByteArray> Split(const QByteArray &bytes, int pieceSize);
    static QList<QByteArray> SplitAt(const QByteArray &bytes, const QList<int> &offsets);

private:
    void Read(QTcpSocket *socket, int connection);
    void SendPiece(QTcpSocket *socket, const ScriptedExchange &exchange, int piece);

    std::unique_ptr<QTcpServer> server_;
    QList<ScriptedExchange> script_;
    int connections_ = 0;
    QList<QByteArray> requests_;
    QList<int> requestConnections_;
    QStringList mismatches_;
};
