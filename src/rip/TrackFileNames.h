#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// A title as a file name: "/" made "-" (it must not lead out of the folder), the control characters
// (U+0000 to U+001F, U+007F) taken out (a NUL would end the name where the system reads it), and so
// the marks that turn the text's direction (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069,
// U+061C), half a surrogate pair made U+FFFD, and no blanks or dots at either end (a name of dots is a
// folder). Empty when nothing is left.
QString CleanFileName(const QString &title);

// A clean name that FAT, exFAT and NTFS take as well, so that the files can be copied to a USB stick, a
// phone or a shared drive: ':', '\' and '|' made '-', '"' made "'", '<', '>', '?' and '*' made '_'; a
// name those systems keep for devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case,
// alone or before a dot or blanks) gets '_' after it ("con.live" gives "con_.live"); no blank or dot at
// its end.
QString PortableFileName(const QString &name);

// The longest start of `name` whose UTF-8 form takes at most maxBytes bytes; no character is cut.
QString FitFileName(const QString &name, qsizetype maxBytes);

// What a pattern of names draws on for one track; empty where nothing is known.
struct TNameFields {
    QString number;      // %N, two digits ("00" for the audio before track 1)
    QString title;       // %T, the row's description (its caption when that leaves no name)
    QString artist;      // %A, the track's
    QString albumArtist; // %B
    QString album;       // %L
    QString year;        // %Y
    QString disc;        // %D, of a release of several discs
};

// The longest pattern the settings and the command line take.
constexpr qsizetype MaxNamePatternLength = 200;
// A pattern a user may give: some text, at most MaxNamePatternLength characters, no control characters.
bool IsNamePattern(const QString &pattern);

// The folders (outermost first) and, last, the file's name without extension that `pattern` gives for
// a track, before they are cleaned: each "/" of the pattern parts two folders, a "/" in a value never
// does; "%%" is a "%", and a "%" before any other character stays as it is. An empty last part is
// "%T". A value that leaves no name counts as missing: the artists and the album then read "Artista
// sconosciuto" and "Album sconosciuto" (%B is %A first), so that every disc gets the folders the
// pattern asks for; a missing %Y or %D is left out with the text that joins it to the field before it
// (for a first field, the text before it and up to the next field; for a last one, the text after it
// too), and brackets around it go with it: "%L (%Y)" gives "Album", "%D-%N %T" gives "01 Titolo".
QStringList NamePatternParts(const QString &pattern, const TNameFields &fields);

// The files of one extraction run. No name is handed out twice in a run, so that no track's file
// replaces another written by the same run; files that were there before the run are looked at only
// when asked to keep beside them.
class TTrackFileNames
{
public:
    // besideExisting: no name is given whose file (or jitter file) the folder holds already;
    // portable: every name as PortableFileName makes it.
    explicit TTrackFileNames(bool besideExisting = false, bool portable = false)
        : m_besideExisting(besideExisting), m_portable(portable)
    {
    }

    // The bytes a file name may take (Linux file systems, UTF-8).
    static constexpr qsizetype MaxNameBytes = 255;

    // `text` as a name of this run: CleanFileName's, and PortableFileName's when asked.
    QString Name(const QString &text) const;
    // The longest start of a name that fits in maxBytes, still a name of this run (a portable name does
    // not end in a blank where it was cut).
    QString Fit(const QString &name, qsizetype maxBytes) const;

    // The folder inside `folder` that `text` (a part of a pattern) names, ending in "/": the text made a
    // name and cut to fit; `folder` itself when nothing is left of it.
    QString Subfolder(const QString &folder, const QString &text) const;

    // The path for the ripper: folder, name, ripperExt. The name is the title made a name, or `caption`
    // when nothing is left of it; it is shortened, whole characters at a time, until it fits
    // with its extension, and gets " (2)", " (3)"... when the file it ends up as (the name with
    // finalExt, which is ripperExt unless the ripper changes it) was already given out in this run, told
    // apart by the bytes the file system gets.
    QString Next(const QString &folder, const QString &title, const QString &caption,
                 const QString &ripperExt, const QString &finalExt);

private:
    bool m_besideExisting;
    bool m_portable;
    QSet<QByteArray> m_given; // final paths, as the file system gets them
};
