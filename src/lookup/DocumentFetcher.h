#pragma once

#include "lookup/HttpCli.h"
#include "platform/Exception.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <functional>
#include <memory>
#include <optional>

// The four edits of the "Config. Proxy" page, read at every fetch.
struct ProxySettings {
    QString host;
    QString port;
    QString user;
    QString password;
};

// Who may have the proxy page's user and password: the proxy alone, or also the server asked (the
// first host's challenge, as the disc-database lookup answers it).
enum class Credentials { ProxyOnly, ProxyAndServer };

// Sets the client up for a GET of url as every fetch of the program makes it: through the proxy page's
// settings (its user and password answer the proxy's challenges and, when `credentials` says so, the
// first host's), HTTP/1.1 with keep-alive, at most maxBytes of document and nothing after `deadline`.
void PrepareRequest(THttpCli &http, const ProxySettings &proxy, const QString &url, qint64 maxBytes,
                    QDeadlineTimer deadline, Credentials credentials);

// What a fetch of a small file gave: the file (a 200 with a body), the server's word that it has no
// such file (404), or nothing: a refused connection, a time-out, any other status.
struct TFetchedFile {
    enum Kind { Found, Absent, Unreachable };
    Kind kind = Unreachable;
    QByteArray bytes;
};

// The bounds of what a fetch takes: a database's answer, a cover.
constexpr qint64 kSmallFileBytes = 1 << 20;
constexpr qint64 kCoverBytes = 4 << 20;

// Fetches a file of at most maxBytes into memory with `http` through the proxy page's settings, within
// a minute; the proxy's user and password go to the proxy alone.
TFetchedFile FetchFile(THttpCli &http, const ProxySettings &proxy, const QString &url, qint64 maxBytes);
// The same with `agent` as the User-Agent of this request only.
TFetchedFile FetchFileAs(THttpCli &http, const ProxySettings &proxy, const QString &url, const QString &agent,
                         qint64 maxBytes = kSmallFileBytes);

// A cover as fetched: its bytes and MIME type when they are a JPEG or PNG image, else nothing.
std::pair<QByteArray, QString> CoverImage(const TFetchedFile &file);

// The document file could not be read back after the fetch.
class EDocumentFileError : public Exception
{
public:
    explicit EDocumentFileError(const QString &message) : Exception(message.toStdString()) {}
};

// Fetches one document with the window's HTTP client into the file "temp" of the program's folder
// (written as a new file, which takes the old one's place, a link's too, once whole) and reads it back
// as text lines. A failed request gives nothing and no message; only a document
// file that cannot be read back raises.
class DocumentFetcher
{
public:
    using ErrorReporter = std::function<void(const QString &)>;

    // A disc entry is a few kilobytes: a document past either bound is refused, so that no answer can
    // make the program hold much more than this.
    static constexpr qint64 kMaxDocumentSize = 1024 * 1024;
    static constexpr qsizetype kMaxDocumentLines = 64 * 1024;
    // What is read back of the document file at most.
    static constexpr qint64 kMaxReadBytes = 4 * 1024 * 1024;

    // reportError shows "Error opening file: ..." when the document file cannot be created.
    DocumentFetcher(THttpCli &http, const QString &programDir, ErrorReporter reportError);
    ~DocumentFetcher();

    // The request fails when it has not ended by `deadline`.
    std::optional<QStringList> Fetch(const ProxySettings &proxy, const QString &url, QStringList &pagina,
                                     QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    QString DocumentPath() const;
    // Lines of Latin-1 text split at CR LF, LF or CR; a last line without a break still counts.
    static QStringList SplitLines(const QByteArray &text);

private:
    void DocBegin();
    void DocEnd();
    void CloseDocument();

    THttpCli &http_;
    QString programDir_;
    ErrorReporter reportError_;
    std::unique_ptr<QTemporaryFile> file_; // the document as it comes, renamed to "temp" once whole
};
