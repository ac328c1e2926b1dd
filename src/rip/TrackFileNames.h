#pragma once

#include <QSet>
#include <QString>

// A title as a file name: "/" made "-" (it must not lead out of the folder), the control characters
// (U+0000 to U+001F, U+007F) taken out (a NUL would end the name where the system reads it), and so
// the marks that turn the text's direction (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069,
// U+061C), half a surrogate pair made U+FFFD, and no blanks or dots at either end (a name of dots is a
// folder). Empty when nothing is left.
QString CleanFileName(const QString &title);

// The longest start of `name` whose UTF-8 form takes at most maxBytes bytes; no character is cut.
QString FitFileName(const QString &name, qsizetype maxBytes);

// The files of one extraction run. No name is handed out twice in a run, so that no track's file
// replaces another written by the same run; files that were there before the run are looked at only
// when asked to keep beside them.
class TTrackFileNames
{
public:
    // besideExisting: no name is given whose file (or jitter file) the folder holds already.
    explicit TTrackFileNames(bool besideExisting = false) : m_besideExisting(besideExisting) {}

    // The bytes a file name may take (Linux file systems, UTF-8).
    static constexpr qsizetype MaxNameBytes = 255;

    // The path for the ripper: folder, name, ripperExt. The name is the title as CleanFileName makes
    // it, or `caption` when nothing is left of it; it is shortened, whole characters at a time, until it fits
    // with its extension, and gets " (2)", " (3)"... when the file it ends up as (the name with
    // finalExt, which is ripperExt unless the ripper changes it) was already given out in this run, told
    // apart by the bytes the file system gets.
    QString Next(const QString &folder, const QString &title, const QString &caption,
                 const QString &ripperExt, const QString &finalExt);

private:
    bool m_besideExisting;
    QSet<QByteArray> m_given; // final paths, as the file system gets them
};
