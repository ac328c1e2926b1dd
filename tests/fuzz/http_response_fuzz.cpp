// Feeds an answer to the HTTP response parser whole and in small pieces, as the client's socket buffer
// does: how the bytes happen to arrive must never change what the response is.
#include "FuzzCheck.h"
#include "lookup/HttpResponseParser.h"

// The body, the bytes left unconsumed, and whether the connection was kept before it closed.
static std::tuple<QByteArray, QByteArray, bool> Feed(HttpResponseParser &parser, const QByteArray &input,
                                                     qsizetype piece)
{
    QByteArray body, pending;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        pending += input.mid(at, piece);
        for (qsizetype used = 1; used > 0 && !pending.isEmpty();) { // again while it takes something
            const qsizetype before = body.size();
            used = parser.Feed(pending, body);
            FUZZ_CHECK(used >= 0 && used <= pending.size() && body.size() - before <= used);
            pending.remove(0, used);
        }
    }
    const bool keepAlive = parser.KeepAlive();
    FUZZ_CHECK(!(parser.Failed() && keepAlive));
    parser.ConnectionClosed();
    FUZZ_CHECK(!(parser.Complete() && parser.Failed()) && !parser.KeepAlive());
    if (parser.Complete() && parser.HasBody() && !parser.Chunked() && parser.ContentLength() >= 0)
        FUZZ_CHECK(body.size() == parser.ContentLength());
    return {body, parser.Failed() ? QByteArray() : pending, keepAlive};
}

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    HttpResponseParser whole, split;
    const auto all = Feed(whole, input, qMax<qsizetype>(input.size(), 1));
    // A piece size that varies with the input, so that every size from 1 to 16 is tried somewhere.
    FUZZ_CHECK(Feed(split, input, 1 + qChecksum(input) % 16) == all);
    FUZZ_CHECK(split.state() == whole.state() && split.Error() == whole.Error() &&
               split.Status() == whole.Status());
    return 0;
}
