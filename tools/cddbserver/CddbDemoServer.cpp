#include "CddbDemoServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// What the server keeps of one connection; it lives as long as the socket's signal connections do.
struct CddbDemoServer::Connection {
    QTcpSocket *socket = nullptr;
    QTimer *idle = nullptr;
    QByteArray inbox;
    int number = 0;
    bool closing = false;
};

CddbDemoServer::CddbDemoServer(const CddbDemoDatabase &database, QObject *parent)
    : QObject(parent), exchange_(database)
{
    connect(&server_, &QTcpServer::newConnection, this, &CddbDemoServer::Accept);
}

CddbDemoServer::~CddbDemoServer()
{
    server_.close();
}

bool CddbDemoServer::Listen(quint16 port, QString *error)
{
    if (server_.listen(QHostAddress::LocalHost, port))
        return true;
    if (error)
        *error = server_.errorString();
    return false;
}

void CddbDemoServer::Accept()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        connection->number = ++connections_;
        connection->idle = new QTimer(socket);
        connection->idle->setSingleShot(true);
        connection->idle->start(idleTimeoutMs_);
        connect(connection->idle, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { Serve(*connection); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Data that came with the connection may already be waiting.
        if (socket->bytesAvailable() > 0)
            Serve(*connection);
    }
}

void CddbDemoServer::Serve(Connection &connection)
{
    QTcpSocket *socket = connection.socket;
    if (connection.closing) {
        socket->readAll();
        return;
    }
    connection.idle->start(idleTimeoutMs_);
    connection.inbox += socket->readAll();
    while (std::optional<CddbHttpExchange::Reply> reply = exchange_.Next(connection.inbox)) {
        ++requests_;
        socket->write(reply->bytes);
        if (OnReply)
            OnReply(this, connection.number, *reply);
        if (reply->close) {
            connection.closing = true;
            connection.inbox.clear();
            socket->disconnectFromHost();
            return;
        }
    }
}
