#pragma once

#include "CddbHttpExchange.h"

#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

class CddbDemoDatabase;
class QTcpSocket;

// The demo's CDDB server: answers the CDDB protocol over HTTP/1.1 on 127.0.0.1, with keep-alive, from
// the entries of a database. Runs on the event loop of its thread. A connection that sends nothing
// for IdleTimeoutMs is closed.
class CddbDemoServer : public QObject
{
public:
    static constexpr int DefaultIdleTimeoutMs = 60000;

    // The database must outlive the server.
    explicit CddbDemoServer(const CddbDemoDatabase &database, QObject *parent = nullptr);
    ~CddbDemoServer() override;

    // Listens on 127.0.0.1 at port (0: any free port). False, with the reason, when it cannot.
    bool Listen(quint16 port, QString *error = nullptr);
    quint16 Port() const { return server_.serverPort(); }
    // Serves `bytes` at `path` besides the CDDB protocol.
    void AddDocument(const QByteArray &path, const QByteArray &bytes) { exchange_.AddDocument(path, bytes); }

    int IdleTimeoutMs() const { return idleTimeoutMs_; }
    void setIdleTimeoutMs(int milliseconds) { idleTimeoutMs_ = milliseconds; }

    // Connections accepted and requests answered so far.
    int Connections() const { return connections_; }
    int Requests() const { return requests_; }

    // After each reply is queued: the connection's number (from 1) and the reply.
    std::function<void(QObject *, int, const CddbHttpExchange::Reply &)> OnReply;

private:
    struct Connection;

    void Accept();
    void Serve(Connection &connection);

    QTcpServer server_;
    CddbHttpExchange exchange_;
    int idleTimeoutMs_ = DefaultIdleTimeoutMs;
    int connections_ = 0;
    int requests_ = 0;
};
