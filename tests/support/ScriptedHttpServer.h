#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// One step of a scripted HTTP exchange: the request the server expects next and how it answers.
struct ScriptedExchange {
    // The exact request bytes expected; empty accepts any request.
    QByteArray expected;
    // The answer, written piece by piece with a pause between pieces so that it arrives split.
    QList<QByteArray> reply;
    // Close the connection once the answer is out.
    bool closeAfter = false;
    // Send nothing at all and keep the connection open.
    bool silent = false;
    int pauseMs = 2;
};

// An HTTP server on 127.0.0.1 that plays a script: the n-th request received, on whatever connection,
// gets the n-th answer. It records every request and the connection it came on. It runs on the
// thread's event loop, so a synchronous client on the same thread drives it while it waits.
class ScriptedHttpServer : public QObject
{
public:
    explicit ScriptedHttpServer(QList<ScriptedExchange> script = {});
    ~ScriptedHttpServer() override;

    void Add(const ScriptedExchange &exchange);
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by path.
    QString Url(const QString &path) const;
    QString Authority() const;

    const QList<QByteArray> &Requests() const { return requests_; }
    // For each request, the number (from 1) of the connection it arrived on.
    const QList<int> &RequestConnections() const { return requestConnections_; }
    int Connections() const { return connections_; }
    // Requests that differed from the script, described for a test failure.
    const QStringList &Mismatches() const { return mismatches_; }

    // Cuts bytes into pieces of the given size (the last one shorter).
    static QList<QByteArray> Split(const QByteArray &bytes, int pieceSize);
    // Cuts bytes at the given offsets.
    static QList<QByteArray> SplitAt(const QByteArray &bytes, const QList<int> &offsets);

private:
    void Accept();
    void Read(QTcpSocket *socket);
    void SendPiece(QTcpSocket *socket, const ScriptedExchange &exchange, int piece);

    QTcpServer server_;
    QList<ScriptedExchange> script_;
    int next_ = 0;
    int connections_ = 0;
    QList<QByteArray> requests_;
    QList<int> requestConnections_;
    QStringList mismatches_;
};
