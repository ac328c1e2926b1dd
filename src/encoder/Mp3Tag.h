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

// Writes an ID3v2.4 tag at the start of a finished MP3 file (through TagLib), in place of any tag the
// file had; ID3v1 and APE tags are removed. The file is rewritten once, to make room for the tag.
class Mp3TagWriter
{
public:
    // Raises EMP3CoderError when the file cannot be read as MP3 or cannot be written.
    static void Write(const QString &path, const Mp3TagFields &fields);
};
