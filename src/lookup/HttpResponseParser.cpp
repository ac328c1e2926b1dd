#include "lookup/HttpResponseParser.h"

namespace
{

// A chunk size line may carry extensions after the size, but nothing sensible is this long.
constexpr qsizetype kMaxChunkLine = 4096;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

HttpResponseParser::HttpResponseParser(const QByteArray &requestVersion) : requestVersion_(requestVersion) {}

void HttpResponseParser::Reset()
{
    ClearResponse();
    state_ = State::StatusLine;
    error_.clear();
    bytesSeen_ = 0;
}

void HttpResponseParser::ClearResponse()
{
    headerBytes_ = 0;
    status_ = 0;
    version_.clear();
    reason_.clear();
    fields_.clear();
    contentLength_ = -1;
    chunked_ = false;
    contentType_.clear();
    headerLess_ = false;
    hasBody_ = false;
    keepAlive_ = false;
    remaining_ = 0;
}

bool HttpResponseParser::HeaderComplete() const
{
    return state_ != State::StatusLine && state_ != State::Fields && state_ != State::Failed;
}

void HttpResponseParser::Fail(const QByteArray &message)
{
    state_ = State::Failed;
    error_ = message;
    keepAlive_ = false;
}

qsizetype HttpResponseParser::Feed(QByteArrayView data, QByteArray &body)
{
    qsizetype at = 0;
    while (at < data.size() && state_ != State::Done && state_ != State::Failed) {
        const qsizetype available = data.size() - at;
        switch (state_) {
        case State::Body:
        case State::ChunkData: {
            const qsizetype take = qsizetype(std::min<qint64>(remaining_, available));
            body.append(data.data() + at, take);
            at += take;
            bytesSeen_ += take;
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = state_ == State::Body ? State::Done : State::ChunkEnd;
            continue;
        }
        case State::UntilClose:
            body.append(data.data() + at, available);
            at += available;
            bytesSeen_ += available;
            continue;
        default:
            break;
        }

        // A document sent bare, without any header: it is all body, up to the close.
        if (state_ == State::StatusLine && available >= 6 &&
            data.sliced(at, 6).compare(QByteArrayView("<HTML>"), Qt::CaseInsensitive) == 0) {
            ClearResponse();
            headerLess_ = true;
            status_ = 200;
            reason_ = "OK";
            version_ = "1.0";
            contentType_ = "text/html";
            hasBody_ = true;
            state_ = State::UntilClose;
            continue;
        }

        const qsizetype lf = data.indexOf('\n', at);
        const bool headerLine =
            state_ == State::StatusLine || state_ == State::Fields || state_ == State::Trailer;
        if (lf < 0) {
            if (headerLine ? headerBytes_ + available > kMaxHeaderBytes : available > kMaxChunkLine)
                Fail(headerLine ? "Response header too long" : "Chunk size line too long");
            break;
        }
        const qsizetype lineBytes = lf + 1 - at;
        // The same limit as for a line still arriving, so that how the bytes were split on the way
        // cannot decide whether the response is good.
        if (!headerLine && lf - at > kMaxChunkLine) {
            Fail("Chunk size line too long");
            break;
        }
        QByteArray line = data.sliced(at, lf - at).toByteArray();
        if (line.endsWith('\r'))
            line.chop(1);
        at = lf + 1;
        bytesSeen_ += lineBytes;
        if (headerLine) {
            headerBytes_ += lineBytes;
            if (headerBytes_ > kMaxHeaderBytes) {
                Fail("Response header too long");
                break;
            }
        }

        switch (state_) {
        case State::StatusLine:
            StatusLineReceived(line);
            break;
        case State::Fields:
            if (line.isEmpty())
                HeaderEnded();
            else
                FieldLineReceived(line);
            break;
        case State::ChunkSize: {
            const QByteArray digits = line.trimmed();
            qint64 size = 0;
            qsizetype count = 0;
            while (count < digits.size() && HexValue(digits[count]) >= 0) {
                size = size * 16 + HexValue(digits[count]);
                if (++count > 15 || size > kMaxChunkSize) {
                    Fail("Chunk too large");
                    break;
                }
            }
            if (state_ == State::Failed)
                break;
            if (count == 0) {
                Fail("Invalid chunk size line");
                break;
            }
            remaining_ = size;
            state_ = size == 0 ? State::Trailer : State::ChunkData;
            break;
        }
        case State::ChunkEnd:
            // The line break after a chunk's data.
            state_ = State::ChunkSize;
            break;
        case State::Trailer:
            // Trailer fields, if any, up to the empty line that ends the chunked body.
            if (line.isEmpty())
                state_ = State::Done;
            break;
        default:
            break;
        }
    }
    return at;
}

void HttpResponseParser::ConnectionClosed()
{
    if (state_ == State::UntilClose)
        state_ = State::Done;
    keepAlive_ = false;
}

void HttpResponseParser::StatusLineReceived(const QByteArray &line)
{
    // Anything before a status line (a stray line break after an earlier response, say) is skipped.
    if (!line.startsWith("HTTP/1.0") && !line.startsWith("HTTP/1.1"))
        return;
    const qsizetype seen = headerBytes_;
    ClearResponse();
    headerBytes_ = seen;
    version_ = line.mid(5, 3);
    qsizetype start = 9;
    while (start < line.size() && !IsDigit(line[start]))
        ++start;
    if (start + 3 > line.size() || !IsDigit(line[start + 1]) || !IsDigit(line[start + 2])) {
        Fail("Invalid status line: " + line.left(80));
        return;
    }
    status_ = line.mid(start, 3).toInt();
    reason_ = line.mid(start + 4);
    state_ = State::Fields;
}

void HttpResponseParser::FieldLineReceived(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return;
    QByteArray value = line.mid(colon + 1);
    qsizetype lead = 0;
    while (lead < value.size() && (value[lead] == ' ' || value[lead] == '\t'))
        ++lead;
    fields_.append({line.left(colon).toLower(), value.mid(lead)});
}

void HttpResponseParser::HeaderEnded()
{
    // Interim answers ("HTTP/1.1 100 Continue") carry nothing: the real status line follows.
    if (status_ >= 100 && status_ < 200 && status_ != 101) {
        const qsizetype seen = headerBytes_;
        ClearResponse();
        headerBytes_ = seen;
        state_ = State::StatusLine;
        return;
    }

    bool ok = false;
    const qint64 length = Value("content-length").trimmed().toLongLong(&ok);
    contentLength_ = ok && length >= 0 ? length : -1;
    chunked_ = Value("transfer-encoding").trimmed().toLower().endsWith("chunked");
    contentType_ = Value("content-type").toLower();

    keepAlive_ = requestVersion_ == "1.1" && version_ == "1.1";
    for (const auto &[name, value] : fields_) {
        if (name != "connection" && name != "proxy-connection")
            continue;
        const QByteArray token = value.trimmed().toLower();
        if (token == "close")
            keepAlive_ = false;
        else if (token == "keep-alive")
            keepAlive_ = true;
    }

    // These never carry a body, whatever their fields claim.
    if (status_ < 200 || status_ == 204 || status_ == 304) {
        keepAlive_ = keepAlive_ && status_ != 101;
        state_ = State::Done;
        return;
    }
    if (chunked_) {
        hasBody_ = true;
        state_ = State::ChunkSize;
    } else if (contentLength_ == 0) {
        state_ = State::Done;
    } else if (contentLength_ > 0) {
        hasBody_ = true;
        remaining_ = contentLength_;
        state_ = State::Body;
    } else if ((status_ == 301 || status_ == 302 || status_ == 401 || status_ == 407) && keepAlive_) {
        // Without a length these carry no body on a kept connection. On one that closes after the
        // answer (a proxy's HTTP/1.0 "407" page) the body runs to the close like any other.
        state_ = State::Done;
    } else {
        hasBody_ = true;
        keepAlive_ = false;
        state_ = State::UntilClose;
    }
}

QList<QByteArray> HttpResponseParser::Values(const QByteArray &name) const
{
    QList<QByteArray> values;
    for (const auto &[fieldName, value] : fields_)
        if (fieldName == name)
            values.append(value);
    return values;
}

QByteArray HttpResponseParser::Value(const QByteArray &name) const
{
    for (const auto &[fieldName, value] : fields_)
        if (fieldName == name)
            return value;
    return {};
}
