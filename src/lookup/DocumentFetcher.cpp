#include "lookup/DocumentFetcher.h"

#include "platform/NewFile.h"

#include <QBuffer>
#include <QDir>

#include <cstdio>

namespace
{

// Lines as SplitLines counts them.
qsizetype LineCount(const QByteArray &text)
{
    qsizetype lines = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (text[at] == '\n' || (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n')))
            ++lines;
    }
    return lines + (!text.isEmpty() && text.back() != '\n' && text.back() != '\r');
}

} // namespace

DocumentFetcher::DocumentFetcher(THttpCli &http, const QString &programDir, ErrorReporter reportError)
    : http_(http), programDir_(programDir), reportError_(std::move(reportError))
{
}

DocumentFetcher::~DocumentFetcher()
{
    CloseDocument();
}

void PrepareRequest(THttpCli &http, const ProxySettings &proxy, const QString &url, qint64 maxBytes,
                    QDeadlineTimer deadline, Credentials credentials)
{
    const bool server = credentials == Credentials::ProxyAndServer;
    http.setURL(url);
    http.setProxy(proxy.host);
    http.setProxyPort(proxy.port);
    http.setProxyUsername(proxy.user);
    http.setUsername(server ? proxy.user : QString());
    http.setProxyPassword(proxy.password);
    http.setPassword(server ? proxy.password : QString());
    http.setAcceptLanguage(QStringLiteral("it"));
    http.setConnection(QStringLiteral("Keep-Alive"));
    http.setRequestVer(QStringLiteral("1.1"));
    http.setModifiedSince(QDateTime());
    http.setRcvdStream(nullptr);
    http.setMaxDocumentSize(maxBytes);
    http.setDeadline(deadline);
}

QString DocumentFetcher::DocumentPath() const
{
    return QDir(programDir_).filePath(QStringLiteral("temp"));
}

std::optional<QStringList> DocumentFetcher::Fetch(const ProxySettings &proxy, const QString &url,
                                                  QStringList &pagina, QDeadlineTimer deadline)
{
    // A fetch started while another one waits (a second refresh from inside the first) must leave
    // the first one's settings, handlers and document alone.
    if (http_.Busy())
        return std::nullopt;

    PrepareRequest(http_, proxy, url, kMaxDocumentSize, deadline, Credentials::ProxyAndServer);

    http_.OnDocBegin = [this](QObject *) { DocBegin(); };
    http_.OnDocEnd = [this](QObject *) { DocEnd(); };
    struct Unhook {
        THttpCli &http;
        ~Unhook()
        {
            http.OnDocBegin = nullptr;
            http.OnDocEnd = nullptr;
        }
    } unhook{http_};

    try {
        http_.Get();
    } catch (const EHttpException &) {
        CloseDocument();
        return std::nullopt;
    }
    CloseDocument();

    // An answer without a body (204, a bare 302...) is an empty document, not the previous one.
    if (!http_.DocumentReceived()) {
        ReplaceFile(DocumentPath(), [](TNewFile &) { return true; });
        pagina.clear();
        return pagina;
    }

    QFile file(DocumentPath());
    if (!file.open(QIODevice::ReadOnly))
        throw EDocumentFileError(QStringLiteral("Cannot open file \"%1\". %2")
                                     .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    // No longer than the client's bound; but a page of empty lines would cost far more as a list.
    const QByteArray text = file.read(kMaxReadBytes);
    if (LineCount(text) > kMaxDocumentLines)
        return std::nullopt;
    pagina = SplitLines(text);
    return pagina;
}

void DocumentFetcher::DocBegin()
{
    CloseDocument();
    file_ = std::make_unique<QTemporaryFile>(QDir(programDir_).filePath(QStringLiteral(".quarle-XXXXXX")));
    if (!file_->open()) {
        if (reportError_)
            reportError_(QStringLiteral("Error opening file: ") + file_->errorString());
        // Tried once more; when that fails too the fetch is abandoned, as a document that cannot be
        // stored cannot be returned either.
        if (!file_->open()) {
            file_.reset();
            http_.Abort();
            return;
        }
    }
    http_.setRcvdStream(file_.get());
}

void DocumentFetcher::DocEnd()
{
    // A document cut short on disk (disk full) must not pass for the whole one.
    bool written = !file_ || file_->flush();
    if (file_ && written) {
        written = std::rename(QFile::encodeName(file_->fileName()).constData(),
                              QFile::encodeName(DocumentPath()).constData()) == 0;
        file_->setAutoRemove(!written);
    }
    CloseDocument();
    if (!written)
        http_.Abort();
}

void DocumentFetcher::CloseDocument()
{
    if (http_.RcvdStream() == file_.get())
        http_.setRcvdStream(nullptr);
    if (file_) {
        file_->close();
        file_.reset();
    }
}

QStringList DocumentFetcher::SplitLines(const QByteArray &text)
{
    QStringList lines;
    qsizetype start = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c != '\r' && c != '\n') {
            ++at;
            continue;
        }
        lines.append(QString::fromLatin1(text.constData() + start, at - start));
        at += (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
        start = at;
    }
    if (start < text.size())
        lines.append(QString::fromLatin1(text.constData() + start, text.size() - start));
    return lines;
}

namespace
{
constexpr qint64 FetchLimitMs = 60000;
} // namespace

TFetchedFile FetchFile(THttpCli &http, const ProxySettings &proxy, const QString &url, qint64 maxBytes)
{
    return FetchFileAs(http, proxy, url, http.Agent(), maxBytes);
}

std::pair<QByteArray, QString> CoverImage(const TFetchedFile &file)
{
    if (file.kind != TFetchedFile::Found)
        return {};
    if (file.bytes.startsWith("\xff\xd8\xff"))
        return {file.bytes, QStringLiteral("image/jpeg")};
    if (file.bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return {file.bytes, QStringLiteral("image/png")};
    return {};
}

TFetchedFile FetchFileAs(THttpCli &http, const ProxySettings &proxy, const QString &url, const QString &agent,
                         qint64 maxBytes)
{
    if (http.Busy())
        return {};
    // The files asked for are a few kilobytes: neither a larger answer nor a server that trickles one
    // holds up whoever waits for it. The proxy page's user and password are the proxy's: a server (or
    // anything posing as a database on plain HTTP) that asks for them gets nothing.
    PrepareRequest(http, proxy, url, maxBytes, QDeadlineTimer(FetchLimitMs), Credentials::ProxyOnly);
    // Each body (a relocation's too) starts the buffer anew; the last one is the answer.
    QBuffer body;
    http.OnDocBegin = [&](QObject *) {
        body.close();
        body.setData(QByteArray());
        body.open(QIODevice::WriteOnly);
        http.setRcvdStream(&body);
    };
    http.OnDocEnd = [&](QObject *) { http.setRcvdStream(nullptr); };
    struct Unhook {
        THttpCli &http;
        QString agent;
        ~Unhook()
        {
            http.setRcvdStream(nullptr);
            http.OnDocBegin = nullptr;
            http.OnDocEnd = nullptr;
            http.setAgent(agent);
        }
    } unhook{http, http.Agent()};
    http.setAgent(agent);
    try {
        http.Get();
    } catch (const std::exception &) {
        // The server's way of saying that it has no such file.
        if (http.ServerStatus() == 404)
            return {TFetchedFile::Absent, {}};
        return {};
    }
    if (http.StatusCode() != 200 || !http.DocumentReceived())
        return {};
    return {TFetchedFile::Found, body.data()};
}
