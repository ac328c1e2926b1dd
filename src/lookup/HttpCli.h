#pragma once

#include "lookup/HttpResponseParser.h"
#include "platform/Exception.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
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

// HTTP/1.x GET client. Get() returns only when the request has ended, running a nested event loop
// meanwhile so that the window keeps handling its events; one request at a time.
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

    QString URL() const { return url_; }
    void setURL(const QString &value) { url_ = value; }
    QString Proxy() const { return proxy_; }
    void setProxy(const QString &value) { proxy_ = value; }
    QString ProxyPort() const { return proxyPort_; }
    void setProxyPort(const QString &value) { proxyPort_ = value; }
    QString Username() const { return username_; }
    void setUsername(const QString &value) { username_ = value; }
    QString Password() const { return password_; }
    void setPassword(const QString &value) { password_ = value; }
    QString ProxyUsername() const { return proxyUsername_; }
    void setProxyUsername(const QString &value) { proxyUsername_ = value; }
    QString ProxyPassword() const { return proxyPassword_; }
    void setProxyPassword(const QString &value) { proxyPassword_ = value; }
    QString AcceptLanguage() const { return acceptLanguage_; }
    void setAcceptLanguage(const QString &value) { acceptLanguage_ = value; }
    QString Connection() const { return connection_; }
    void setConnection(const QString &value) { connection_ = value; }
    QString ProxyConnection() const { return proxyConnection_; }
    void setProxyConnection(const QString &value) { proxyConnection_ = value; }
    QString RequestVer() const { return requestVer_; }
    // Only "1.0" and "1.1"; anything else raises EHttpException("Insupported HTTP version").
    void setRequestVer(const QString &value);
    QString Agent() const { return agent_; }
    void setAgent(const QString &value) { agent_ = value; }
    QString Accept() const { return accept_; }
    void setAccept(const QString &value) { accept_ = value; }
    QString Sender() const { return sender_; }
    void setSender(const QString &value) { sender_ = value; }
    QString Reference() const { return reference_; }
    void setReference(const QString &value) { reference_ = value; }
    QDateTime ModifiedSince() const { return modifiedSince_; }
    void setModifiedSince(const QDateTime &value) { modifiedSince_ = value; }
    bool NoCache() const { return noCache_; }
    void setNoCache(bool value) { noCache_ = value; }
    bool FollowRelocation() const { return followRelocation_; }
    void setFollowRelocation(bool value) { followRelocation_ = value; }
    int LocationChangeMaxCount() const { return locationChangeMaxCount_; }
    void setLocationChangeMaxCount(int value) { locationChangeMaxCount_ = value; }
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString &value) { localAddr_ = value; }
    // Milliseconds without any progress (name found, connected, bytes received) before giving up.
    int Timeout() const { return timeout_; }
    void setTimeout(int milliseconds) { timeout_ = milliseconds; }
    // Largest body accepted, in bytes; a longer one fails the request.
    qint64 MaxDocumentSize() const { return maxDocumentSize_; }
    void setMaxDocumentSize(qint64 bytes) { maxDocumentSize_ = bytes; }

    // Where each body goes; attached by the document-begin handler, detached by the document-end one.
    QIODevice *RcvdStream() const { return rcvdStream_; }
    void setRcvdStream(QIODevice *stream) { rcvdStream_ = stream; }

    // Sends the GET for URL and returns when the request has ended; raises EHttpException on failure.
    void Get();
    // Ends the request in progress ("Connection aborted on request"); closes an idle connection.
    void Abort();

    bool Busy() const { return busy_; }
    int StatusCode() const { return statusCode_; }
    QString ReasonPhrase() const { return reasonPhrase_; }
    QString ContentType() const { return contentType_; }
    // Whether the final response had a body (and so passed through the document events).
    bool DocumentReceived() const { return documentReceived_; }

    // Before the first byte of each body, and after its last byte.
    std::function<void(QObject *)> OnDocBegin;
    std::function<void(QObject *)> OnDocEnd;

private:
    enum class Phase { Idle, Resolving, Connecting, Waiting };
    enum class AuthStep { None, Basic, NtlmNegotiate, NtlmAuthenticate, NtlmDone };

    void StartRequest();
    void Resolve();
    void HostFound(const QHostInfo &info);
    void ConnectNextAddress();
    void Connected(QTcpSocket *socket);
    void SocketError(QTcpSocket *socket, QAbstractSocket::SocketError error);
    void SocketClosed(QTcpSocket *socket);
    bool RetryOnFreshConnection();
    void ReadyRead(QTcpSocket *socket);
    void SendRequest();
    QByteArray BuildRequest() const;
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

    QString url_;
    QString proxy_;
    QString proxyPort_;
    QString username_;
    QString password_;
    QString proxyUsername_;
    QString proxyPassword_;
    QString acceptLanguage_;
    QString connection_;
    QString proxyConnection_;
    QString requestVer_ = "1.1";
    QString agent_ = "Mozilla/4.0 (compatible; ICS)";
    QString accept_ = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    QString sender_;
    QString reference_;
    QDateTime modifiedSince_;
    bool noCache_ = false;
    bool followRelocation_ = true;
    int locationChangeMaxCount_ = 5;
    QString localAddr_ = "0.0.0.0";
    int timeout_ = kDefaultTimeout;
    qint64 maxDocumentSize_ = kDefaultMaxDocumentSize;
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
    QString currentUrl_;
    QString user_;
    QString pass_;
    QString protocol_;
    QString host_;
    QString portText_;
    QString path_;
    QString connectHost_;
    quint16 connectPort_ = 0;
    bool viaProxy_ = false;
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
    QString reasonPhrase_;
    QString contentType_;
    bool documentReceived_ = false;

    // The connection, kept open between requests when the server allows it.
    QTcpSocket *socket_ = nullptr;
    QString socketHost_;
    quint16 socketPort_ = 0;
    bool socketReused_ = false;
    int lookupId_ = -1;
    QList<QHostAddress> addresses_;
    int addressIndex_ = 0;
    QString lastConnectError_;
};
