// A dBAR file splits exactly into pressings of 13 + 9 * count bytes, or it is no answer at all.
#include "FuzzCheck.h"
#include "lookup/AccurateRipDb.h"

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const auto answer =
        ParseAccurateRipFile(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    size_t total = 0;
    for (const TAccurateRipPressing &pressing : answer.value_or(std::vector<TAccurateRipPressing>{})) {
        FUZZ_CHECK(pressing.tracks.size() == size_t(pressing.disc.audioTracks));
        total += 13 + 9 * pressing.tracks.size();
    }
    FUZZ_CHECK(!answer || total == size);
    for (int track : {0, 1, 2, 99, 256}) // judged against the file's first disc
        CompareWithAccurateRip(answer, answer && !answer->empty() ? answer->front().disc : TAccurateRipId{},
                               track, 1, 0);
    return 0;
}
