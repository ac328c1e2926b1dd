// Feeds a server's answer to the HTTP response parser twice: all at once, and in small pieces with the
// unconsumed rest kept in front of the next piece, as the client's socket buffer does. How the bytes
// happen to arrive must never change what the response is.
#include "FuzzCheck.h"
#include "lookup/HttpResponseParser.h"

#include <cstddef>
#include <cstdint>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

namespace
{

struct Outcome {
    QByteArray body;
    QByteArray leftover;
    qint64 consumed = 0;
    bool keepAlive = false; // as it stood before the connection closed
};

// One call of Feed, with the checks that hold for every call.
qsizetype FeedOnce(HttpResponseParser &parser, const QByteArray &pending, QByteArray &body)
{
    const bool finished = parser.Complete() || parser.Failed();
    const qsizetype bodyBefore = body.size();
    const qsizetype used = parser.Feed(pending, body);
    FUZZ_CHECK(used >= 0 && used <= pending.size());
    FUZZ_CHECK(body.size() - bodyBefore <= used);
    FUZZ_CHECK(!finished || used == 0);
    return used;
}

Outcome FeedInPieces(HttpResponseParser &parser, const QByteArray &input, qsizetype pieceSize)
{
    Outcome out;
    QByteArray pending;
    for (qsizetype at = 0; at < input.size(); at += pieceSize) {
        pending += input.mid(at, pieceSize);
        // The client feeds again as long as the parser takes something.
        for (;;) {
            const qsizetype used = FeedOnce(parser, pending, out.body);
            pending.remove(0, used);
            out.consumed += used;
            if (used == 0 || pending.isEmpty())
                break;
        }
    }
    out.keepAlive = parser.KeepAlive();
    parser.ConnectionClosed();
    FUZZ_CHECK(!parser.KeepAlive());
    out.leftover = pending;
    return out;
}

void CheckResponse(const HttpResponseParser &parser, const Outcome &out)
{
    FUZZ_CHECK(parser.BytesSeen() == out.consumed);
    FUZZ_CHECK(!(parser.Complete() && parser.Failed()));
    FUZZ_CHECK(parser.Failed() == !parser.Error().isEmpty());
    FUZZ_CHECK(parser.Status() >= 0 && parser.Status() <= 999);
    if (parser.Complete()) {
        FUZZ_CHECK(parser.HeaderComplete());
        FUZZ_CHECK(parser.HasBody() || out.body.isEmpty());
        if (parser.HasBody() && !parser.Chunked() && parser.ContentLength() >= 0)
            FUZZ_CHECK(out.body.size() == parser.ContentLength());
    }
    if (parser.Failed())
        FUZZ_CHECK(!out.keepAlive);
    for (const auto &field : parser.Fields()) {
        FUZZ_CHECK(!field.first.contains('\n') && !field.second.contains('\n'));
        FUZZ_CHECK(field.first == field.first.toLower());
    }
}

} // namespace

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    HttpResponseParser whole;
    const Outcome all = FeedInPieces(whole, input, qMax<qsizetype>(input.size(), 1));
    CheckResponse(whole, all);

    // A piece size that varies with the input, so that every size from 1 to 16 is tried somewhere.
    uint32_t sum = 0;
    for (const char c : input)
        sum += uint8_t(c);
    HttpResponseParser split;
    const Outcome pieces = FeedInPieces(split, input, 1 + sum % 16);
    CheckResponse(split, pieces);

    FUZZ_CHECK(split.state() == whole.state());
    FUZZ_CHECK(split.Error() == whole.Error());
    FUZZ_CHECK(split.Status() == whole.Status());
    FUZZ_CHECK(split.HeaderLess() == whole.HeaderLess());
    FUZZ_CHECK(pieces.keepAlive == all.keepAlive);
    FUZZ_CHECK(pieces.body == all.body);
    if (!whole.Failed())
        FUZZ_CHECK(pieces.leftover == all.leftover);

    // After an HTTP/1.0 request the connection stays open only when the server says keep-alive.
    HttpResponseParser old("1.0");
    const Outcome oldAll = FeedInPieces(old, input, qMax<qsizetype>(input.size(), 1));
    CheckResponse(old, oldAll);
    bool saysKeepAlive = false;
    for (const QByteArray &name : {QByteArray("connection"), QByteArray("proxy-connection")})
        for (const QByteArray &value : old.Values(name))
            saysKeepAlive = saysKeepAlive || value.trimmed().toLower() == "keep-alive";
    FUZZ_CHECK(!oldAll.keepAlive || saysKeepAlive);
    return 0;
}
