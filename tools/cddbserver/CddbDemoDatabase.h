#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One disc entry in the xmcd format of the CDDB database, as a server stores it:
//   # xmcd
//   DISCID=3a0b1c04
//   DTITLE=Artist / Album
//   TTITLE0=First track
//   ...
struct CddbDemoEntry {
    QString category;
    QStringList discIds; // lower-case; "DISCID=" may list several, separated by commas
    QString title;       // the DTITLE lines joined, as a long title is split over several
    QStringList lines;   // every line of the entry, in file order, for the read answer
};

// The disc entries of the demo's CDDB server and the CDDB commands it answers, on plain text: a
// command in ("cddb query 3a0b1c04 4 150 3150 7275 9525 261"), the answer's lines out.
class CddbDemoDatabase
{
public:
    // Adds the entry that xmcdText holds under category. False, with the reason, when the text has
    // no usable DISCID line.
    bool Add(const QString &category, const QString &xmcdText, QString *error = nullptr);
    // The same for a file, read as UTF-8.
    bool AddFile(const QString &category, const QString &path, QString *error = nullptr);

    const std::vector<CddbDemoEntry> &Entries() const { return entries_; }

    // The answer to one CDDB command, one element per protocol line; a list ends with ".".
    //   cddb query <discid> <ntrks> <offset 1> ... <offset ntrks> <nsecs>
    //       200 <category> <discid> <dtitle>    or    202 No match found.
    //   cddb read <category> <discid>
    //       210 <category> <discid> CD database entry follows (until terminating `.')
    //       <entry lines>
    //       .
    QStringList Answer(const QString &command) const;

private:
    const CddbDemoEntry *Find(const QString &discId, const QString *category) const;
    QStringList Query(const QStringList &words) const;
    QStringList Read(const QStringList &words) const;

    std::vector<CddbDemoEntry> entries_;
};
