#include "ScriptedHttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

ScriptedHttpServer::ScriptedHttpServer(QList<ScriptedExchange> script) : script_(std::move(script))
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, n = ++connections_] { Read(socket, n); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

// A GET has no body: a request ends with its empty line. What follows it waits in the socket's buffer.
void ScriptedHttpServer::Read(QTcpSocket *socket, int connection)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QByteArray request = buffer.left(end + 4);
        buffer.remove(0, end + 4);
        requests_.append(request);
        requestConnections_.append(connection);
        const int n = int(requests_.size());
        if (n > script_.size()) {
            mismatches_.append(
                QString("unexpected request %1:\n%2").arg(n).arg(QString::fromLatin1(request)));
            socket->disconnectFromHost();
            break;
        }
        const ScriptedExchange exchange = script_[n - 1];
        if (!exchange.expected.isEmpty() && exchange.expected != request)
            mismatches_.append(
                QString("request %1 differs:\nexpected:\n%2\nreceived:\n%3")
                    .arg(n)
                    .arg(QString::fromLatin1(exchange.expected), QString::fromLatin1(request)));
        if (!exchange.silent)
            SendPiece(socket, exchange, 0);
    }
    socket->setProperty("buffer", buffer);
}

// The last piece goes together with the close, as a server that is done with the connection does.
void ScriptedHttpServer::SendPiece(QTcpSocket *socket, const ScriptedExchange &exchange, int piece)
{
    if (piece < exchange.reply.size()) {
        socket->write(exchange.reply[piece]);
        socket->flush();
    }
    if (piece + 1 >= exchange.reply.size()) {
        if (exchange.closeAfter)
            socket->disconnectFromHost();
        return;
    }
    QTimer::singleShot(exchange.pauseMs, this, [this, guard = QPointer(socket), exchange, piece] {
        if (guard)
            SendPiece(guard, exchange, piece + 1);
    });
}

QList<QByteArray> ScriptedHttpServer::Split(const QByteArray &bytes, int pieceSize)
{
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += pieceSize)
        pieces.append(bytes.mid(at, pieceSize));
    return pieces;
}

QList<QByteArray> ScriptedHttpServer::SplitAt(const QByteArray &bytes, const QList<int> &offsets)
{
    QList<QByteArray> pieces;
    qsizetype start = 0;
    for (int offset : offsets + QList<int>{int(bytes.size())}) {
        pieces.append(bytes.mid(start, offset - start));
        start = offset;
    }
    return pieces;
}
