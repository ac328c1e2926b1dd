// Parses bytes as an AccurateRip dBAR file, as they would come from the network, and judges a track
// against it: either the file splits exactly into pressings of 13 + 9 * count bytes, or it is no
// answer at all.
#include "FuzzCheck.h"
#include "lookup/AccurateRipDb.h"

#include <cstddef>
#include <cstdint>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto answer = ParseAccurateRipFile(bytes);
    if (answer) {
        size_t total = 0;
        for (const TAccurateRipPressing &pressing : *answer) {
            FUZZ_CHECK(pressing.tracks.size() == size_t(pressing.disc.audioTracks));
            total += 13 + 9 * pressing.tracks.size();
        }
        FUZZ_CHECK(total == size);
    }
    const TAccurateRipId disc = answer && !answer->empty() ? answer->front().disc : TAccurateRipId{};
    for (int track : {0, 1, 2, 99, 256}) {
        const TAccurateRipVerdict verdict = CompareWithAccurateRip(answer, disc, track, 0x12345678, 0);
        FUZZ_CHECK(answer || verdict.kind == TAccurateRipVerdict::Unreachable);
        FUZZ_CHECK(verdict.kind != TAccurateRipVerdict::Accurate ||
                   (verdict.confidence > 0 && verdict.confidence < 256));
    }
    return 0;
}
