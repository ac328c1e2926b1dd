#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Linux has no drive letters, so the program keeps a table from letters to devices or disc images.
// QUARLE_DRIVES defines it ("D=/dev/sr0;E=/home/me/album.cue"; set but empty means no drives);
// without it the optical drives libcdio finds get the letters from D upwards.

struct DriveLetterEntry {
    char letter = 0;
    QString path;
    // The drive's read offset in samples, from a suffix on the entry ("D=/dev/sr0@+6"); 0 without.
    int sampleOffset = 0;
    bool offsetGiven = false;
};

// What a path of an entry is to the table: a device or a disc image it keeps, a file that is not
// there, or something that is neither (a text file, a folder, a sheet libcdio cannot read).
enum class DriveSource { Usable, Missing, NotADisc };

struct DriveLetterTable {
    std::vector<DriveLetterEntry> entries; // in letter order
    QStringList warnings;
};

// Parses a QUARLE_DRIVES value. An entry may end in "@" and a signed number of samples, the drive's
// read offset ("E=album.cue@-12"). Malformed entries, repeated letters and paths that `probe` does
// not find usable are left out with a warning each, which gives the probe's reason when it tells one
// (words that follow the path).
DriveLetterTable
parseDriveLetters(const QString &text,
                  const std::function<DriveSource(const QString &path, QString *why)> &probe);

namespace DriveLetters
{

constexpr int DriveNoRootDir = 1;
constexpr int DriveCdRom = 5;

// The table in force, built from the environment on first use and again whenever QUARLE_DRIVES
// changes. Warnings go to stderr once per table.
std::vector<DriveLetterEntry> current();
// The warnings of the table in force: the entries of QUARLE_DRIVES it left out, and why.
QStringList warnings();

// The answer of the drive-type query for the root of `letter`.
int driveType(char letter);

} // namespace DriveLetters
