#pragma once

#include "lookup/HttpResponseParser.h"
#include "platform/Exception.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <functional>

class QEventLoop;
class QHostInfo;
class QIODevice;
class QTcpSocket;
class QTimer;

// A failed GET: the message is the reason phrase (or the cause), status the HTTP status that goes with
// it (404 for a failure of the connection itself, 0 when the request was never started).
class EHttpException : public Exception
{
public:
    EHttpException(int status, const QString &message);
    int status() const { return status_; }
    QString message() const { return message_; }

private:
    int status_;
    QString message_;
};

// HTTP/1.x GET client, for http and https URLs. Get() returns only when the request has ended, running a
// nested event loop meanwhile so that the window keeps handling its events; one request at a time.
//
// An https server's certificate must check against the system's CAs, plus those of the PEM file that the
// environment variable QUARLE_CA_FILE names (read at each connection), for the URL's host; one that does
// not fails the request as a failed connection. Through a proxy, https goes in a CONNECT tunnel, and a
// relocation from https to http is refused.
class THttpCli : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(QString Proxy READ Proxy WRITE setProxy)
    Q_PROPERTY(QString ProxyPort READ ProxyPort WRITE setProxyPort)
    Q_PROPERTY(QString Username READ Username WRITE setUsername)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(QString ProxyUsername READ ProxyUsername WRITE setProxyUsername)
    Q_PROPERTY(QString ProxyPassword READ ProxyPassword WRITE setProxyPassword)
    Q_PROPERTY(QString AcceptLanguage READ AcceptLanguage WRITE setAcceptLanguage)
    Q_PROPERTY(QString Connection READ Connection WRITE setConnection)
    Q_PROPERTY(QString ProxyConnection READ ProxyConnection WRITE setProxyConnection)
    Q_PROPERTY(QString RequestVer READ RequestVer WRITE setRequestVer)
    Q_PROPERTY(QString Agent READ Agent WRITE setAgent)
    Q_PROPERTY(QString Accept READ Accept WRITE setAccept)
    Q_PROPERTY(QString Sender READ Sender WRITE setSender)
    Q_PROPERTY(QString Reference READ Reference WRITE setReference)
    Q_PROPERTY(QDateTime ModifiedSince READ ModifiedSince WRITE setModifiedSince)
    Q_PROPERTY(bool NoCache READ NoCache WRITE setNoCache)
    Q_PROPERTY(bool FollowRelocation READ FollowRelocation WRITE setFollowRelocation)
    Q_PROPERTY(int LocationChangeMaxCount READ LocationChangeMaxCount WRITE setLocationChangeMaxCount)
    Q_PROPERTY(QString LocalAddr READ LocalAddr WRITE setLocalAddr)
    Q_PROPERTY(int Timeout READ Timeout WRITE setTimeout)
    Q_PROPERTY(qint64 MaxDocumentSize READ MaxDocumentSize WRITE setMaxDocumentSize)

public:
    static constexpr int kDefaultTimeout = 30000;
    static constexpr qint64 kDefaultMaxDocumentSize = 16 * 1024 * 1024;

    explicit THttpCli(QObject *parent = nullptr);
    ~THttpCli() override;

    QString URL() const { return settings_.url; }
    void setURL(const QString &value) { settings_.url = value; }
    QString Proxy() const { return settings_.proxy; }
    void setProxy(const QString &value) { settings_.proxy = value; }
    QString ProxyPort() const { return settings_.proxyPort; }
    void setProxyPort(const QString &value) { settings_.proxyPort = value; }
    QString Username() const { return settings_.username; }
    void setUsername(const QString &value) { settings_.username = value; }
    QString Password() const { return settings_.password; }
    void setPassword(const QString &value) { settings_.password = value; }
    QString ProxyUsername() const { return settings_.proxyUsername; }
    void setProxyUsername(const QString &value) { settings_.proxyUsername = value; }
    QString ProxyPassword() const { return settings_.proxyPassword; }
    void setProxyPassword(const QString &value) { settings_.proxyPassword = value; }
    QString AcceptLanguage() const { return settings_.acceptLanguage; }
    void setAcceptLanguage(const QString &value) { settings_.acceptLanguage = value; }
    QString Connection() const { return settings_.connection; }
    void setConnection(const QString &value) { settings_.connection = value; }
    QString ProxyConnection() const { return settings_.proxyConnection; }
    void setProxyConnection(const QString &value) { settings_.proxyConnection = value; }
    QString RequestVer() const { return settings_.requestVer; }
    // Only "1.0" and "1.1"; anything else raises EHttpException("Insupported HTTP version").
    void setRequestVer(const QString &value);
    QString Agent() const { return settings_.agent; }
    void setAgent(const QString &value) { settings_.agent = value; }
    QString Accept() const { return settings_.accept; }
    void setAccept(const QString &value) { settings_.accept = value; }
    QString Sender() const { return settings_.sender; }
    void setSender(const QString &value) { settings_.sender = value; }
    QString Reference() const { return settings_.reference; }
    void setReference(const QString &value) { settings_.reference = value; }
    QDateTime ModifiedSince() const { return settings_.modifiedSince; }
    void setModifiedSince(const QDateTime &value) { settings_.modifiedSince = value; }
    bool NoCache() const { return settings_.noCache; }
    void setNoCache(bool value) { settings_.noCache = value; }
    bool FollowRelocation() const { return settings_.followRelocation; }
    void setFollowRelocation(bool value) { settings_.followRelocation = value; }
    int LocationChangeMaxCount() const { return settings_.locationChangeMaxCount; }
    void setLocationChangeMaxCount(int value) { settings_.locationChangeMaxCount = value; }
    QString LocalAddr() const { return settings_.localAddr; }
    void setLocalAddr(const QString &value) { settings_.localAddr = value; }
    // Milliseconds without any progress (name found, connected, bytes received) before giving up.
    int Timeout() const { return settings_.timeout; }
    void setTimeout(int milliseconds) { settings_.timeout = milliseconds; }
    // Largest body accepted, in bytes; a longer one fails the request.
    qint64 MaxDocumentSize() const { return settings_.maxDocumentSize; }
    void setMaxDocumentSize(qint64 bytes) { settings_.maxDocumentSize = bytes; }
    // When a request must have ended, however steadily the server trickles; forever by default.
    QDeadlineTimer Deadline() const { return settings_.deadline; }
    void setDeadline(QDeadlineTimer deadline) { settings_.deadline = deadline; }

    // Where each body goes; attached by the document-begin handler, detached by the document-end one.
    QIODevice *RcvdStream() const { return rcvdStream_; }
    void setRcvdStream(QIODevice *stream) { rcvdStream_ = stream; }

    // Sends the GET for URL and returns when the request has ended; raises EHttpException on failure.
    void Get();
    // Ends the request in progress ("Connection aborted on request"); closes an idle connection.
    void Abort();

    bool Busy() const { return busy_; }
    int StatusCode() const { return statusCode_; }
    // The status of the last response the server (or proxy) sent in this request, 0 when none came: a
    // failure's StatusCode may be the client's own (404 for a connection that failed).
    int ServerStatus() const { return serverStatus_; }
    QString ReasonPhrase() const { return reasonPhrase_; }
    QString ContentType() const { return contentType_; }
    // Whether the final response had a body (and so passed through the document events).
    bool DocumentReceived() const { return documentReceived_; }

    // Before the first byte of each body, and after its last byte.
    std::function<void(QObject *)> OnDocBegin;
    std::function<void(QObject *)> OnDocEnd;

private:
    enum class Phase { Idle, Resolving, Connecting, Handshake, Waiting };
    enum class AuthStep { None, Basic, NtlmNegotiate, NtlmAuthenticate, NtlmDone };

    void StartRequest();
    void Resolve();
    void HostFound(const QHostInfo &info);
    void ConnectNextAddress();
    void Connected(QTcpSocket *socket);
    void SendOnConnection();
    void StartEncryption();
    void HandshakeFailed(QTcpSocket *socket);
    void SocketError(QTcpSocket *socket, QAbstractSocket::SocketError error);
    void SocketClosed(QTcpSocket *socket);
    bool RetryOnFreshConnection();
    void ReadyRead(QTcpSocket *socket);
    void SendRequest(bool tunnel);
    QByteArray BuildRequest() const;
    QByteArray BuildConnect() const;
    QString ProxyConnectionValue() const;
    void ProcessInbox();
    void HeaderReceived();
    void WriteBody(const QByteArray &body);
    void ResponseDone();
    void Relocate(const QString &location);
    bool AnswerChallenge(bool proxy);
    void Fire(const std::function<void(QObject *)> &event);
    void Progress();
    void Fail(int status, const QString &message);
    void Finish();
    void DropConnection();

    // The settings as set, and the copy the request in progress works with, so that a setter called
    // while a request waits (from a timer, say) cannot change that request halfway.
    struct Settings {
        QString url;
        QString proxy;
        QString proxyPort;
        QString username;
        QString password;
        QString proxyUsername;
        QString proxyPassword;
        QString acceptLanguage;
        QString connection;
        QString proxyConnection;
        QString requestVer = "1.1";
        QString agent = "Mozilla/4.0 (compatible; ICS)";
        QString accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
        QString sender;
        QString reference;
        QDateTime modifiedSince;
        bool noCache = false;
        bool followRelocation = true;
        int locationChangeMaxCount = 5;
        QString localAddr = "0.0.0.0";
        int timeout = kDefaultTimeout;
        qint64 maxDocumentSize = kDefaultMaxDocumentSize;
        QDeadlineTimer deadline{QDeadlineTimer::Forever};
    };
    Settings settings_;
    Settings active_;
    QPointer<QIODevice> rcvdStream_;

    // The request in progress.
    bool busy_ = false;
    bool finished_ = false;
    bool failed_ = false;
    int errorStatus_ = 0;
    QString errorMessage_;
    std::exception_ptr eventError_;
    Phase phase_ = Phase::Idle;
    QEventLoop *loop_ = nullptr;
    QTimer *idleTimer_ = nullptr;
    QTimer *deadlineTimer_ = nullptr;
    QString currentUrl_;
    QString user_;
    QString pass_;
    QString protocol_;
    QString host_;
    QString portText_;
    quint16 targetPort_ = 0;
    QString path_;
    bool tls_ = false;
    // Where Get sent the request first: the server credentials answer only its challenges.
    bool originTls_ = false;
    QString originHost_;
    quint16 originPort_ = 0;
    bool leftOrigin_ = false;
    QString connectHost_;
    quint16 connectPort_ = 0;
    bool viaProxy_ = false;
    // What a connection serves: its scheme, the server or proxy it goes to, and a tunnel's far end.
    QString route_;
    // The response awaited is the proxy's answer to CONNECT, not the document's.
    bool askingTunnel_ = false;
    QString tlsErrors_;
    int relocations_ = 0;
    AuthStep serverAuth_ = AuthStep::None;
    AuthStep proxyAuth_ = AuthStep::None;
    QByteArray serverAuthLine_;
    QByteArray proxyAuthLine_;
    bool proxyIsHttp10_ = false;
    bool retriedFresh_ = false;

    // The response being received.
    HttpResponseParser parser_;
    QByteArray inbox_;
    bool docOpen_ = false;
    qint64 bodySize_ = 0;
    int statusCode_ = 0;
    int serverStatus_ = 0;
    QString reasonPhrase_;
    QString contentType_;
    bool documentReceived_ = false;

    // The connection, kept open between requests when the server allows it.
    QTcpSocket *socket_ = nullptr;
    QString socketRoute_;
    bool socketReused_ = false;
    int lookupId_ = -1;
    QList<QHostAddress> addresses_;
    int addressIndex_ = 0;
    QString lastConnectError_;
};
