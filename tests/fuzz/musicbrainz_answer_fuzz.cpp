// Reads a MusicBrainz answer as the lookup does.
#include "FuzzCheck.h"
#include "lookup/MusicBrainz.h"

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto releases = MusicBrainz::ReadReleases(bytes, "YPv1TJ03f7pu6fgwp1cpr3cVsf0-");
    FUZZ_CHECK(releases.size() <= MusicBrainz::MaxReleases);
    for (const MusicBrainzRelease &release : releases)
        FUZZ_CHECK(release.tracks.size() <= MusicBrainz::MaxTracks && release.year.size() % 4 == 0);
    return 0;
}
