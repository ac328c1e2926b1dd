#include "rip/TrackTags.h"

DiscTags DiscTagsFor(const CddbEntry &entry, const std::vector<int> &rowTracks, int rowCount)
{
    DiscTags disc;
    disc.fromLookup = true;
    disc.artist = entry.artist;
    disc.album = entry.album;
    disc.year = entry.year;
    disc.genre = entry.genre;
    disc.releaseId = entry.releaseId;
    disc.discNumber = entry.discNumber;
    disc.discTotal = entry.discTotal;
    for (int row = 0; row < rowCount; ++row) {
        int discTrack = row + 1;
        if (!rowTracks.empty())
            discTrack = size_t(row) < rowTracks.size() ? rowTracks[size_t(row)] : 0;
        const auto found = discTrack >= 1 ? entry.tracks.find(discTrack - 1) : entry.tracks.end();
        DiscTags::Row tags;
        if (found != entry.tracks.end())
            tags = {found->second.text, found->second.artist, found->second.title, found->second.trackId,
                    found->second.recordingId};
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
    fields.albumArtist = disc.artist;
    fields.musicBrainzAlbumId = disc.releaseId;
    if (disc.discTotal > 1)
        fields.disc = QString::number(disc.discNumber) + "/" + QString::number(disc.discTotal);
    if (row < 0 || size_t(row) >= disc.rows.size())
        return fields;
    const DiscTags::Row &own = disc.rows[size_t(row)];
    fields.musicBrainzReleaseTrackId = own.trackId;
    fields.musicBrainzRecordingId = own.recordingId;
    if (!own.artist.isEmpty()) {
        fields.artist = own.artist;
        if (description == own.text)
            fields.title = own.title;
    }
    return fields;
}

FlacTagFields FlacTagFieldsOf(const Mp3TagFields &tags)
{
    FlacTagFields flac;
    flac.title = tags.title;
    flac.artist = tags.artist;
    flac.album = tags.album;
    flac.albumArtist = tags.albumArtist;
    flac.date = tags.year;
    flac.genre = tags.genre;
    flac.trackNumber = tags.track.section('/', 0, 0);
    flac.trackTotal = tags.track.section('/', 1, 1);
    flac.discNumber = tags.disc.section('/', 0, 0);
    flac.discTotal = tags.disc.section('/', 1, 1);
    flac.musicBrainzAlbumId = tags.musicBrainzAlbumId;
    flac.musicBrainzTrackId = tags.musicBrainzRecordingId;
    flac.isrc = tags.isrc;
    flac.barcode = tags.barcode;
    flac.trackGain = tags.trackGain;
    flac.trackPeak = tags.trackPeak;
    flac.albumGain = tags.albumGain;
    flac.albumPeak = tags.albumPeak;
    flac.cover = tags.cover;
    flac.coverMimeType = tags.coverMimeType;
    return flac;
}

void WriteTrackTags(const QString &file, AudioFormat format, const Mp3TagFields &tags)
{
    if (format == AudioFormat::Mp3)
        Mp3TagWriter::Write(file, tags);
    else if (format == AudioFormat::Flac)
        FlacTagWriter::Write(file, FlacTagFieldsOf(tags));
}
