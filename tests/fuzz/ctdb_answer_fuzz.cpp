// A CTDB lookup's answer gives at most 100 entries of bounded numbers, or nothing; the verdicts on any
// answer come without a fault.
#include "FuzzCheck.h"
#include "lookup/CtdbDb.h"

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const auto answer = ParseCtdbAnswer(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    FUZZ_CHECK(!answer || answer->size() <= 100);
    for (const TCtdbEntry &entry : answer.value_or(std::vector<TCtdbEntry>{})) {
        FUZZ_CHECK(entry.confidence >= 0 && entry.confidence <= 1 << 20);
        FUZZ_CHECK(entry.trackCrcs.size() <= 99);
    }
    for (size_t track : {size_t(0), size_t(1), size_t(98), size_t(1000)})
        CompareTrackWithCtdb(answer, track, answer && !answer->empty() ? answer->front().crc : 0);
    CompareDiscWithCtdb(answer, 0);
    return 0;
}
