#pragma once

#include "platform/Exception.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

// A text that should have been a decimal integer and is not.
class EConvertError : public Exception
{
public:
    explicit EConvertError(const QString &message) : Exception(message.toStdString()) {}
};

// What a query answer says about the disc: the entry to read and the disc title for the label. An
// exact answer (200) names the disc's own entry, so its identifier stays empty and the read sends the
// one computed from the disc; a listed match (210, 211) is read by its own identifier.
struct CddbMatch {
    bool found = false;
    QString category;
    QString discId;
    QString title;
};

// A track's title in a disc entry. On a compilation (disc artist "Various" or "Various Artists") a
// title "Artist / Title" names the track's own artist; otherwise artist is empty and title the text.
struct CddbTrackTitle {
    QString text; // the title as the entry gives it
    QString artist, title;
    QString trackId, recordingId; // MusicBrainz's, when the entry came from there
};

// What a read answer says about the disc, each keyword's pieces joined:
//   DTITLE=Artist / Album     (without " / ": artist and album are both the whole text)
//   DYEAR=1999
//   DGENRE=Rock
//   TTITLE<n>=...             (n from 0: disc track n + 1)
struct CddbEntry {
    QString artist, album, year, genre;
    bool compilation = false;
    std::map<int, CddbTrackTitle> tracks;
    // A MusicBrainz release's id, and the medium's position among the release's media.
    QString releaseId;
    int discNumber = 0, discTotal = 0;
};

// The CDDB protocol over HTTP (protocol level 4, ISO-8859-1 answers): the query and read URLs and
// the reading of the answers, on plain lines. An answer is the document's lines; line 0 is the
// status line ("200 rock 1202e203 Some Artist / Some Album").
class Cddb
{
public:
    static const QString Host;
    static const QString Path;
    // "&hello=" with user, host, client and version, then "&proto=4".
    static const QString GreetingSuffix;

    // http://<host>/~cddb/cddb.cgi?cmd=cddb+query+<id>+<N>+<offset 1>+...+<offset N>+<seconds>
    // followed by the greeting; offsets are frames counting the lead-in.
    static QString QueryUrl(const QString &discIdText, const std::vector<uint32_t> &offsets,
                            uint32_t lengthSeconds);
    // http://<host>/~cddb/cddb.cgi?cmd=cddb+read+<category>+<id>+ followed by the greeting. Category
    // and identifier may come from the server: anything but letters, digits and "-._~" is
    // percent-encoded so that they cannot end the command or add parameters.
    static QString ReadUrl(const QString &category, const QString &discIdText);

    // The status word is the text before the first space of line 0; empty without a space.
    static QString StatusWord(const QStringList &document);
    static bool IsSuccess(const QString &statusWord);

    // 200: category and title from the status line. 210 and 211 (several matches, listed on the
    // lines after the status line up to "."): the first listed match, with its own identifier.
    // Anything else, or a list without a match: not found, empty category.
    static CddbMatch QueryMatch(const QStringList &document);
    // Every match of the answer: the one of a 200, or those listed by a 210 or 211 (at most
    // kMaxMatches), in the server's order.
    static std::vector<CddbMatch> QueryMatches(const QStringList &document);
    static constexpr size_t kMaxMatches = 100;

    // Scans an entry's "TTITLE<n>=<title>" lines from line 1 up to the "." line (or the end) and
    // hands each index and title to `store`, in document order. A long title is continued on further
    // lines of the same index; each line hands over the title joined so far, so the last store of an
    // index has the whole title. A line whose index is not a decimal integer raises EConvertError;
    // what was stored before it stays stored.
    static void ScanTitles(const QStringList &document,
                           const std::function<void(int, const QString &)> &store);

    // The disc's own data in a read answer (see CddbEntry). Lines with a bad title index are skipped.
    static CddbEntry ReadEntry(const QStringList &document);

    // Optional sign and decimal digits, within the range of int; otherwise EConvertError
    // "'<text>' is not a valid integer value".
    static int ParseIndex(const QString &text);
};
