#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

// Reads one HTTP/1.x response from plain bytes. Feed() is given what has arrived and not yet been
// consumed; it consumes whole header lines only (a partial line stays with the caller until more
// arrives) and body bytes as they come, and stops at the end of the response, so whatever it leaves
// belongs to the connection, not to this response.
//
//   HTTP/1.1 200 OK              status line: version "1.1", status 200, reason "OK"
//   Content-Length: 5            fields: name lower-cased, value without leading spaces
//                                empty line: the header ends, the body follows
//   hello
class HttpResponseParser
{
public:
    enum class State {
        StatusLine,
        Fields,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailer,
        UntilClose,
        Done,
        Failed
    };

    // Limits that keep a hostile or broken server from filling memory.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    static constexpr qint64 kMaxChunkSize = qint64(1) << 40;

    explicit HttpResponseParser(const QByteArray &requestVersion = "1.1");
    void Reset();

    // Consumes bytes from the front of data, appending body bytes (chunk framing removed) to body.
    // Returns how many bytes of data it consumed.
    qsizetype Feed(QByteArrayView data, QByteArray &body);
    // The peer closed the connection: ends a body that runs until the close; any other unfinished
    // response is left incomplete (Complete() stays false).
    void ConnectionClosed();

    State state() const { return state_; }
    bool HeaderComplete() const;
    bool Complete() const { return state_ == State::Done; }
    bool Failed() const { return state_ == State::Failed; }
    QByteArray Error() const { return error_; }
    bool HasBody() const { return hasBody_; }
    // The connection may carry the next request once this response is complete.
    bool KeepAlive() const { return keepAlive_; }
    // Bytes of this response seen so far, header included (0 means the server has said nothing).
    qint64 BytesSeen() const { return bytesSeen_; }

    int Status() const { return status_; }
    QByteArray Version() const { return version_; }
    QByteArray Reason() const { return reason_; }
    qint64 ContentLength() const { return contentLength_; }
    bool Chunked() const { return chunked_; }
    QByteArray ContentType() const { return contentType_; }
    // A response that began with "<HTML>" instead of a status line: all of it is the document.
    bool HeaderLess() const { return headerLess_; }

    const QList<QPair<QByteArray, QByteArray>> &Fields() const { return fields_; }
    QList<QByteArray> Values(const QByteArray &name) const;
    QByteArray Value(const QByteArray &name) const;

private:
    void ClearResponse();
    void Fail(const QByteArray &message);
    void StatusLineReceived(const QByteArray &line);
    void FieldLineReceived(const QByteArray &line);
    void HeaderEnded();

    QByteArray requestVersion_;
    State state_ = State::StatusLine;
    QByteArray error_;
    qint64 bytesSeen_ = 0;
    qsizetype headerBytes_ = 0;

    int status_ = 0;
    QByteArray version_;
    QByteArray reason_;
    QList<QPair<QByteArray, QByteArray>> fields_;
    qint64 contentLength_ = -1;
    bool chunked_ = false;
    QByteArray contentType_;
    bool headerLess_ = false;
    bool hasBody_ = false;
    bool keepAlive_ = false;
    qint64 remaining_ = 0;
};
