#pragma once

#include <QByteArray>
#include <QString>

// The Vorbis comments and front cover of one FLAC file. An empty field is not written.
struct FlacTagFields {
    QString title;              // TITLE
    QString artist;             // ARTIST
    QString album;              // ALBUM
    QString albumArtist;        // ALBUMARTIST; written only when it differs from the artist
    QString date;               // DATE
    QString genre;              // GENRE
    QString trackNumber;        // TRACKNUMBER
    QString trackTotal;         // TRACKTOTAL
    QString discNumber;         // DISCNUMBER
    QString discTotal;          // DISCTOTAL
    QString musicBrainzAlbumId; // MUSICBRAINZ_ALBUMID, the release's MBID
    QString musicBrainzTrackId; // MUSICBRAINZ_TRACKID, the recording's MBID as MusicBrainz Picard names it
    QString isrc;               // ISRC, the track's from the disc
    QString barcode;            // BARCODE, the disc's media catalog number (EAN/UPC)
    // REPLAYGAIN_TRACK_GAIN and so on, as TReplayGain gives them ("-6.52 dB", "0.988312").
    QString trackGain;
    QString trackPeak;
    QString albumGain;
    QString albumPeak;
    QByteArray cover;      // a PICTURE block of type 3 (front cover): the image file's bytes
    QString coverMimeType; // "image/jpeg" or "image/png"
};

// Writes Vorbis comments (made by TagLib) and a front cover into a finished FLAC file. A field given
// replaces the file's values of that field and a cover its front cover; the rest of the file's metadata
// stays. The tagged file is written beside the old one and renamed over it only once it is whole on the
// disk, so a failure (a full disk) leaves the old file as it was; the audio frames are copied unchanged.
class FlacTagWriter
{
public:
    // Raises EFlacError when the file is no FLAC file or the tagged one cannot be written.
    static void Write(const QString &path, const FlacTagFields &fields);
};
