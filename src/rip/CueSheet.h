#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The cue sheet of a rip with one file per track. Each track's file runs from its INDEX 01 to the next
// track's INDEX 01, so the gap before a track (INDEX 00 to INDEX 01) lies at the end of the previous
// track's file, and the audio before track 1, when it was extracted, has a file of its own.
// Plain data, in sectors of 1/75 s.
struct TCueTrack {
    int number = 0;                       // TRACK nn, as on the disc
    QString file{};                       // its file's name in the sheet's folder (no folder)
    QString title{}, performer{}, isrc{}; // an ISRC other than 12 letters and digits is left out
    bool preemphasis = false;             // FLAGS PRE
    int32_t pregapSectors = 0;           // INDEX 00 .. INDEX 01, at most previousFileSectors; not for track 1
    std::vector<int32_t> indexOffsets{}; // INDEX 02, 03... as sectors after INDEX 01, rising
    int32_t previousFileSectors = 0;     // the previous track's file's length (INDEX 00 = that - pregap)
};

struct TCueDisc {
    QString catalog{};                             // CATALOG, when it is 13 digits
    QString performer{}, title{}, date{}, genre{}; // PERFORMER, TITLE, REM DATE, REM GENRE
    QString discId{};                              // REM DISCID, the CDDB identifier
    QString fileType{};              // "WAVE", "MP3", "BINARY"...: the caller's, by the files' format
    QString hiddenFile{};            // the file of the audio before track 1, when it was extracted
    int32_t hiddenSectors = 0;       // track 1's INDEX 01 on the disc: the sectors before it
    std::vector<TCueTrack> tracks{}; // in the disc's order
};

// The sheet's text, UTF-8 without a byte order mark (libcdio refuses a sheet that starts with one),
// lines ending in "\r\n" as the format's first writers made them (libcdio, libcue and the players on
// both systems read them). An empty field leaves its line out. In a text (and a file name) a double
// quote becomes "'" and control characters (line ends, tabs) go, as nothing can quote them: the sheet's
// readers end a quoted text at the next '"' or tab. Times are mm:ss:ff, 75 frames a second; a CD holds
// less than 100 minutes, so minutes have two digits (more if ever needed, never wrapped).
// Track 1: with hiddenFile its INDEX 00 is that file's start; without, a PREGAP of hiddenSectors stands
// for the audio that was not extracted; its pregapSectors is unused.
QByteArray CueSheetText(const TCueDisc &disc);

// Sectors as minutes, seconds and frames ("04:12:30"), as a cue sheet gives a time.
QString CueTime(int32_t sectors);
