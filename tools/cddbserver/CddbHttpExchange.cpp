#include "CddbHttpExchange.h"

#include "CddbDemoDatabase.h"

#include <QByteArrayList>
#include <QUrl>

namespace
{

const QByteArray kCgiPath = "/~cddb/cddb.cgi";

QByteArray ReasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

struct Answer {
    int status = 200;
    QByteArray body;
    QByteArray charset = "ISO-8859-1";
    QByteArray contentType; // instead of text in the charset
    bool close = false;
    bool headOnly = false;
    bool http10KeepAlive = false;
    QString command;
};

CddbHttpExchange::Reply Render(const Answer &answer)
{
    QByteArray bytes =
        "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + ReasonOf(answer.status) + "\r\n";
    bytes += "Server: quarle-cddb-server\r\n";
    bytes += "Content-Type: " +
             (answer.contentType.isEmpty() ? "text/plain; charset=" + answer.charset : answer.contentType) +
             "\r\n";
    bytes += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    if (answer.status == 405)
        bytes += "Allow: GET, HEAD\r\n";
    if (answer.close)
        bytes += "Connection: close\r\n";
    else if (answer.http10KeepAlive)
        bytes += "Connection: keep-alive\r\n";
    bytes += "\r\n";
    if (!answer.headOnly)
        bytes += answer.body;
    return {bytes, answer.close, answer.command, answer.status};
}

// An error that ends the connection: after a request we could not frame, nothing that follows it on
// the connection can be trusted to start a request.
CddbHttpExchange::Reply Refuse(QByteArray &inbox, int status)
{
    inbox.clear();
    Answer answer;
    answer.status = status;
    answer.body = QByteArray::number(status) + ' ' + ReasonOf(status) + "\r\n";
    answer.close = true;
    return Render(answer);
}

bool IsToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c <= ' ' || c >= 127 || QByteArray("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    }
    return true;
}

bool IsDigits(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The path and query of a request target: "/p?q" as it stands; "http://host[:port]/p?q" without its
// scheme and authority. False for any other form.
bool OriginOf(const QByteArray &target, QByteArray &origin)
{
    if (target.startsWith('/')) {
        origin = target;
        return true;
    }
    const QByteArray scheme = "http://";
    if (target.size() <= scheme.size() || target.left(scheme.size()).toLower() != scheme)
        return false;
    const QByteArray rest = target.mid(scheme.size());
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '/' && rest[end] != '?')
        ++end;
    if (end == 0)
        return false;
    origin = rest.mid(end);
    if (!origin.startsWith('/'))
        origin.prepend('/');
    return true;
}

} // namespace

std::optional<CddbHttpExchange::Reply> CddbHttpExchange::Next(QByteArray &inbox) const
{
    // Empty lines before a request line are tolerated, as clients may send one after a request.
    qsizetype start = 0;
    while (start < inbox.size() && (inbox[start] == '\r' || inbox[start] == '\n'))
        ++start;
    inbox.remove(0, start);

    const qsizetype crlf = inbox.indexOf("\r\n\r\n");
    const qsizetype lf = inbox.indexOf("\n\n");
    qsizetype headerEnd = -1;
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        headerEnd = crlf + 4;
    else if (lf >= 0)
        headerEnd = lf + 2;
    if (headerEnd < 0) {
        if (inbox.size() > MaxHeaderBytes)
            return Refuse(inbox, 431);
        return std::nullopt;
    }
    if (headerEnd > MaxHeaderBytes)
        return Refuse(inbox, 431);

    const QByteArray header = inbox.left(headerEnd);
    QByteArrayList lines = header.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }

    const QByteArrayList request = lines.value(0).split(' ');
    if (request.size() != 3 || !IsToken(request[0]) || request[1].isEmpty())
        return Refuse(inbox, 400);
    const QByteArray &version = request[2];
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return Refuse(inbox, version.startsWith("HTTP/") ? 505 : 400);

    QByteArrayList connection;
    bool hasBody = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        // Folded header lines are obsolete and a way to smuggle a second reading of a field.
        if (colon <= 0 || !IsToken(line.left(colon)))
            return Refuse(inbox, 400);
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "connection") {
            for (const QByteArray &token : value.split(','))
                connection.append(token.trimmed().toLower());
        } else if (name == "transfer-encoding") {
            hasBody = true;
        } else if (name == "content-length") {
            if (!IsDigits(value))
                return Refuse(inbox, 400);
            hasBody = hasBody || value.toLongLong() > 0;
        }
    }
    // A GET has no body; one that claims a body is not framed the way this server reads requests.
    if (hasBody)
        return Refuse(inbox, 400);
    QByteArray origin;
    if (!OriginOf(request[1], origin))
        return Refuse(inbox, 400);
    inbox.remove(0, headerEnd);

    Answer answer;
    if (version == "HTTP/1.1") {
        answer.close = connection.contains("close");
    } else {
        answer.close = !connection.contains("keep-alive");
        answer.http10KeepAlive = !answer.close;
    }
    answer.headOnly = request[0] == "HEAD";

    const auto textAnswer = [&answer](int status) {
        answer.status = status;
        answer.body = QByteArray::number(status) + ' ' + ReasonOf(status) + "\r\n";
        return Render(answer);
    };
    if (request[0] != "GET" && request[0] != "HEAD")
        return textAnswer(405);

    origin.truncate(origin.indexOf('#') < 0 ? origin.size() : origin.indexOf('#'));
    const qsizetype question = origin.indexOf('?');
    const QByteArray path = question < 0 ? origin : origin.left(question);
    const QByteArray query = question < 0 ? QByteArray() : origin.mid(question + 1);
    if (const auto document = documents_.constFind(QByteArray::fromPercentEncoding(path));
        document != documents_.constEnd()) {
        answer.body = *document;
        answer.contentType = "application/octet-stream";
        answer.command = QString::fromLatin1(path);
        return Render(answer);
    }
    if (QByteArray::fromPercentEncoding(path) != kCgiPath)
        return textAnswer(404);

    QString command;
    int proto = 1;
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = QByteArray::fromPercentEncoding(eq < 0 ? pair : pair.left(eq));
        QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        value.replace('+', ' ');
        if (key == "cmd")
            command = QUrl::fromPercentEncoding(value);
        else if (key == "proto")
            proto = value.toInt();
    }

    // Protocol levels below 6 answer in ISO-8859-1, level 6 and later in UTF-8.
    const bool utf8 = proto >= 6;
    answer.charset = utf8 ? "UTF-8" : "ISO-8859-1";
    answer.command = command;
    for (const QString &line : database_.Answer(command))
        answer.body += (utf8 ? line.toUtf8() : line.toLatin1()) + "\r\n";
    return Render(answer);
}
