#pragma once

#include <QByteArray>
#include <QString>

// The ID3v2 tag of one MP3 file. An empty field is not written.
struct Mp3TagFields {
    QString title{};                     // TIT2
    QString track{};                     // TRCK, "n/N"
    QString artist{};                    // TPE1
    QString album{};                     // TALB
    QString year{};                      // TDRC; written only as a year of four digits
    QString genre{};                     // TCON
    QString albumArtist{};               // TPE2; written only when it differs from the artist
    QString disc{};                      // TPOS, "n/N"
    QString musicBrainzAlbumId{};        // TXXX "MusicBrainz Album Id"
    QString musicBrainzReleaseTrackId{}; // TXXX "MusicBrainz Release Track Id"
    QString musicBrainzRecordingId{};    // UFID of owner "http://musicbrainz.org"
    QString isrc{};                      // TSRC, the track's ISRC from the disc
    QString barcode{};                   // TXXX "BARCODE", the disc's media catalog number (EAN/UPC)
    // TXXX REPLAYGAIN_TRACK_GAIN and so on, as TReplayGain gives them ("-6.52 dB", "0.988312").
    QString trackGain{};
    QString trackPeak{};
    QString albumGain{};
    QString albumPeak{};
    QByteArray cover{};      // APIC of the front cover: the image file's bytes
    QString coverMimeType{}; // "image/jpeg" or "image/png"
};

// Writes an ID3v2.4 tag (made by TagLib) at the start of a finished MP3 file, in place of an ID3v2 tag
// it starts with. The tagged file is written beside the old one and renamed over it only once it is
// whole on the disk, so a failure (a full disk) leaves the old file as it was. The new tag holds the
// given fields and nothing of the old one, so writing again replaces each frame (a ReplayGain value, the
// cover) rather than adding a second.
class Mp3TagWriter
{
public:
    // Raises EMP3CoderError when the file cannot be read or the tagged one cannot be written.
    static void Write(const QString &path, const Mp3TagFields &fields);
};
