#include "rip/TrackTags.h"

DiscTags DiscTagsFor(const CddbEntry &entry, const std::vector<int> &rowTracks, int rowCount)
{
    DiscTags disc;
    disc.fromLookup = true;
    disc.artist = entry.artist;
    disc.album = entry.album;
    disc.year = entry.year;
    disc.genre = entry.genre;
    for (int row = 0; row < rowCount; ++row) {
        int discTrack = row + 1;
        if (!rowTracks.empty())
            discTrack = size_t(row) < rowTracks.size() ? rowTracks[size_t(row)] : 0;
        const auto found = discTrack >= 1 ? entry.tracks.find(discTrack - 1) : entry.tracks.end();
        DiscTags::Row tags;
        if (found != entry.tracks.end())
            tags = {found->second.text, found->second.artist, found->second.title};
        disc.rows.push_back(tags);
    }
    return disc;
}

Mp3TagFields TrackTagFields(const DiscTags &disc, int row, int rowCount, const QString &description)
{
    Mp3TagFields fields;
    fields.title = description;
    fields.track = QString::number(row + 1) + "/" + QString::number(rowCount);
    if (!disc.fromLookup)
        return fields;
    fields.artist = disc.artist;
    fields.album = disc.album;
    fields.year = disc.year;
    fields.genre = disc.genre;
    if (row >= 0 && size_t(row) < disc.rows.size() && !disc.rows[size_t(row)].artist.isEmpty()) {
        const DiscTags::Row &own = disc.rows[size_t(row)];
        fields.artist = own.artist;
        if (description == own.text)
            fields.title = own.title;
    }
    return fields;
}
