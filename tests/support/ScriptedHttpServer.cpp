#include "ScriptedHttpServer.h"

#include <QFile>
#include <QPointer>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

ScriptedHttpServer::ScriptedHttpServer(QList<ScriptedExchange> script, const QString &certificate,
                                       const QString &key)
    : script_(std::move(script))
{
    if (!certificate.isEmpty()) {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(QSslCertificate::fromPath(certificate));
        QFile keyFile(key);
        keyFile.open(QIODevice::ReadOnly);
        config.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        server->setSslConfiguration(config);
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    server_->listen(QHostAddress::LocalHost, 0);
    // A TLS connection is pending only once its handshake is done.
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = server_->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, n = ++connections_] { Read(socket, n); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (connections_ == 1 && !script_.isEmpty() && script_[0].tunnelTo && script_[0].reply.isEmpty())
                SendPiece(socket, script_[0], 0);
        }
    });
}

// A GET has no body: a request ends with its empty line. What follows it waits in the socket's buffer.
void ScriptedHttpServer::Read(QTcpSocket *socket, int connection)
{
    if (auto *far = socket->findChild<QTcpSocket *>("tunnel", Qt::FindDirectChildrenOnly)) {
        far->write(socket->readAll());
        return;
    }
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
        if (exchange.tunnelTo) {
            // What the client sends before the far end answers waits in the far socket's buffer.
            auto *far = new QTcpSocket(socket);
            far->setObjectName("tunnel");
            far->connectToHost(QHostAddress::LocalHost, exchange.tunnelTo);
            if (exchange.tunnelPiece) {
                auto *pace = new QTimer(far);
                connect(pace, &QTimer::timeout, socket,
                        [socket, far, n = exchange.tunnelPiece] { socket->write(far->read(n)); });
                pace->start(exchange.pauseMs);
            } else {
                connect(far, &QTcpSocket::readyRead, socket,
                        [socket, far] { socket->write(far->readAll()); });
            }
            connect(far, &QTcpSocket::disconnected, socket, &QTcpSocket::disconnectFromHost);
        }
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
