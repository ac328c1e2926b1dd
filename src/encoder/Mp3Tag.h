#pragma once

#include <QString>

// The ID3v2 text of one MP3 file. An empty field is not written.
struct Mp3TagFields {
    QString title;  // TIT2
    QString track;  // TRCK, "n/N"
    QString artist; // TPE1
    QString album;  // TALB
    QString year;   // TDRC; written only as a year of four digits
    QString genre;  // TCON
};

// Writes an ID3v2.4 tag (made by TagLib) at the start of a finished MP3 file, in place of an ID3v2 tag
// it starts with. The tagged file is written beside the old one and renamed over it only once it is
// whole on the disk, so a failure (a full disk) leaves the old file as it was.
class Mp3TagWriter
{
public:
    // Raises EMP3CoderError when the file cannot be read or the tagged one cannot be written.
    static void Write(const QString &path, const Mp3TagFields &fields);
};
