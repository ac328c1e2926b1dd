#pragma once

#include <QSet>
#include <QString>

// The longest start of `name` whose UTF-8 form takes at most maxBytes bytes; no character is cut.
QString FitFileName(const QString &name, qsizetype maxBytes);

// The files of one extraction run. No name is handed out twice in a run, so that no track's file
// replaces another written by the same run; files that were there before the run are not looked at.
class TTrackFileNames
{
public:
    // The bytes a file name may take (Linux file systems, UTF-8).
    static constexpr qsizetype MaxNameBytes = 255;

    // The path for the ripper: folder, name, ripperExt. The name is the title with "/" made "-", or
    // `caption` when the title is blank; it is shortened, whole characters at a time, until it fits
    // with its extension, and gets " (2)", " (3)"... when the file it ends up as (the name with
    // finalExt, which is ripperExt unless the ripper changes it) was already given out in this run.
    QString Next(const QString &folder, const QString &title, const QString &caption,
                 const QString &ripperExt, const QString &finalExt);

private:
    QSet<QString> m_given; // final paths
};
