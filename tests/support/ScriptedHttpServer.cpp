#include "ScriptedHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace
{
const char kConnectionNumber[] = "scriptedConnection";
const char kBuffer[] = "scriptedBuffer";
} // namespace

ScriptedHttpServer::ScriptedHttpServer(QList<ScriptedExchange> script) : script_(std::move(script))
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedHttpServer::Accept);
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    server_.close();
}

void ScriptedHttpServer::Add(const ScriptedExchange &exchange)
{
    script_.append(exchange);
}

quint16 ScriptedHttpServer::port() const
{
    return server_.serverPort();
}

QString ScriptedHttpServer::Authority() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QString ScriptedHttpServer::Url(const QString &path) const
{
    return QStringLiteral("http://") + Authority() + path;
}

void ScriptedHttpServer::Accept()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        socket->setProperty(kConnectionNumber, ++connections_);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ScriptedHttpServer::Read(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(kBuffer).toByteArray() + socket->readAll();
    // A GET has no body: a request ends with its empty line.
    qsizetype end;
    while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
        const QByteArray request = buffer.left(end + 4);
        buffer.remove(0, end + 4);
        requests_.append(request);
        requestConnections_.append(socket->property(kConnectionNumber).toInt());
        if (next_ >= script_.size()) {
            mismatches_.append(QStringLiteral("unexpected request %1:\n%2")
                                   .arg(requests_.size())
                                   .arg(QString::fromLatin1(request)));
            socket->disconnectFromHost();
            break;
        }
        const ScriptedExchange exchange = script_[next_++];
        if (!exchange.expected.isEmpty() && exchange.expected != request)
            mismatches_.append(
                QStringLiteral("request %1 differs:\nexpected:\n%2\nreceived:\n%3")
                    .arg(requests_.size())
                    .arg(QString::fromLatin1(exchange.expected), QString::fromLatin1(request)));
        if (!exchange.silent)
            SendPiece(socket, exchange, 0);
    }
    socket->setProperty(kBuffer, buffer);
}

void ScriptedHttpServer::SendPiece(QTcpSocket *socket, const ScriptedExchange &exchange, int piece)
{
    if (piece >= exchange.reply.size()) {
        if (exchange.closeAfter)
            socket->disconnectFromHost();
        return;
    }
    socket->write(exchange.reply[piece]);
    socket->flush();
    if (piece + 1 == exchange.reply.size() && exchange.closeAfter) {
        // Closed together with the last bytes, as a server that is done with the connection does.
        socket->disconnectFromHost();
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(exchange.pauseMs, this, [this, guard, exchange, piece] {
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
    for (int offset : offsets) {
        pieces.append(bytes.mid(start, offset - start));
        start = offset;
    }
    pieces.append(bytes.mid(start));
    return pieces;
}
