// Feeds a server's answer to the HTTP response parser all at once and in small pieces, the unconsumed
// rest kept in front of the next piece as the client's socket buffer does. How the bytes happen to
// arrive must never change what the response is.
#include "FuzzCheck.h"
#include "lookup/HttpResponseParser.h"

namespace
{

struct Outcome {
    QByteArray body, leftover;
    bool keepAlive = false; // as it stood before the connection closed
};

Outcome Feed(HttpResponseParser &parser, const QByteArray &input, qsizetype pieceSize)
{
    Outcome out;
    for (qsizetype at = 0; at < input.size(); at += pieceSize) {
        out.leftover += input.mid(at, pieceSize);
        for (qsizetype used = 1; used > 0 && !out.leftover.isEmpty();) { // again while it takes something
            const qsizetype bodyBefore = out.body.size();
            used = parser.Feed(out.leftover, out.body);
            FUZZ_CHECK(used >= 0 && used <= out.leftover.size() && out.body.size() - bodyBefore <= used);
            out.leftover.remove(0, used);
        }
    }
    out.keepAlive = parser.KeepAlive();
    FUZZ_CHECK(!(parser.Failed() && out.keepAlive));
    parser.ConnectionClosed();
    FUZZ_CHECK(!(parser.Complete() && parser.Failed()) && !parser.KeepAlive());
    if (parser.Complete() && parser.HasBody() && !parser.Chunked() && parser.ContentLength() >= 0)
        FUZZ_CHECK(out.body.size() == parser.ContentLength());
    return out;
}

} // namespace

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    HttpResponseParser whole, split;
    const Outcome all = Feed(whole, input, qMax<qsizetype>(input.size(), 1));
    // A piece size that varies with the input, so that every size from 1 to 16 is tried somewhere.
    const Outcome pieces = Feed(split, input, 1 + qChecksum(input) % 16);
    FUZZ_CHECK(split.state() == whole.state() && split.Error() == whole.Error());
    FUZZ_CHECK(split.Status() == whole.Status() && pieces.keepAlive == all.keepAlive);
    FUZZ_CHECK(pieces.body == all.body && (whole.Failed() || pieces.leftover == all.leftover));
    return 0;
}
