#pragma once

#include "disc/AudioFormat.h"
#include "encoder/FlacTag.h"
#include "encoder/Mp3Tag.h"
#include "lookup/Cddb.h"

#include <QString>

#include <vector>

// What the last lookup said about the disc in the window, row by row, for the tags of the MP3 files
// an extraction writes. Empty (fromLookup false) until a lookup read the disc's entry, and again
// whenever the rows are rebuilt from the ripper's captions.
struct DiscTags {
    struct Row {
        QString text;                 // the row's title as the lookup gave it; empty when it gave none
        QString artist;               // a compilation track's own artist, else empty
        QString title;                // that track's own title
        QString trackId, recordingId; // MusicBrainz's
    };
    bool fromLookup = false;
    QString artist, album, year, genre;
    QString releaseId;                 // MusicBrainz's, for the tags and the cover
    int discNumber = 0, discTotal = 0; // of a release of several media
    std::vector<Row> rows;
};

// rowTracks: the disc track number (from 1, data tracks counted) of each row; empty means rows are
// disc tracks 1, 2, 3... in order.
DiscTags DiscTagsFor(const CddbEntry &entry, const std::vector<int> &rowTracks, int rowCount);

// The tag of row `row` (0-based) of `rowCount`, whose description is the file's title: the title and
// "n/N" always; artist, album, year and genre when a lookup gave them. A compilation track whose row
// still shows the lookup's "Artist / Title" gets that artist and title.
Mp3TagFields TrackTagFields(const DiscTags &disc, int row, int rowCount, const QString &description);

// The same tag as FLAC Vorbis comments: "n/N" parted into number and total, the year as DATE.
FlacTagFields FlacTagFieldsOf(const Mp3TagFields &tags);

// Writes the tag into a finished audio file of the extraction's format (MP3 or FLAC). Raises the
// writer's error; the file keeps its audio whatever happens.
void WriteTrackTags(const QString &file, AudioFormat format, const Mp3TagFields &tags);
